#pragma once
#include "common/SharedTypes.h"
#include "platform/Dispatch.h"
#include "sip/ConsoleApp.h"
#include "sip/LinphoneEvaluator.h"
#include "sip/Pipe.h"

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct LinphoneThreadTimings {
    uint32_t outputStepMs = 200; // how often the client's output is collected
};

// Runs the console SIP client for the life of the program, hands each new
// piece of its output (standard error included) to the controller on the
// window thread, and writes the controller's command lines into its input.
class TLinphoneThread {
public:
    TLinphoneThread();

    // Inputs, set before Start.
    std::string ClientProgram = "linphonec";             // a name found on PATH, or a path
    std::optional<std::vector<std::string>> Environment; // none = this program's
    TGetStrProc LogEvent;                                // "LINPHONE_THREAD: ..." lines
    TGetStrProc OnResponseEvent;                         // each new piece of output, unchanged
    platform::Receiver Receiver; // when set, LogEvent and OnResponseEvent run on its thread
    LinphoneThreadTimings timings;

    // Asked by the owner at shutdown: nothing is handed over or logged after it.
    void RequestStop() { stop_->store(true); }
    bool StopRequested() const { return stop_->load(); }
    // True once the client's run is over.
    std::atomic<bool> Ended{false};
    // The client's process id while it runs, else 0.
    std::atomic<pid_t> ClientPid{0};

    // Makes the pipes, writes the empty first command and starts the run on a
    // thread of its own at idle priority; the thread keeps the object alive.
    static void Start(const std::shared_ptr<TLinphoneThread>& self);
    // The pipe setup of Start without a thread (for tests that drive Run themselves).
    void Prepare();
    void Run();
    // One output step: collect what the client wrote and hand over what is new.
    void OutputStep();

    // One command line to the client: the text and CR LF. Never waits: what a
    // full pipe does not take now is written by the next output step.
    // Throws EInOutError when there is no pipe or the write fails.
    void WriteToInputPipe(const std::string& text);

    // Bytes of output handed over so far.
    size_t LastPosition() const { return lastPosition_; }

private:
    void log(const std::string& text);
    void flushInput();

    std::thread::id windowThread_; // where Prepare ran: log lines made there are delivered at once
    std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
    std::unique_ptr<TPipe> InPipe;
    std::unique_ptr<TPipe> fOutPipe;
    std::string fOutStream; // output not handed over yet
    size_t lastPosition_ = 0;
    TSecretMasker outputMasker_;
    std::mutex inputMutex_; // the window thread writes, the output step flushes
    std::string pendingInput_;
};
