#pragma once
#include <array>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The SIP controller's decisions without any window, timer or process: the
// console client's output goes in, the call and registration state is kept
// here, and what the controller must do comes out as an ordered list of
// actions. Understands the fragments the desk has always relied on ("Ready",
// "Call terminated", "Registration on" ...) and the wording of Debian's
// linphonec 5.1, which prints none of them.

struct SipAction {
    enum class Kind {
        Send, // text: one command line for the client
        Log,  // text: a controller log line (without "LINPHONE: ")
        RaiseInitializationSuccesful,
        RaiseError, // text: the output that reported the taken port
        RaiseIncomingCall,
        RaiseIncomingCallAcepted, // text: the line that announced the call
        RaiseSIPEvent,            // text: the registration report
        PlayRing,                 // "ring.wav" in a loop
        StopSound,
        StartRingTimer, // ms
        StopRingTimer,
        AskIncomingCall, // show the question; answer with AnswerIncomingCall
        SchedulePoll,    // ms: call PollDue once after that time
        CancelPoll,
    };
    Kind kind;
    std::string text;
    int ms = 0;

    bool operator==(const SipAction&) const = default;
};
using SipActions = std::vector<SipAction>;

struct LinphoneEvaluatorTimings {
    int ringExtraMs = 10000;       // an incoming call rings TimeBeforeCall s + this
    int registrationPollMs = 500;  // between "status register" questions
    int registrationPollTries = 8; // unanswered or "not yet" answers before a registration counts as failed
};

// Fragments of the client's output that the controller acts on.
namespace sipfrag {
inline constexpr std::string_view Ready = "Ready";
inline constexpr std::string_view PortTaken = "Could not start UDP transport on port 5060";
inline constexpr std::string_view CallTerminated = "Call terminated";
inline constexpr std::string_view Incoming = "Receiving new incoming call from";
inline constexpr std::string_view Establishing = "Establishing call id to";
inline constexpr std::string_view AssignedId = "assigned id";
inline constexpr std::string_view RegistrationOn = "Registration on";
inline constexpr std::string_view Successful = "successful";
inline constexpr std::string_view Unregistered = "unregistered";
// Debian's linphonec
inline constexpr std::string_view Prompt = "linphonec> ";
inline constexpr std::string_view PasswordFor = "Password for ";
inline constexpr std::string_view BindFailed = "bind() failed for ";
} // namespace sipfrag

// The client's id of a call: the whole run of digits after the first
// "assigned id" (ids grow for the life of the client); empty when there is
// none or the run is longer than MaxCallIdDigits.
inline constexpr size_t MaxCallIdDigits = 10;
std::string CallIdFrom(std::string_view s);

// A command line with the password of a "register" command replaced by a mask.
std::string MaskSecrets(std::string_view text);

// Masks the password of a "register" command echoed by the client, also when
// the echo arrives in several pieces.
class TSecretMasker {
public:
    std::string Mask(std::string_view piece);

private:
    std::string line_; // the unfinished last line seen so far
};

class TLinphoneEvaluator {
public:
    explicit TLinphoneEvaluator(LinphoneEvaluatorTimings t = {}) : timings(t) {}

    LinphoneEvaluatorTimings timings;

    // Call targets and settings, written by the main window.
    std::string vratnikIP; // door phone's IP address (peer-to-peer)
    std::string SIPaddres; // door phone's SIP number (through the server)
    std::string CallPrefix;
    int TimeBeforeCall = 25; // seconds

    // Call and registration state.
    bool OutCallInProcess = false;
    bool InCallInProcess = false;
    bool SIPSucessfulyregistered = false;
    std::string CallID_connected = " ";
    std::string CallID_ringing = " ";

    // Evaluates a piece of client output. When an incoming call is announced
    // the list ends with AskIncomingCall and the rest waits for AnswerIncomingCall.
    SipActions Evaluate(std::string_view piece);
    // The user's answer to the incoming-call question; byRingTimer when the ring
    // time ran out (the tone has then already replaced the ring).
    SipActions AnswerIncomingCall(bool yes, bool byRingTimer = false);
    bool QuestionPending() const { return pending_.has_value(); }

    // A command from the main window ("register ...", "unregister" or any other).
    // While a registration is being followed other commands wait for its
    // outcome, except "answer" and "terminate", which go at once.
    SipActions Command(const std::string& command);
    SipActions CallButton();
    SipActions AnswerButton();
    // The registration poll timer ran out.
    SipActions PollDue();

    // Which wording the client uses, once known.
    enum class Dialect { Unknown, Classic, Debian };
    Dialect dialect() const { return dialect_; }
    bool RegistrationTracking() const { return reg_.phase != RegPhase::Idle; }
    size_t HeldCommands() const { return held_.size(); }
    int RingTimeMs() const;

private:
    enum Frag {
        FReady,
        FPortTaken,
        FCallTerminated,
        FIncoming,
        FRegistrationOn,
        FUnregistered,
        FEstablishing,
        FPrompt,
        FPassword,
        FCount
    };
    enum class StatusAnswer { Registered, NotRegistered };
    struct Findings {
        std::string text;
        bool ready = false, firstPrompt = false;
        std::optional<std::string> portLine; // Debian's bind failure line
        bool portFragment = false;
        bool callTerminated = false;
        std::vector<std::string> endedIds;
        bool incoming = false, registrationOn = false, unregistered = false, establishing = false;
        std::string incomingLine, establishingLine; // from the fragment to the end of its line
        bool passwordPrompt = false;
        std::vector<StatusAnswer> status;
    };
    enum class RegPhase { Idle, Registering, Unregistering };
    struct Registration {
        RegPhase phase = RegPhase::Idle;
        std::string where; // "sip:server" for the report
        int tries = 0;
        bool failureReported = false;
        bool promptSeen = false;
        bool answered = false;         // the prompt got its empty line
        bool awaitingPassword = false; // it asked again, and no line has gone since
    };

    Findings find(std::string_view piece);
    void scanLines(std::string_view text, Findings& f);
    void applyFirst(const Findings& f, SipActions& out);
    void applyRest(const Findings& f, SipActions& out);
    void applyRegistration(const Findings& f, SipActions& out);
    void send(const std::string& cmd, SipActions& out);
    void sendNow(const std::string& cmd, SipActions& out);
    bool dropHeldCall();
    void finishRegistration(SipActions& out);
    void reportRegistration(bool ok, SipActions& out);
    bool holding() const { return dialect_ == Dialect::Debian && reg_.phase != RegPhase::Idle; }

    std::string carry_;                 // the unfinished last line of earlier output
    std::array<size_t, FCount> seen_{}; // per fragment: occurrences before this offset of carry_ were handled
    bool started_ = false;
    Dialect dialect_ = Dialect::Unknown;
    Registration reg_;
    std::deque<std::string> held_;
    std::optional<Findings> pending_; // output waiting for the question's answer
};
