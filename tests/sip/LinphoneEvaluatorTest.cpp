#include "sip/LinphoneEvaluator.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using K = SipAction::Kind;

namespace {

std::vector<std::string> sends(const SipActions& a) {
    std::vector<std::string> out;
    for (const auto& x : a)
        if (x.kind == K::Send) out.push_back(x.text);
    return out;
}

std::vector<K> kinds(const SipActions& a) {
    std::vector<K> out;
    for (const auto& x : a)
        out.push_back(x.kind);
    return out;
}

int count(const SipActions& a, K k) {
    int n = 0;
    for (const auto& x : a)
        n += x.kind == k;
    return n;
}

const SipAction* first(const SipActions& a, K k) {
    for (const auto& x : a)
        if (x.kind == k) return &x;
    return nullptr;
}

// A Debian client that has shown its first prompt.
TLinphoneEvaluator debian() {
    TLinphoneEvaluator e;
    e.Evaluate("Warning: video is disabled in linphonec, use -V or -C or -D to enable.\nlinphonec> ");
    return e;
}

} // namespace

TEST(CallId, WholeRunOfDigitsAfterAssignedId) {
    struct Case {
        const char* text;
        const char* id;
    };
    const Case cases[] = {
        {"Establishing call id to sip:x, assigned id 1\r\n", "1"},
        {"Receiving new incoming call from sip:d@h, assigned id 12 more", "12"},
        {"assigned id 104\r\nEstablishing call id to", "104"},
        {"x assigned id 1234", "1234"},
        {"x assigned id 2147483647\n", "2147483647"},
        {"x assigned id 12345678901\n", ""}, // longer than any id the client gives
        {"x assigned id \n", ""},
        {"no id here", ""},
        {"a assigned id 7\n assigned id 9\n", "7"}, // the first one counts
    };
    for (const auto& c : cases)
        EXPECT_EQ(CallIdFrom(c.text), c.id) << c.text;
}

// The client numbers calls for as long as it runs: ids of every length are
// read whole, also when the announcing line comes in two pieces, and only the
// end of that very call makes the desk idle.
TEST(CallId, IdsOfEveryLengthThroughEstablishingReceivingAndEnded) {
    for (const std::string id : {"1", "9", "10", "99", "100", "104", "1234"}) {
        const std::string other = id + "0"; // a longer id that starts the same
        const auto split = [&](TLinphoneEvaluator& e, const std::string& line) {
            const size_t cut = line.rfind(id) + 1; // after the id's first digit
            e.Evaluate(line.substr(0, cut));
            return e.Evaluate(line.substr(cut));
        };
        {
            auto e = debian();
            e.vratnikIP = "127.0.0.1";
            e.CallButton();
            split(e, "Establishing call id to sip:YOXPanel@127.0.0.1, assigned id " + id + "\n");
            EXPECT_EQ(e.CallID_connected, id);
            e.Evaluate("Call " + other + " to sip:YOXPanel@127.0.0.1 ended (Call declined).\n");
            EXPECT_TRUE(e.OutCallInProcess) << id << ": another call ended";
            e.Evaluate("Call " + id + " to sip:YOXPanel@127.0.0.1 ended (Call declined).\n");
            EXPECT_FALSE(e.OutCallInProcess) << id;
        }
        {
            auto e = debian();
            const auto a =
                split(e, "Receiving new incoming call from sip:door@127.0.0.1, assigned id " + id + "\n");
            EXPECT_EQ(count(a, K::AskIncomingCall), 1) << id;
            EXPECT_EQ(e.CallID_ringing, id);
            e.AnswerIncomingCall(true);
            EXPECT_EQ(e.CallID_connected, id);
            e.Evaluate("Call " + other + " with sip:door@127.0.0.1 error.\n");
            EXPECT_TRUE(e.InCallInProcess) << id << ": another call ended";
            e.Evaluate("linphonec> Call " + id + " with sip:door@127.0.0.1 ended (No error).\n");
            EXPECT_FALSE(e.InCallInProcess) << id;
        }
        {
            auto e = debian();
            split(e, "Receiving new incoming call from sip:door@127.0.0.1, assigned id " + id + "\n");
            EXPECT_EQ(sends(e.AnswerIncomingCall(false)), std::vector<std::string>{"terminate " + id});
        }
    }
}

// Each call id comes from the line that announces that call, not from the
// first id anywhere in the piece.
TEST(CallId, IncomingAndOutgoingInOnePieceKeepTheirOwnIds) {
    auto e = debian();
    e.vratnikIP = "127.0.0.1";
    e.CallButton();
    e.Evaluate("Establishing call id to sip:YOXPanel@127.0.0.1, assigned id 7\n"
               "Receiving new incoming call from sip:door@127.0.0.1, assigned id 8\n");
    EXPECT_EQ(e.CallID_ringing, "8");
    EXPECT_EQ(sends(e.AnswerIncomingCall(false)), std::vector<std::string>{"terminate 8"});
    EXPECT_EQ(e.CallID_connected, "7");
}

TEST(Evaluation, ClassicFragmentsOneByOne) {
    {
        TLinphoneEvaluator e;
        EXPECT_EQ(kinds(e.Evaluate("Ready\n")), std::vector<K>{K::RaiseInitializationSuccesful});
    }
    {
        TLinphoneEvaluator e;
        const auto a = e.Evaluate("x Could not start UDP transport on port 5060 y");
        ASSERT_EQ(kinds(a), (std::vector<K>{K::RaiseError, K::Log}));
        EXPECT_EQ(a[0].text, "x Could not start UDP transport on port 5060 y");
        EXPECT_EQ(a[1].text, "Error 99: \"Could not start UDP transport on port 5060\" ");
    }
    {
        TLinphoneEvaluator e;
        e.OutCallInProcess = e.InCallInProcess = true;
        EXPECT_TRUE(e.Evaluate("Call terminated\n").empty());
        EXPECT_FALSE(e.OutCallInProcess || e.InCallInProcess);
    }
    {
        TLinphoneEvaluator e;
        const auto a = e.Evaluate("Establishing call id to sip:YOXPanel@1.2.3.4, assigned id 1\r\n");
        EXPECT_TRUE(a.empty());
        EXPECT_EQ(e.CallID_connected, "1");
    }
    for (const char* reg : {"Registration on sip:s successful\n", "Registration on sip:s failed\n"}) {
        TLinphoneEvaluator e;
        const auto a = e.Evaluate(reg);
        ASSERT_EQ(kinds(a), std::vector<K>{K::RaiseSIPEvent});
        EXPECT_EQ(a[0].text, reg);
        EXPECT_EQ(e.SIPSucessfulyregistered, std::string(reg).find("successful") != std::string::npos);
    }
    {
        TLinphoneEvaluator e;
        e.SIPSucessfulyregistered = true;
        e.Evaluate("Registration on sip:s failed\n"); // a failure leaves the state
        EXPECT_TRUE(e.SIPSucessfulyregistered);
        e.Evaluate("unregistered\n");
        EXPECT_FALSE(e.SIPSucessfulyregistered);
    }
}

TEST(Evaluation, IncomingCallAnsweredYesOrNo) {
    const std::string announce = "Receiving new incoming call from sip:door@10.0.0.7, assigned id 3\r\n";
    {
        TLinphoneEvaluator e;
        e.TimeBeforeCall = 25;
        const auto a = e.Evaluate(announce);
        EXPECT_EQ(kinds(a),
                  (std::vector<K>{K::RaiseIncomingCall, K::PlayRing, K::StartRingTimer, K::AskIncomingCall}));
        EXPECT_EQ(first(a, K::StartRingTimer)->ms, 35000); // TimeBeforeCall x 1000 + 10000
        EXPECT_EQ(e.CallID_ringing, "3");
        EXPECT_TRUE(e.QuestionPending());
        const auto yes = e.AnswerIncomingCall(true);
        EXPECT_EQ(kinds(yes),
                  (std::vector<K>{K::StopRingTimer, K::RaiseIncomingCallAcepted, K::StopSound, K::Send}));
        // The announcing line alone: the rest of a piece is other output.
        EXPECT_EQ(first(yes, K::RaiseIncomingCallAcepted)->text,
                  "Receiving new incoming call from sip:door@10.0.0.7, assigned id 3");
        EXPECT_EQ(sends(yes), std::vector<std::string>{"answer"});
        EXPECT_TRUE(e.InCallInProcess);
        EXPECT_EQ(e.CallID_connected, "3");
        EXPECT_EQ(e.CallID_ringing, "");
    }
    for (bool byTimer : {false, true}) {
        TLinphoneEvaluator e;
        e.OutCallInProcess = true;
        e.Evaluate(announce);
        const auto no = e.AnswerIncomingCall(false, byTimer);
        EXPECT_EQ(sends(no), std::vector<std::string>{"terminate 3"});
        EXPECT_EQ(count(no, K::StopSound), byTimer ? 0 : 1); // the tone has replaced the ring
        EXPECT_FALSE(e.InCallInProcess);
        EXPECT_TRUE(e.OutCallInProcess); // a refusal keeps the outgoing call
        EXPECT_EQ(e.CallID_ringing, "");
    }
}

TEST(Evaluation, TakingACallWhileCallingOutEndsTheOutgoingOneFirst) {
    TLinphoneEvaluator e;
    e.vratnikIP = "127.0.0.1";
    EXPECT_EQ(sends(e.CallButton()), std::vector<std::string>{"call sip:YOXPanel@127.0.0.1"});
    e.Evaluate("Establishing call id to sip:YOXPanel@127.0.0.1, assigned id 1\n");
    e.Evaluate("Receiving new incoming call from sip:door@127.0.0.1, assigned id 2\n");
    EXPECT_EQ(sends(e.AnswerIncomingCall(true)), (std::vector<std::string>{"terminate 1", "answer"}));
    EXPECT_TRUE(e.InCallInProcess);
    EXPECT_FALSE(e.OutCallInProcess);
    // Debian then reports the end of the replaced call: the new one stays.
    e.Evaluate("Call 1 to sip:YOXPanel@127.0.0.1 ended (Call terminated).\n");
    EXPECT_TRUE(e.InCallInProcess);
    e.Evaluate("linphonec> Call 2 with sip:door@127.0.0.1 ended (No error).\n");
    EXPECT_FALSE(e.InCallInProcess);
}

TEST(Evaluation, AllSevenChecksRunInOrderOnOnePiece) {
    TLinphoneEvaluator e;
    e.OutCallInProcess = true;
    const std::string piece =
        "Ready\nCould not start UDP transport on port 5060\nCall terminated\n"
        "Receiving new incoming call from sip:d@h, assigned id 4\n"
        "Registration on sip:s successful\nEstablishing call id to sip:x, assigned id 5\n";
    const auto a = e.Evaluate(piece);
    EXPECT_EQ(kinds(a),
              (std::vector<K>{K::RaiseInitializationSuccesful, K::RaiseError, K::Log, K::RaiseIncomingCall,
                              K::PlayRing, K::StartRingTimer, K::AskIncomingCall}));
    EXPECT_FALSE(e.OutCallInProcess); // "Call terminated" came before the question
    const auto b = e.AnswerIncomingCall(true);
    EXPECT_EQ(kinds(b), (std::vector<K>{K::StopRingTimer, K::RaiseIncomingCallAcepted, K::StopSound, K::Send,
                                        K::RaiseSIPEvent}));
    EXPECT_TRUE(e.SIPSucessfulyregistered);
    EXPECT_EQ(e.CallID_connected, "5"); // check 7 ran after the answer, with its own line's id
}

TEST(Evaluation, CallButtonFollowsTheState) {
    struct Case {
        bool in, out, registered;
        std::string expected;
        bool outAfter, inAfter;
    };
    const Case cases[] = {
        {false, false, false, "call sip:YOXPanel@192.0.2.5", true, false},
        {false, false, true, "call 0102", true, false}, // prefix and number joined
        {true, false, true, "terminate", false, false},
        {false, true, false, "terminate", false, false},
        {true, true, false, "terminate", true, false}, // an incoming call is ended first
    };
    for (const auto& c : cases) {
        TLinphoneEvaluator e;
        e.vratnikIP = "192.0.2.5";
        e.SIPaddres = "102";
        e.CallPrefix = "0";
        e.InCallInProcess = c.in;
        e.OutCallInProcess = c.out;
        e.SIPSucessfulyregistered = c.registered;
        const auto a = e.CallButton();
        EXPECT_EQ(a.front().kind, K::StopSound);
        EXPECT_EQ(sends(a), std::vector<std::string>{c.expected});
        EXPECT_EQ(e.OutCallInProcess, c.outAfter);
        EXPECT_EQ(e.InCallInProcess, c.inAfter);
    }
    TLinphoneEvaluator e;
    e.vratnikIP = std::string(300, '1');
    EXPECT_EQ(sends(e.CallButton())[0].size(), std::string("call sip:YOXPanel@").size() + 255);
}

TEST(Evaluation, FragmentsSplitAcrossPiecesAreSeenOnceAndNeverTwice) {
    TLinphoneEvaluator e;
    EXPECT_TRUE(e.Evaluate("Rea").empty());
    EXPECT_EQ(count(e.Evaluate("dy"), K::RaiseInitializationSuccesful), 1);
    EXPECT_EQ(count(e.Evaluate(" and more"), K::RaiseInitializationSuccesful),
              0); // "Ready" is still in the line
    EXPECT_EQ(count(e.Evaluate(" Ready\n"), K::RaiseInitializationSuccesful), 1); // a second one is new

    // The incoming call waits until its id has arrived.
    auto f = debian();
    EXPECT_TRUE(f.Evaluate("linphonec> Receiving new incoming ca").empty());
    EXPECT_TRUE(f.Evaluate("ll from sip:door@127.0.0.1, assig").empty());
    const auto a = f.Evaluate("ned id 1\n");
    EXPECT_EQ(count(a, K::AskIncomingCall), 1);
    EXPECT_EQ(f.CallID_ringing, "1");
    EXPECT_NE(first(a, K::RaiseIncomingCall), nullptr);
    f.AnswerIncomingCall(false);
    EXPECT_EQ(count(f.Evaluate("linphonec> "), K::AskIncomingCall), 0);
}

TEST(Evaluation, DebianWordingMeansTheSame) {
    TLinphoneEvaluator e;
    EXPECT_EQ(count(e.Evaluate("Warning: video is disabled\nlinph"), K::RaiseInitializationSuccesful), 0);
    EXPECT_EQ(count(e.Evaluate("onec> "), K::RaiseInitializationSuccesful),
              1); // the first prompt is the start
    EXPECT_EQ(count(e.Evaluate("\nlinphonec> \nlinphonec> "), K::RaiseInitializationSuccesful), 0);
    EXPECT_EQ(e.dialect(), TLinphoneEvaluator::Dialect::Debian);

    const auto port = e.Evaluate(
        "2026-01-01 belle-sip-error-udp bind() failed for ::0 port 5060: Address already in use\n");
    ASSERT_NE(first(port, K::RaiseError), nullptr);
    EXPECT_NE(first(port, K::RaiseError)->text.find("Could not start UDP transport on port 5060"),
              std::string::npos);
    EXPECT_TRUE(e.Evaluate("udp bind() failed for ::0 port 5062: Address already in use\n").empty());

    for (const char* end :
         {"Call 1 with sip:door@127.0.0.1 ended (No error).\n", "Call 1 with sip:door@127.0.0.1 error.\n",
          "Call 1 to sip:YOXPanel@127.0.0.1 error.\n", "Call 1 with sip:d@h ended (Busy).\n"}) {
        TLinphoneEvaluator d;
        d.OutCallInProcess = true;
        d.Evaluate(end);
        EXPECT_FALSE(d.OutCallInProcess) << end;
    }
    TLinphoneEvaluator d;
    d.OutCallInProcess = true;
    d.Evaluate("Call 1 to sip:x in progress.\nCall 1 to sip:x ringing.\nCall 1 with sip:x connected.\n");
    EXPECT_TRUE(d.OutCallInProcess);
}

TEST(Registration, DebianSuccessIsAskedForWithStatusRegister) {
    auto e = debian();
    auto a = e.Command("register sip:101@127.0.0.1 127.0.0.1 secret");
    // The leading blank keeps the line (and its password) out of the client's history.
    EXPECT_EQ(sends(a), std::vector<std::string>{" register sip:101@127.0.0.1 127.0.0.1 secret"});
    EXPECT_EQ(first(a, K::SchedulePoll)->ms, 500);
    // Other commands wait until the outcome is known.
    EXPECT_TRUE(sends(e.Command("call 0102")).empty());
    EXPECT_EQ(sends(e.PollDue()), std::vector<std::string>{"status register"});
    e.Evaluate("status register\nregistered=-1\nlinphonec> ");
    EXPECT_FALSE(e.SIPSucessfulyregistered);
    EXPECT_EQ(sends(e.PollDue()), std::vector<std::string>{"status register"});
    a = e.Evaluate("status register\nregistered, identity=sip:101@127.0.0.1 duration=3600\nlinphonec> ");
    ASSERT_NE(first(a, K::RaiseSIPEvent), nullptr);
    EXPECT_EQ(first(a, K::RaiseSIPEvent)->text, "Registration on sip:127.0.0.1 successful.");
    EXPECT_TRUE(e.SIPSucessfulyregistered);
    EXPECT_EQ(sends(a), std::vector<std::string>{"call 0102"}); // released
    EXPECT_FALSE(e.RegistrationTracking());
}

TEST(Registration, WrongPasswordPromptIsAnsweredAndNoCommandIsEaten) {
    auto e = debian();
    e.SIPSucessfulyregistered = false;
    e.Command("register sip:101@127.0.0.1 127.0.0.1 wrong");
    EXPECT_TRUE(sends(e.Command("call 0102")).empty());
    auto a = e.Evaluate("\nPassword for 101 on 127.0.0.1: ");
    EXPECT_EQ(sends(a), std::vector<std::string>{""});
    EXPECT_EQ(first(a, K::RaiseSIPEvent)->text, "Registration on sip:127.0.0.1 failed.");
    // The empty answer makes it ask again: that prompt is not answered twice,
    // and held commands stay back until "status register" is answered.
    a = e.Evaluate("\nPassword for 101 on 127.0.0.1: \nPassword for 101 on 127.0.0.1: ");
    EXPECT_TRUE(sends(a).empty());
    EXPECT_EQ(count(a, K::RaiseSIPEvent), 0);
    EXPECT_EQ(sends(e.PollDue()), std::vector<std::string>{"status register"}); // eaten as a password
    e.Evaluate("status register\n\nlinphonec> ");
    EXPECT_EQ(sends(e.PollDue()), std::vector<std::string>{"status register"});
    a = e.Evaluate("status register\nregistered=-1\nlinphonec> ");
    EXPECT_EQ(sends(a), std::vector<std::string>{"call 0102"});
    EXPECT_FALSE(e.SIPSucessfulyregistered);
}

// Taking or ending a call never waits for the outcome of a registration; a
// call still held back is dropped rather than ended.
TEST(Registration, AnswerAndTerminateGoAtOnceWhileARegistrationIsFollowed) {
    auto e = debian();
    e.Command("register sip:101@127.0.0.1 127.0.0.1 pw");
    ASSERT_TRUE(e.RegistrationTracking());
    EXPECT_EQ(sends(e.AnswerButton()), std::vector<std::string>{"answer"});
    EXPECT_EQ(sends(e.Command("terminate 3")), std::vector<std::string>{"terminate 3"});
    e.InCallInProcess = true;
    EXPECT_EQ(sends(e.CallButton()), std::vector<std::string>{"terminate"});
    // A refused incoming call is ended at once too.
    e.Evaluate("Receiving new incoming call from sip:door@127.0.0.1, assigned id 104\n");
    EXPECT_EQ(sends(e.AnswerIncomingCall(false)), std::vector<std::string>{"terminate 104"});

    // Calling out waits; ending that call before it went out drops it.
    e.vratnikIP = "127.0.0.1";
    EXPECT_TRUE(sends(e.CallButton()).empty());
    EXPECT_TRUE(e.OutCallInProcess);
    EXPECT_TRUE(sends(e.CallButton()).empty());
    EXPECT_FALSE(e.OutCallInProcess);
    EXPECT_EQ(e.HeldCommands(), 0u);
    // Taking an incoming call also drops a call that is still held back.
    e.CallButton();
    e.Evaluate("Receiving new incoming call from sip:door@127.0.0.1, assigned id 105\n");
    EXPECT_EQ(sends(e.AnswerIncomingCall(true)), std::vector<std::string>{"answer"});
    const auto done = e.Evaluate("status register\nregistered, identity=sip:101@127.0.0.1 duration=3600\n");
    EXPECT_TRUE(sends(done).empty()) << "nothing was left to release";
    EXPECT_FALSE(e.RegistrationTracking());
}

TEST(Registration, AnswerWhileTheClientWaitsForAPasswordIsNotTakenAsThePassword) {
    auto e = debian();
    e.Command("register sip:101@127.0.0.1 127.0.0.1 wrong");
    EXPECT_EQ(sends(e.Evaluate("\nPassword for 101 on 127.0.0.1: ")), std::vector<std::string>{""});
    // It asks again after the empty answer: the next line would be the password.
    e.Evaluate("\nPassword for 101 on 127.0.0.1: ");
    EXPECT_EQ(sends(e.AnswerButton()), (std::vector<std::string>{"", "answer"}));
    EXPECT_EQ(sends(e.AnswerButton()), std::vector<std::string>{"answer"}) << "that question was answered";
}

TEST(Registration, NoAnswerForTooLongIsAFailure) {
    auto e = debian();
    e.Command("register sip:101@127.0.0.1 127.0.0.1 pw");
    SipActions last;
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(sends(e.PollDue()), std::vector<std::string>{"status register"});
        e.Evaluate("status register\nregistered=0\nlinphonec> ");
    }
    last = e.PollDue();
    ASSERT_NE(first(last, K::RaiseSIPEvent), nullptr);
    EXPECT_EQ(first(last, K::RaiseSIPEvent)->text, "Registration on sip:127.0.0.1 failed.");
    EXPECT_FALSE(e.RegistrationTracking());
}

TEST(Registration, DebianUnregisterIsConfirmedByStatus) {
    auto e = debian();
    e.SIPSucessfulyregistered = true;
    e.Command("unregister");
    e.Evaluate("unregister\nlinphonec> ");
    EXPECT_TRUE(e.SIPSucessfulyregistered); // it printed nothing
    e.PollDue();
    e.Evaluate("status register\nregistered=0\nlinphonec> ");
    EXPECT_FALSE(e.SIPSucessfulyregistered);
}

TEST(Registration, ClassicClientIsNeitherAskedNorHeldBack) {
    TLinphoneEvaluator e;
    e.Evaluate("Ready\n");
    const auto a = e.Command("register sip:101@s p pw");
    EXPECT_EQ(count(a, K::SchedulePoll), 0);
    EXPECT_EQ(sends(e.Command("call 0102")), std::vector<std::string>{"call 0102"});
}

TEST(Secrets, RegisterPasswordIsMaskedAlsoWhenTheEchoIsSplit) {
    EXPECT_EQ(MaskSecrets("register sip:101@127.0.0.1 127.0.0.1 secret\r\n"),
              "register sip:101@127.0.0.1 127.0.0.1 ******\r\n");
    EXPECT_EQ(MaskSecrets(" register sip:101@127.0.0.1 127.0.0.1 secret\r\n"),
              " register sip:101@127.0.0.1 127.0.0.1 ******\r\n");
    EXPECT_EQ(MaskSecrets("call sip:YOXPanel@1.2.3.4\r\n"), "call sip:YOXPanel@1.2.3.4\r\n");
    TSecretMasker m;
    std::string shown;
    for (const char* piece : {"linphonec>  r", "egister sip:101", "@127.0.0.1 127.0.0.1 se", "cret",
                              "\nlinphonec> ", "status register\n"})
        shown += m.Mask(piece);
    EXPECT_EQ(shown.find("secret"), std::string::npos);
    EXPECT_EQ(shown.find("cret"), std::string::npos);
    EXPECT_NE(shown.find("127.0.0.1 127.0.0.1 ******\n"), std::string::npos);
    EXPECT_NE(shown.find("status register\n"), std::string::npos);
}

TEST(Evaluation, RingTimeIsClampedForDeviceValues) {
    TLinphoneEvaluator e;
    e.TimeBeforeCall = -5;
    EXPECT_EQ(e.RingTimeMs(), 10000);
    e.TimeBeforeCall = 2000000000;
    EXPECT_EQ(e.RingTimeMs(), 3600 * 1000 + 10000);
}
