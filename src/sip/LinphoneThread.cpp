#include "sip/LinphoneThread.h"

#include "platform/Dispatch.h"
#include "platform/ThreadPriority.h"

#include <thread>

TLinphoneThread::TLinphoneThread() = default;

void TLinphoneThread::log(const std::string& text) {
    if (!LogEvent) return;
    const std::string line = "LINPHONE_THREAD: " + text;
    if (Receiver && std::this_thread::get_id() != windowThread_) {
        Receiver.post([sink = LogEvent, line, stop = stop_] {
            if (!stop->load()) sink(line);
        });
    } else if (!StopRequested()) {
        LogEvent(line);
    }
}

void TLinphoneThread::Prepare() {
    windowThread_ = std::this_thread::get_id();
    try {
        InPipe = std::make_unique<TPipe>(true);
        // The window thread must never wait on a full pipe.
        InPipe->SetWriteNonBlocking(true);
        WriteToInputPipe("");
        fOutPipe = std::make_unique<TPipe>(true);
        fOutStream.clear();
    } catch (const std::exception&) {
        log("error 43235:  cannot create TPIPE, method TForm1.LinphoneInitializationTimerTimer ");
    }
}

void TLinphoneThread::Start(const std::shared_ptr<TLinphoneThread>& self) {
    self->Prepare();
    std::thread([self] { self->Run(); }).detach();
}

void TLinphoneThread::Run() {
    lastPosition_ = 0;
    try {
        TConsoleApp App;
        App.SetMaxExecTime(TConsoleApp::NoLimit);
        App.SetTimeSlice(timings.outputStepMs);
        App.OnWork = [this](TCustomConsoleApp&) { OutputStep(); };
        App.OnStart = [this](TCustomConsoleApp& app) {
            ClientPid = static_cast<TConsoleApp&>(app).ProcessInfo().ProcessId;
            // Idle only from now on: a child started from an idle thread would inherit
            // its nice value, and the client carries the call's audio.
            platform::setCurrentThreadIdle();
        };
        App.StdIn = InPipe ? InPipe->ReadHandle() : -1;
        // Standard error goes into the same pipe: Debian's client reports a taken port only there.
        App.StdOut = fOutPipe ? fOutPipe->WriteHandle() : -1;
        App.StdErr = App.StdOut;
        App.Visible = false;
        App.Environment = Environment;
        log("starting linphonec ");
        if (!App.Execute(ClientProgram, ""))
            log("error 344: run  linphonec.exe,  method TForm1.LinphoneInitializationTimerTimer");
        ClientPid = 0;
        log("MESSAGE: linhonec.exe process ends. ");
    } catch (...) {
        log("error 44332 method LinphoneInitialization.");
    }
    Ended = true;
}

void TLinphoneThread::OutputStep() {
    try {
        flushInput();
        if (fOutPipe) fOutPipe->CopyToString(fOutStream);
        if (fOutStream.empty() || StopRequested()) return;
        const std::string piece = fOutStream;
        log(outputMasker_.Mask(piece));
        bool failed = false;
        if (OnResponseEvent) {
            if (Receiver) {
                auto outcome = std::make_shared<std::atomic<bool>>(false);
                const bool ran = Receiver.postAndWait(
                    [sink = OnResponseEvent, piece, outcome] {
                        try {
                            sink(piece);
                        } catch (...) {
                            outcome->store(true);
                        }
                    },
                    *stop_);
                if (!ran) return; // stopped meanwhile: nothing more is handed over
                failed = outcome->load();
            } else {
                try {
                    OnResponseEvent(piece);
                } catch (...) {
                    failed = true;
                }
            }
        }
        if (failed) {
            // Handed over again, with what comes next, at the next step.
            log("error 3751122: TForm1.ResponseTimerTimer.");
            return;
        }
        // What was handed over is not kept: only the count is.
        lastPosition_ += piece.size();
        fOutStream.erase(0, piece.size());
    } catch (...) {
        log("error 3751122: TForm1.ResponseTimerTimer.");
    }
}

void TLinphoneThread::flushInput() {
    std::lock_guard lock(inputMutex_);
    if (pendingInput_.empty() || !InPipe) return;
    const size_t n = InPipe->WriteData(pendingInput_.data(), pendingInput_.size());
    pendingInput_.erase(0, n);
}

void TLinphoneThread::WriteToInputPipe(const std::string& text) {
    const std::string line = text + "\r\n";
    {
        std::lock_guard lock(inputMutex_);
        if (!InPipe) throw EInOutError("Can't write pipe: handle closed");
        // Keep the order: nothing jumps ahead of bytes still waiting.
        if (pendingInput_.empty()) {
            const size_t n = InPipe->WriteData(line.data(), line.size());
            pendingInput_.append(line, n, std::string::npos);
        } else {
            pendingInput_ += line;
        }
    }
    log(">>>" + MaskSecrets(line));
}
