#include "sip/LinphoneControlComponent.h"

#include "common/SystemUtils.h"
#include "platform/Processes.h"

#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

std::string withoutSlash(std::string p) {
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

bool sameFolder(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    if (withoutSlash(a) == withoutSlash(b)) return true;
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec);
}

bool waitUntilGone(const std::vector<pid_t>& pids, int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::any_of(pids.begin(), pids.end(), platform::processRunning)) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace

TLinphoneControl::TLinphoneControl(QObject* owner, const LinphoneControlTimings& timings)
    : QObject(owner), eval_(timings.evaluation), vratnikIP(eval_.vratnikIP), SIPaddres(eval_.SIPaddres),
      CallPrefix(eval_.CallPrefix), TimeBeforeCall(eval_.TimeBeforeCall), timings_(timings) {
    // Left-over clients are ended when the client starts: only then is its home known.
    InitializationTimer = new QTimer(this);
    InitializationTimer->setSingleShot(true);
    InitializationTimer->setInterval(timings_.initializationMs);
    connect(InitializationTimer, &QTimer::timeout, this, [this] { LinphoneInitialization(); });
    RingTimer = new QTimer(this);
    RingTimer->setSingleShot(true);
    RingTimer->setInterval(timings_.ringTimerMs);
    connect(RingTimer, &QTimer::timeout, this, [this] { OnRingTimer(); });
    pollTimer_ = new QTimer(this);
    pollTimer_->setSingleShot(true);
    connect(pollTimer_, &QTimer::timeout, this, [this] {
        try {
            apply(eval_.PollDue());
        } catch (const std::exception&) {
        }
    });
    TimeBeforeCall = 25;
    InitializationTimer->start();
}

TLinphoneControl::~TLinphoneControl() {
    RingTimer->stop();
    pollTimer_->stop();
    InitializationTimer->stop();
    // An open question ends unanswered; the client is told to quit below.
    delete question_.data();
    if (!LinphoneThread) return;
    try {
        LinphoneThread->WriteToInputPipe("quit");
    } catch (const std::exception&) {
    }
    // From here the client thread hands nothing over: it must not wait for this thread.
    LinphoneThread->RequestStop();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timings_.quitTimeoutMs);
    while (!LinphoneThread->Ended && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    try {
        killLeftovers();
    } catch (...) {
    }
}

std::string TLinphoneControl::clientName() const {
    const auto slash = ClientProgram.find_last_of('/');
    return slash == std::string::npos ? ClientProgram : ClientProgram.substr(slash + 1);
}

std::string TLinphoneControl::clientHome() const {
    if (!ClientHome.empty()) return ClientHome;
    const char* home = std::getenv("HOME");
    return home ? home : "";
}

std::vector<pid_t> TLinphoneControl::OwnClients() const {
    std::vector<pid_t> out;
    const std::string name = clientName(), home = clientHome();
    if (home.empty()) return out;
    const pid_t self = ::getpid();
    const uid_t user = ::getuid();
    for (const auto& e : platform::listProcesses()) {
        if (e.pid == self || !platform::entryMatches(e, name)) continue;
        if (platform::processRealUserId(e.pid) != user || !platform::processRunning(e.pid)) continue;
        // Another user's or another instance's client has another home.
        const auto envHome = platform::processEnvironmentValue(e.pid, "HOME");
        if ((envHome && sameFolder(*envHome, home)) ||
            sameFolder(platform::processCurrentFolder(e.pid), home))
            out.push_back(e.pid);
    }
    return out;
}

void TLinphoneControl::killLeftovers() {
    const std::vector<pid_t> pids = OwnClients();
    if (pids.empty()) return;
    Log("linphonec.exe found. try to kill it. ");
    for (const pid_t pid : pids)
        if (platform::terminateProcess(pid)) Log("killed " + clientName() + ", pid " + std::to_string(pid));
    if (waitUntilGone(pids, 1000)) Log("linphonec.exe succesfuly killed.");
}

void TLinphoneControl::Start() {
    InitializationTimer->start();
}

void TLinphoneControl::Log(const std::string& text) {
    // Lines made during creation, before the owner could set a sink, come with the next line.
    if (!LogEvent) {
        if (earlyLog_.size() < 16) earlyLog_.push_back("LINPHONE: " + text);
        return;
    }
    for (auto& line : std::exchange(earlyLog_, {}))
        LogEvent(line);
    LogEvent("LINPHONE: " + text);
}

void TLinphoneControl::LinphoneInitialization() {
    InitializationTimer->stop();
    if (LinphoneThread) return; // started once per run
    try {
        killLeftovers();
    } catch (...) {
    }
    try {
        Log("Start linphone thread. ");
        auto thread = std::make_shared<TLinphoneThread>();
        thread->ClientProgram = ClientProgram;
        if (!ClientHome.empty()) {
            std::string why;
            if (!PrepareClientHome(ClientHome, &why)) Log(why);
            RemoveStaleClientSettings(ClientHome);
            thread->Environment = environmentWith(ClientHomeVariables(ClientHome));
        }
        // The sinks run on the window thread only: posted through Receiver,
        // which drops them once this controller is gone.
        thread->Receiver = this;
        thread->LogEvent = [this](const std::string& s) { Log(s); };
        thread->OnResponseEvent = [this](const std::string& s) { LinhponeResponseEvalution(s); };
        thread->timings = timings_.thread;
        LinphoneThread = thread;
        TLinphoneThread::Start(thread);
    } catch (...) {
        Log("error 69245: TForm1.StartLinphoneThread ");
    }
}

void TLinphoneControl::writeCommand(const std::string& command) {
    if (!LinphoneThread) throw EInOutError("the SIP client is not started");
    LinphoneThread->WriteToInputPipe(command);
}

void TLinphoneControl::PSendCommandToLinphone(const std::string& command) {
    apply(eval_.Command(command));
}

void TLinphoneControl::CallButtonClick() {
    const bool out = eval_.OutCallInProcess, in = eval_.InCallInProcess;
    try {
        apply(eval_.CallButton());
    } catch (...) {
        // Nothing was sent: the call state stays as it was.
        eval_.OutCallInProcess = out;
        eval_.InCallInProcess = in;
        Log("error 2714: .CallButtonClick ");
    }
}

void TLinphoneControl::AnwerCallButtonClick() {
    try {
        apply(eval_.AnswerButton());
    } catch (const std::exception&) {
    }
}

void TLinphoneControl::LinhponeResponseEvalution(const std::string& S) {
    apply(eval_.Evaluate(S));
}

void TLinphoneControl::OnRingTimer() {
    if (question_) {
        closedByRingTimer_ = true;
        question_->done(QMessageBox::No);
    }
    PlayTone(timings_.toneHz, timings_.toneMs);
    RingTimer->stop();
}

void TLinphoneControl::askIncomingCall() {
    QPointer<TLinphoneControl> self(this);
    auto* owner = qobject_cast<QWidget*>(parent());
    auto* box =
        new QMessageBox(QMessageBox::Information, QStringLiteral("VELNORA Manager"),
                        QStringLiteral("Receive incoming Call ?"), QMessageBox::Yes | QMessageBox::No, owner);
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    question_ = box;
    closedByRingTimer_ = false;
    if (OnQuestionShown)
        QTimer::singleShot(0, box, [this, box] {
            if (OnQuestionShown) OnQuestionShown(box);
        });
    const int answer = box->exec();
    if (!self) return; // the controller went away while asking
    const bool byTimer = closedByRingTimer_;
    question_ = nullptr;
    if (box) box->deleteLater();
    apply(eval_.AnswerIncomingCall(answer == QMessageBox::Yes, byTimer));
}

void TLinphoneControl::apply(const SipActions& actions) {
    using K = SipAction::Kind;
    for (const auto& a : actions) {
        switch (a.kind) {
        case K::Send:
            writeCommand(a.text);
            break;
        case K::Log:
            Log(a.text);
            break;
        case K::RaiseInitializationSuccesful:
            if (OnInitializationSuccesful) OnInitializationSuccesful();
            break;
        case K::RaiseError:
            if (OnError) OnError(a.text);
            break;
        case K::RaiseIncomingCall:
            if (OnIncomingCall) OnIncomingCall();
            break;
        case K::RaiseIncomingCallAcepted:
            if (OnIncomingCallAcepted) OnIncomingCallAcepted(a.text);
            break;
        case K::RaiseSIPEvent:
            if (OnSIPEvent) OnSIPEvent(a.text);
            break;
        case K::PlayRing:
            PlayWav("ring.wav", true);
            break;
        case K::StopSound:
            StopWav();
            break;
        case K::StartRingTimer:
            RingTimer->setInterval(a.ms);
            RingTimer->start();
            break;
        case K::StopRingTimer:
            RingTimer->stop();
            break;
        case K::AskIncomingCall:
            askIncomingCall();
            return; // always the last action
        case K::SchedulePoll:
            pollTimer_->start(a.ms);
            break;
        case K::CancelPoll:
            pollTimer_->stop();
            break;
        }
    }
}
