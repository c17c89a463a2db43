#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Runs a console program as a child process and waits for it in time slices,
// raising a work notification after every wait, until it ends, times out or
// is told to stop. The child never outlives the thread that runs Execute: it
// is killed when that thread (and so the program) goes away.

enum TConsoleColor {
    ccBlack,
    ccNavy,
    ccGreen,
    ccTeal,
    ccMaroon,
    ccPurple,
    ccOlive,
    ccSilver,
    ccGray,
    ccBlue,
    ccLime,
    ccAqua,
    ccRed,
    ccFuchsia,
    ccYellow,
    ccWhite
};
struct TConsoleColors {
    TConsoleColor Foreground = ccWhite;
    TConsoleColor Background = ccBlack;
};
struct TConsoleSize {
    int Width = 0;
    int Height = 0;
};
struct TConsolePoint {
    int X = -1;
    int Y = -1;
};

// The child's scheduling: cpDefault leaves it as inherited, the others set a nice value.
enum class TConsoleAppPriority { cpDefault, cpHigh, cpNormal, cpIdle, cpRealTime };
int niceValueOf(TConsoleAppPriority p);

struct TProcessInformation {
    pid_t ProcessId = 0;
    int ProcessHandle = -1; // a pidfd while the child runs, else -1
};

class TCustomConsoleApp {
public:
    using TNotifyEvent = std::function<void(TCustomConsoleApp& sender)>;

    static constexpr uint32_t NoLimit = 0xFFFFFFFFu;
    static constexpr uint32_t ErrorTimedOut = 0x20000001u;
    static constexpr uint32_t ErrorTerminated = 0x20000002u;

    TCustomConsoleApp() = default;
    virtual ~TCustomConsoleApp() = default;
    TCustomConsoleApp(const TCustomConsoleApp&) = delete;
    TCustomConsoleApp& operator=(const TCustomConsoleApp&) = delete;

    bool Execute(const std::string& commandLine, const std::string& currentDir);
    bool Execute();
    // Asks a running Execute to stop after the current slice; callable from any thread.
    void Terminate() { terminated_ = true; }

protected:
    virtual void DoStart() {
        if (OnStart_) OnStart_(*this);
    }
    virtual void DoWork() {
        if (OnWork_) OnWork_(*this);
    }
    virtual void DoComplete() {
        if (OnComplete_) OnComplete_(*this);
    }

    std::string CommandLine_;
    std::string CurrentDir_;
    int StdIn_ = -1, StdOut_ = -1, StdErr_ = -1;
    bool Visible_ = false;
    uint32_t MaxExecTime_ = 60000;
    uint32_t TimeSlice_ = 50;
    bool KillTimedOutProcess_ = true;
    bool UseNewConsole_ = false;
    std::string ConsoleTitle_;
    TConsoleColors ConsoleColors_;
    TConsoleSize ScreenBufferSize_, WindowSize_;
    TConsolePoint WindowPosition_;
    TConsoleAppPriority Priority_ = TConsoleAppPriority::cpDefault;
    std::optional<std::vector<std::string>> Environment_;
    TNotifyEvent OnStart_, OnWork_, OnComplete_;

    uint32_t ExitCode_ = 0;
    uint32_t ErrorCode_ = 0;
    std::string ErrorMessage_;
    uint32_t TimeToLive_ = 0;
    uint32_t ElapsedTime_ = 0;
    TProcessInformation ProcessInfo_;

private:
    bool spawn();
    void setError(int err);
    std::atomic<bool> terminated_{false};
};

// The runner with its settings public. Handles are file descriptors; -1 = none.
class TConsoleApp : public TCustomConsoleApp {
public:
    std::string& CommandLine = CommandLine_;
    std::string& CurrentDir = CurrentDir_;
    // If any of the three is set, all three are given to the child; an unset one becomes /dev/null.
    int& StdIn = StdIn_;
    int& StdOut = StdOut_;
    int& StdErr = StdErr_;
    bool& Visible = Visible_; // no console windows here: kept, ignored
    bool& KillTimedOutProcess = KillTimedOutProcess_;
    // A new console means a session of its own (no controlling terminal).
    bool& UseNewConsole = UseNewConsole_;
    // Console window appearance: kept, ignored on Linux.
    std::string& ConsoleTitle = ConsoleTitle_;
    TConsoleColors& ConsoleColors = ConsoleColors_;
    TConsoleSize& ScreenBufferSize = ScreenBufferSize_;
    TConsoleSize& WindowSize = WindowSize_;
    TConsolePoint& WindowPosition = WindowPosition_;
    TConsoleAppPriority& Priority = Priority_;
    // The child's whole environment ("NAME=value" entries); none = the caller's.
    std::optional<std::vector<std::string>>& Environment = Environment_;
    TNotifyEvent& OnStart = OnStart_;
    TNotifyEvent& OnWork = OnWork_;
    TNotifyEvent& OnComplete = OnComplete_;

    // 0 gives the default; NoLimit runs without a limit.
    uint32_t MaxExecTime() const { return MaxExecTime_; }
    void SetMaxExecTime(uint32_t ms) { MaxExecTime_ = ms == 0 ? 60000 : ms; }
    // 0 gives the default; NoLimit raises no work notifications.
    uint32_t TimeSlice() const { return TimeSlice_; }
    void SetTimeSlice(uint32_t ms) { TimeSlice_ = ms == 0 ? 50 : ms; }

    uint32_t ExitCode() const { return ExitCode_; }
    uint32_t ErrorCode() const { return ErrorCode_; }
    const std::string& ErrorMessage() const { return ErrorMessage_; }
    uint32_t TimeToLive() const { return TimeToLive_; }
    uint32_t ElapsedTime() const { return ElapsedTime_; }
    const TProcessInformation& ProcessInfo() const { return ProcessInfo_; }
};

// Splits a command line into words: blanks separate, double or single quotes
// group, a backslash outside single quotes takes the next character as is.
std::vector<std::string> splitCommandLine(const std::string& line);
// The caller's environment with the given "NAME=value" entries put in or replaced.
std::vector<std::string> environmentWith(const std::vector<std::string>& overrides);
