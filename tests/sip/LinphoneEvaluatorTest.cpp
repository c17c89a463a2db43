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

TEST(CallId, DeskRuleTakesTwoCharactersAsTheyStand) {
    struct Case {
        const char* text;
        const char* id;
    };
    const Case cases[] = {
        {"Establishing call id to sip:x, assigned id 1\r\n", "1\r"},
        {"Receiving new incoming call from sip:d@h, assigned id 12 more", "12"},
        {"assigned id 1\r\nEstablishing call id to", ""}, // starts the text
        {"x assigned id 1", ""},                          // too short for two characters
        {"x assigned id 1\n", "1\n"},
        {"no id here", ""},
        {"a assigned id 7\n assigned id 9\n", "7\n"}, // the first one counts
    };
    for (const auto& c : cases)
        EXPECT_EQ(CallIdFrom(c.text), c.id) << c.text;
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
        EXPECT_EQ(e.CallID_connected, "1\r");
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
        EXPECT_EQ(e.CallID_ringing, "3\r");
        EXPECT_TRUE(e.QuestionPending());
        const auto yes = e.AnswerIncomingCall(true);
        EXPECT_EQ(kinds(yes),
                  (std::vector<K>{K::StopRingTimer, K::RaiseIncomingCallAcepted, K::StopSound, K::Send}));
        EXPECT_EQ(first(yes, K::RaiseIncomingCallAcepted)->text, announce);
        EXPECT_EQ(sends(yes), std::vector<std::string>{"answer"});
        EXPECT_TRUE(e.InCallInProcess);
        EXPECT_EQ(e.CallID_connected, "3\r");
        EXPECT_EQ(e.CallID_ringing, "");
    }
    for (bool byTimer : {false, true}) {
        TLinphoneEvaluator e;
        e.OutCallInProcess = true;
        e.Evaluate(announce);
        const auto no = e.AnswerIncomingCall(false, byTimer);
        EXPECT_EQ(sends(no), std::vector<std::string>{"terminate 3\r"});
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
    EXPECT_EQ(sends(e.AnswerIncomingCall(true)), (std::vector<std::string>{"terminate 1\n", "answer"}));
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
    const std::string piece = "Ready\nCould not start UDP transport on port 5060\nCall terminated\n"
                              "Receiving new incoming call from sip:d@h, assigned id 4\n"
                              "Registration on sip:s successful\nEstablishing call id to sip:x\n";
    const auto a = e.Evaluate(piece);
    EXPECT_EQ(kinds(a),
              (std::vector<K>{K::RaiseInitializationSuccesful, K::RaiseError, K::Log, K::RaiseIncomingCall,
                              K::PlayRing, K::StartRingTimer, K::AskIncomingCall}));
    EXPECT_FALSE(e.OutCallInProcess); // "Call terminated" came before the question
    const auto b = e.AnswerIncomingCall(true);
    EXPECT_EQ(kinds(b), (std::vector<K>{K::StopRingTimer, K::RaiseIncomingCallAcepted, K::StopSound, K::Send,
                                        K::RaiseSIPEvent}));
    EXPECT_TRUE(e.SIPSucessfulyregistered);
    EXPECT_EQ(e.CallID_connected, "4\n"); // check 7 ran after the answer, with the same first id
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
    EXPECT_EQ(f.CallID_ringing, "1\n");
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
    EXPECT_EQ(sends(a), std::vector<std::string>{"register sip:101@127.0.0.1 127.0.0.1 secret"});
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
    EXPECT_TRUE(sends(e.Command("answer")).empty());
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
    EXPECT_EQ(sends(a), std::vector<std::string>{"answer"});
    EXPECT_FALSE(e.SIPSucessfulyregistered);
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
    EXPECT_EQ(MaskSecrets("call sip:YOXPanel@1.2.3.4\r\n"), "call sip:YOXPanel@1.2.3.4\r\n");
    TSecretMasker m;
    std::string shown;
    for (const char* piece : {"linphonec> r", "egister sip:101", "@127.0.0.1 127.0.0.1 se", "cret",
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
