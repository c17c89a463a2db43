#pragma once
#include "common/SharedTypes.h"
#include "sip/ClientHome.h"
#include "sip/IncomingCaller.h" // for the receivers of OnIncomingCallAcepted
#include "sip/LinphoneEvaluator.h"
#include "sip/LinphoneThread.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct LinphoneControlTimings {
    int initializationMs = 700; // from creation to the client's start
    int ringTimerMs = 35000;    // the ring timer's interval until a call sets it
    int quitTimeoutMs = 2500;   // at shutdown: the client's time to leave after "quit" before it is killed
    int toneHz = 1000;          // sounded when an incoming call was not answered in time
    int toneMs = 1000;
    LinphoneEvaluatorTimings evaluation;
    LinphoneThreadTimings thread;
};

// The desk's telephone: starts the console SIP client, turns the call buttons
// into its commands, reads its output for calls and registrations, asks the
// user whether to take an incoming call and reports through five events. Lives
// on the window thread.
class TLinphoneControl : public QObject {
    Q_OBJECT

    TLinphoneEvaluator eval_; // first: the properties below refer into it

public:
    explicit TLinphoneControl(QObject* owner = nullptr, const LinphoneControlTimings& timings = {});
    ~TLinphoneControl() override;

    // Events; each may be empty.
    std::function<void()> OnInitializationSuccesful;
    std::function<void()> OnIncomingCall;
    std::function<void(const std::string&)>
        OnIncomingCallAcepted; // the announcing line: IncomingCallerFrom reads it
    std::function<void(const std::string&)> OnError;
    std::function<void(const std::string&)> OnSIPEvent;
    TGetStrProc LogEvent; // every line starts "LINPHONE: "
    // Called inside the incoming-call question's event loop, with the box shown.
    std::function<void(QMessageBox*)> OnQuestionShown;

    // Properties.
    std::string& vratnikIP;  // door phone's IP address for a direct call (at most 255 characters used)
    std::string& SIPaddres;  // door phone's SIP number for a call through the server
    std::string& CallPrefix; // put before the SIP number
    int& TimeBeforeCall;     // seconds an incoming call rings before 10 more seconds and a refusal
    std::string ClientHome;  // the client's private home; empty = this program's HOME
    std::string ClientProgram = "linphonec"; // found on PATH; its file name is what leftovers are found by

    QTimer* InitializationTimer = nullptr;
    QTimer* RingTimer = nullptr;
    std::shared_ptr<TLinphoneThread> LinphoneThread;

    bool OutCallInProcess() const { return eval_.OutCallInProcess; }
    bool InCallInProcess() const { return eval_.InCallInProcess; }
    bool SIPSucessfulyregistered() const { return eval_.SIPSucessfulyregistered; }
    const std::string& CallID_connected() const { return eval_.CallID_connected; }
    const std::string& CallID_ringing() const { return eval_.CallID_ringing; }
    const TLinphoneEvaluator& Evaluator() const { return eval_; }
    // The incoming-call question while it is open, else null.
    QMessageBox* IncomingCallQuestion() const { return question_.data(); }

    // Arms the client's start (the constructor already has).
    void Start();
    // InitializationTimer's handler: starts the client thread.
    void LinphoneInitialization();
    // Sends one command line to the client; throws EInOutError before the client thread exists.
    void PSendCommandToLinphone(const std::string& command);
    // The call button: dials the current target, or ends the call in progress.
    void CallButtonClick();
    // Takes the ringing call.
    void AnwerCallButtonClick();
    // The ring time ran out: the question counts as No and a tone sounds.
    void OnRingTimer();
    // Clients of this user, named like ClientProgram, whose HOME or current
    // folder is our client home: left over from this program. Others' clients
    // (other users, other instances, the user's own) are never ended.
    std::vector<pid_t> OwnClients() const;
    // Evaluates one piece of the client's output.
    void LinhponeResponseEvalution(const std::string& S);
    void Log(const std::string& text);

private:
    void apply(const SipActions& actions);
    void writeCommand(const std::string& command);
    void askIncomingCall();
    std::string clientName() const;
    std::string clientHome() const;
    void killLeftovers();

    LinphoneControlTimings timings_;
    QTimer* pollTimer_ = nullptr;
    QPointer<QMessageBox> question_;
    bool closedByRingTimer_ = false;
    std::vector<std::string> earlyLog_;
};
