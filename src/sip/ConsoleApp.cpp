#include "sip/ConsoleApp.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

std::string errorText(int err) {
    char buf[256];
    return ::strerror_r(err, buf, sizeof buf); // GNU variant: returns the text
}

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The program search of a shell: a name with a slash is taken as is, others are looked up on PATH.
std::string findProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return isExecutableFile(name) ? name : std::string();
    const char* path = std::getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty()) dir = ".";
        std::string candidate = dir + "/" + name;
        if (isExecutableFile(candidate)) return candidate;
        start = end + 1;
    }
    return {};
}

uint32_t exitCodeOf(int status) {
    if (WIFEXITED(status)) return static_cast<uint32_t>(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return 128u + static_cast<uint32_t>(WTERMSIG(status));
    return 0;
}

int pidfdOpen(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

// Waits up to ms (negative: without limit) for the child to end. 1 ended, 0 still running, -1 error.
int waitForChild(const TProcessInformation& pi, int ms) {
    if (pi.ProcessHandle >= 0) {
        pollfd p{pi.ProcessHandle, POLLIN, 0};
        const int r = ::poll(&p, 1, ms);
        if (r > 0) return 1;
        if (r == 0 || errno == EINTR) return 0;
        return -1;
    }
    // Without a pidfd: look at the child without reaping it.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
    for (;;) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pi.ProcessId), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
            return errno == EINTR ? 0 : -1;
        if (info.si_pid == pi.ProcessId) return 1;
        if (ms >= 0 && std::chrono::steady_clock::now() >= until) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

int niceValueOf(TConsoleAppPriority p) {
    switch (p) {
    case TConsoleAppPriority::cpHigh:
        return -10;
    case TConsoleAppPriority::cpNormal:
        return 0;
    case TConsoleAppPriority::cpIdle:
        return 19;
    case TConsoleAppPriority::cpRealTime:
        return -20;
    case TConsoleAppPriority::cpDefault:
        break;
    }
    return 0;
}

std::vector<std::string> splitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote) {
            if (c == quote)
                quote = 0;
            else if (c == '\\' && quote == '"' && i + 1 < line.size())
                word += line[++i];
            else
                word += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

std::vector<std::string> environmentWith(const std::vector<std::string>& overrides) {
    std::vector<std::string> env;
    auto nameOf = [](const std::string& e) { return e.substr(0, e.find('=')); };
    for (char** e = environ; e && *e; ++e) {
        std::string entry(*e);
        bool replaced = false;
        for (const auto& o : overrides)
            if (nameOf(o) == nameOf(entry)) replaced = true;
        if (!replaced) env.push_back(std::move(entry));
    }
    env.insert(env.end(), overrides.begin(), overrides.end());
    return env;
}

void TCustomConsoleApp::setError(int err) {
    ErrorCode_ = static_cast<uint32_t>(err);
    ErrorMessage_ = errorText(err);
}

bool TCustomConsoleApp::spawn() {
    const auto words = splitCommandLine(CommandLine_);
    const std::string program = words.empty() ? std::string() : findProgram(words.front());
    if (program.empty()) {
        setError(ENOENT);
        return false;
    }
    // Everything the child needs is prepared here: after fork only
    // async-signal-safe calls are allowed.
    std::vector<char*> argv;
    for (const auto& w : words)
        argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    if (Environment_) {
        for (const auto& e : *Environment_)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
    }
    char* const* childEnv = Environment_ ? envp.data() : environ;

    const bool redirect = StdIn_ >= 0 || StdOut_ >= 0 || StdErr_ >= 0;
    int devNull = -1;
    if (redirect && (StdIn_ < 0 || StdOut_ < 0 || StdErr_ < 0))
        devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const int sources[3] = {StdIn_ >= 0 ? StdIn_ : devNull, StdOut_ >= 0 ? StdOut_ : devNull,
                            StdErr_ >= 0 ? StdErr_ : devNull};
    const bool setNice = Priority_ != TConsoleAppPriority::cpDefault;
    const int nice = niceValueOf(Priority_);
    const bool newSession = UseNewConsole_;
    const char* dir = CurrentDir_.empty() ? nullptr : CurrentDir_.c_str();

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        setError(errno);
        if (devNull >= 0) ::close(devNull);
        return false;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The child dies with the thread that started it, so it never outlives the program.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        if (newSession) ::setsid();
        if (setNice) ::setpriority(PRIO_PROCESS, 0, nice);
        int err = 0;
        if (redirect) {
            // Move the sources out of the way first, so that one may be any of 0..2.
            int moved[3];
            for (int i = 0; i < 3; ++i)
                moved[i] = sources[i] >= 0 ? ::fcntl(sources[i], F_DUPFD_CLOEXEC, 10) : -1;
            for (int i = 0; i < 3; ++i)
                if (moved[i] >= 0 && ::dup2(moved[i], i) < 0) err = errno;
        }
        if (!err && dir && ::chdir(dir) != 0) err = errno;
        if (!err) {
            ::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC);
            ::execve(program.c_str(), argv.data(), childEnv);
            err = errno;
        }
        [[maybe_unused]] auto n = ::write(report[1], &err, sizeof err);
        ::_exit(127);
    }
    ::close(report[1]);
    if (devNull >= 0) ::close(devNull);
    if (pid < 0) {
        setError(errno);
        ::close(report[0]);
        return false;
    }
    int childErr = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &childErr, sizeof childErr);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof childErr)) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        setError(childErr);
        return false;
    }
    ProcessInfo_.ProcessId = pid;
    ProcessInfo_.ProcessHandle = pidfdOpen(pid);
    return true;
}

bool TCustomConsoleApp::Execute(const std::string& commandLine, const std::string& currentDir) {
    CommandLine_ = commandLine;
    CurrentDir_ = currentDir;
    return Execute();
}

bool TCustomConsoleApp::Execute() {
    ExitCode_ = 0;
    ErrorCode_ = 0;
    ErrorMessage_.clear();
    ProcessInfo_ = {};
    terminated_ = false;
    if (!spawn()) return false;

    DoStart();
    const auto start = std::chrono::steady_clock::now();
    TimeToLive_ = MaxExecTime_;
    ElapsedTime_ = 0;
    int waited = 0;
    bool waitFailed = false;
    do {
        waited = waitForChild(ProcessInfo_, TimeSlice_ == NoLimit ? -1 : static_cast<int>(TimeSlice_));
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count();
        ElapsedTime_ = ms >= NoLimit ? NoLimit - 1 : static_cast<uint32_t>(ms);
        if (MaxExecTime_ != NoLimit)
            TimeToLive_ = ElapsedTime_ >= MaxExecTime_ ? 0 : MaxExecTime_ - ElapsedTime_;
        if (waited < 0) {
            setError(errno);
            waitFailed = true;
        } else if (TimeSlice_ != NoLimit) {
            DoWork();
        }
    } while (waited == 0 && TimeToLive_ > 0 && !terminated_);

    bool ok = false;
    const pid_t pid = ProcessInfo_.ProcessId;
    if (waited != 0 && !terminated_) {
        DoComplete();
        if (!waitFailed) {
            int status = 0;
            pid_t r;
            do {
                r = ::waitpid(pid, &status, 0);
            } while (r < 0 && errno == EINTR);
            if (r == pid) {
                ExitCode_ = exitCodeOf(status);
                ok = true;
            } else {
                setError(errno);
            }
        }
    } else {
        if (terminated_) {
            ErrorCode_ = ErrorTerminated;
            ErrorMessage_ = "Application terminated";
        } else {
            ErrorCode_ = ErrorTimedOut;
            ErrorMessage_ = "Application timed out";
        }
        DoComplete();
        if (KillTimedOutProcess_) {
            ::kill(pid, SIGKILL);
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        } else {
            // Left running: reap it whenever it ends so that it does not stay a zombie.
            std::thread([pid] {
                int status = 0;
                while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
                }
            }).detach();
        }
    }
    if (ProcessInfo_.ProcessHandle >= 0) ::close(ProcessInfo_.ProcessHandle);
    ProcessInfo_ = {};
    TimeToLive_ = 0;
    return ok;
}
