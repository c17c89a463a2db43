#include "sip/LinphoneControlComponent.h"

#include "SipTestSupport.h"
#include "support/TestEnv.h"

#include <QMessageBox>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* DefaultScript =
    "start Ready\\n\n"
    "on call sip:YOXPanel@127.0.0.1 => Establishing call id to sip:YOXPanel@127.0.0.1, assigned id 1\\r\\n\n"
    "on  register sip:101@127.0.0.1 127.0.0.1 good => Registration on sip:127.0.0.1 successful\\n\n"
    "on  register sip:101@127.0.0.1 127.0.0.1 bad => Registration on sip:127.0.0.1 failed\\n\n"
    "on terminate => Call terminated\\n\n";

const std::string Incoming = "Receiving new incoming call from sip:door@127.0.0.1, assigned id 2\r\n";

LinphoneControlTimings fast() {
    LinphoneControlTimings t;
    t.initializationMs = 20;
    t.quitTimeoutMs = 1000;
    t.toneMs = 50;
    t.thread.outputStepMs = 30;
    return t;
}

class Desk : public ::testing::Test {
protected:
    void SetUp() override {
        if (!siptest::isolated()) GTEST_SKIP() << "needs a private network and PID namespace";
    }

    void start(const std::string& script = DefaultScript, LinphoneControlTimings t = fast()) {
        standin = std::make_unique<siptest::StandIn>(script);
        ctl = std::make_unique<TLinphoneControl>(nullptr, t);
        ctl->LogEvent = [this](const std::string& s) { logs.push_back(s); };
        ctl->OnInitializationSuccesful = [this] { ++initialized; };
        ctl->OnIncomingCall = [this] { ++incoming; };
        ctl->OnIncomingCallAcepted = [this](const std::string& s) { accepted.push_back(s); };
        ctl->OnError = [this](const std::string& s) { errors.push_back(s); };
        ctl->OnSIPEvent = [this](const std::string& s) { sipEvents.push_back(s); };
        ASSERT_TRUE(testenv::waitUntil([&] { return initialized > 0; }));
    }
    bool sent(const std::vector<std::string>& expected, int ms = 3000) {
        return testenv::waitUntil([&] { return standin->commands() == expected; }, ms);
    }
    bool logged(const std::string& line) const {
        return std::find(logs.begin(), logs.end(), line) != logs.end();
    }

    std::unique_ptr<siptest::StandIn> standin;
    std::vector<std::string> logs, accepted, errors, sipEvents;
    int initialized = 0, incoming = 0;
    std::unique_ptr<TLinphoneControl> ctl; // last: it still logs while it goes
};

} // namespace

TEST_F(Desk, StartsTheClientAndCallsOutAndEnds) {
    start();
    EXPECT_TRUE(logged("LINPHONE: Start linphone thread. "));
    EXPECT_TRUE(logged("LINPHONE: LINPHONE_THREAD: starting linphonec "));
    ctl->vratnikIP = "127.0.0.1";
    ctl->CallButtonClick();
    ASSERT_TRUE(sent({"", "call sip:YOXPanel@127.0.0.1"}));
    ASSERT_TRUE(testenv::waitUntil([&] { return ctl->CallID_connected() == "1"; }));
    EXPECT_TRUE(ctl->OutCallInProcess());
    ctl->CallButtonClick();
    ASSERT_TRUE(sent({"", "call sip:YOXPanel@127.0.0.1", "terminate"}));
    EXPECT_FALSE(ctl->OutCallInProcess());
}

TEST_F(Desk, RegistrationReportsAndTheServerCallJoinsPrefixAndNumber) {
    start();
    ctl->PSendCommandToLinphone("register sip:101@127.0.0.1 127.0.0.1 bad");
    ASSERT_TRUE(testenv::waitUntil([&] { return sipEvents.size() == 1; }));
    EXPECT_NE(sipEvents[0].find("failed"), std::string::npos);
    EXPECT_FALSE(ctl->SIPSucessfulyregistered());
    EXPECT_TRUE(logged("LINPHONE: LINPHONE_THREAD: >>> register sip:101@127.0.0.1 127.0.0.1 ***\r\n"));

    ctl->PSendCommandToLinphone("register sip:101@127.0.0.1 127.0.0.1 good");
    ASSERT_TRUE(testenv::waitUntil([&] { return ctl->SIPSucessfulyregistered(); }));
    ctl->CallPrefix = "0";
    ctl->SIPaddres = "102";
    ctl->CallButtonClick();
    ASSERT_TRUE(sent({"", " register sip:101@127.0.0.1 127.0.0.1 bad",
                      " register sip:101@127.0.0.1 127.0.0.1 good", "call 0102"}));
    for (const auto& l : logs) {
        EXPECT_EQ(l.find(" bad"), std::string::npos) << l;
        EXPECT_EQ(l.find(" good"), std::string::npos) << l;
    }
}

TEST_F(Desk, UnansweredCallIsRefusedWhenTheRingTimeRunsOut) {
    auto t = fast();
    t.evaluation.ringExtraMs = 300;
    start(DefaultScript, t);
    ctl->TimeBeforeCall = 0;
    QMessageBox* shown = nullptr;
    ctl->OnQuestionShown = [&](QMessageBox* box) { shown = box; };
    standin->say(Incoming);
    ASSERT_TRUE(sent({"", "terminate 2"}));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->text(), "Receive incoming Call ?");
    EXPECT_EQ(incoming, 1);
    EXPECT_TRUE(accepted.empty());
    EXPECT_FALSE(ctl->RingTimer->isActive());
    EXPECT_EQ(ctl->IncomingCallQuestion(), nullptr);
    EXPECT_EQ(ctl->CallID_ringing(), "");
}

TEST_F(Desk, RingTimeIsTimeBeforeCallPlusTenSeconds) {
    start();
    ctl->TimeBeforeCall = 25;
    int interval = 0;
    bool active = false;
    ctl->OnQuestionShown = [&](QMessageBox* box) {
        interval = ctl->RingTimer->interval();
        active = ctl->RingTimer->isActive();
        box->done(QMessageBox::No);
    };
    standin->say(Incoming);
    ASSERT_TRUE(sent({"", "terminate 2"}));
    EXPECT_EQ(interval, 35000);
    EXPECT_TRUE(active);
    EXPECT_FALSE(ctl->RingTimer->isActive());
}

TEST_F(Desk, TakingACallWhileCallingOutEndsTheOutgoingCallFirst) {
    start();
    ctl->vratnikIP = "127.0.0.1";
    ctl->CallButtonClick();
    ASSERT_TRUE(testenv::waitUntil([&] { return ctl->CallID_connected() == "1"; }));
    ctl->OnQuestionShown = [&](QMessageBox* box) { box->done(QMessageBox::Yes); };
    standin->say(Incoming);
    ASSERT_TRUE(sent({"", "call sip:YOXPanel@127.0.0.1", "terminate 1", "answer"}));
    ASSERT_EQ(accepted.size(), 1u);
    EXPECT_NE(accepted[0].find("sip:door@127.0.0.1"), std::string::npos);
    EXPECT_TRUE(ctl->InCallInProcess());
    EXPECT_FALSE(ctl->OutCallInProcess());
    EXPECT_EQ(ctl->CallID_connected(), "2");
    // The call button now ends the incoming call.
    ctl->CallButtonClick();
    ASSERT_TRUE(sent({"", "call sip:YOXPanel@127.0.0.1", "terminate 1", "answer", "terminate"}));
    EXPECT_FALSE(ctl->InCallInProcess());
}

TEST_F(Desk, TakenPortIsReported) {
    start();
    standin->say("Could not start UDP transport on port 5060\n");
    ASSERT_TRUE(testenv::waitUntil([&] { return !errors.empty(); }));
    EXPECT_TRUE(testenv::waitUntil(
        [&] { return logged("LINPHONE: Error 99: \"Could not start UDP transport on port 5060\" "); }));
}

TEST_F(Desk, CommandBeforeTheClientExistsIsAnError) {
    standin = std::make_unique<siptest::StandIn>(DefaultScript);
    auto t = fast();
    t.initializationMs = 60000;
    TLinphoneControl c(nullptr, t);
    c.LogEvent = [this](const std::string& s) { logs.push_back(s); };
    c.CallButtonClick();
    EXPECT_TRUE(logged("LINPHONE: error 2714: .CallButtonClick "));
    EXPECT_FALSE(c.OutCallInProcess());
    EXPECT_THROW(c.PSendCommandToLinphone("unregister"), EInOutError);
}

TEST_F(Desk, LeftoverClientIsKilledBeforeTheClientStartsAndTheClientQuitsAtTheEnd) {
    standin = std::make_unique<siptest::StandIn>(DefaultScript);
    int keepOpen[2];
    ASSERT_EQ(::pipe(keepOpen), 0);
    const pid_t leftover = ::fork();
    if (leftover == 0) {
        ::dup2(keepOpen[0], 0);
        ::execlp("linphonec", "linphonec", nullptr);
        ::_exit(127);
    }
    ASSERT_TRUE(testenv::waitUntil([&] { return siptest::alive(leftover) && standin->pid() == leftover; }));
    {
        TLinphoneControl c(nullptr, fast());
        c.LogEvent = [this](const std::string& s) { logs.push_back(s); };
        ASSERT_TRUE(testenv::waitUntil([&] { return c.LinphoneThread && c.LinphoneThread->ClientPid != 0; }));
        EXPECT_FALSE(siptest::alive(leftover));
        ASSERT_GE(logs.size(), 4u);
        EXPECT_EQ(std::vector<std::string>(logs.begin(), logs.begin() + 4),
                  (std::vector<std::string>{"LINPHONE: linphonec.exe found. try to kill it. ",
                                            "LINPHONE: killed linphonec, pid " + std::to_string(leftover),
                                            "LINPHONE: linphonec.exe succesfuly killed.",
                                            "LINPHONE: Start linphone thread. "}));
        logs.clear();
    }
    siptest::stop(leftover);
    ::close(keepOpen[0]);
    ::close(keepOpen[1]);
    // It left by itself after "quit": nothing had to be killed.
    EXPECT_EQ(standin->commands().back(), "quit");
    EXPECT_FALSE(logged("LINPHONE: linphonec.exe found. try to kill it. "));
}

TEST_F(Desk, ClientThatIgnoresQuitIsKilledAfterTheTimeOut) {
    standin = std::make_unique<siptest::StandIn>(std::string(DefaultScript) + "ignore-quit\n");
    pid_t client = 0;
    {
        TLinphoneControl c(nullptr, fast());
        c.LogEvent = [this](const std::string& s) { logs.push_back(s); };
        ASSERT_TRUE(testenv::waitUntil([&] { return standin->pid() > 0; }));
        client = standin->pid();
    }
    EXPECT_EQ(standin->commands().back(), "quit");
    EXPECT_TRUE(logged("LINPHONE: linphonec.exe found. try to kill it. "));
    EXPECT_TRUE(logged("LINPHONE: linphonec.exe succesfuly killed."));
    EXPECT_FALSE(siptest::alive(client));
}

TEST_F(Desk, ClientRunsInItsPrivateHome) {
    const std::string home = testenv::makeTempDir("data") + "/linphone-home";
    std::filesystem::create_directories(home);
    ::chmod(home.c_str(), 0755);
    testenv::writeFile(home + "/.linphonerc", "[sip]\nsip_port=1\n");
    standin = std::make_unique<siptest::StandIn>(DefaultScript);
    TLinphoneControl c(nullptr, fast());
    c.ClientHome = home;
    ASSERT_TRUE(testenv::waitUntil([&] { return !testenv::readFile(standin->dir + "/env").empty(); }));
    EXPECT_EQ(testenv::readFile(standin->dir + "/env"),
              home + "\n" + home + "/.config\n" + home + "/.local/share\n");
    struct stat st {};
    ASSERT_EQ(::stat(home.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(std::filesystem::is_directory(home + "/.local/share/linphone"));
    EXPECT_FALSE(std::filesystem::exists(home + "/.linphonerc"));
}

namespace {

// A client of someone: the stand-in with that HOME, current folder and user,
// its input held open so that it stays.
struct OtherClient {
    pid_t pid = 0;
    int input[2] = {-1, -1};
    std::string dir;

    OtherClient(const std::string& home, const std::string& cwd, uid_t user) {
        dir = testenv::makeTempDir("other");
        if (::pipe(input) != 0) return;
        const std::string program = std::string(VN_STANDIN_PATH);
        pid = ::fork();
        if (pid == 0) {
            ::dup2(input[0], 0);
            ::setenv("HOME", home.c_str(), 1);
            ::setenv("VN_STANDIN_DIR", dir.c_str(), 1);
            if (::chdir(cwd.c_str()) != 0) ::_exit(126);
            if (user != ::getuid() && ::setuid(user) != 0) ::_exit(126);
            ::execl(program.c_str(), "linphonec", nullptr);
            ::_exit(127);
        }
    }
    ~OtherClient() {
        siptest::stop(pid);
        ::close(input[0]);
        ::close(input[1]);
    }
    // It runs the stand-in under the name linphonec (the fork before the exec has another name).
    bool started() const {
        return testenv::readFile("/proc/" + std::to_string(pid) + "/cmdline") == std::string("linphonec\0", 10);
    }
};

} // namespace

// Clients named linphonec are ended at the start and at the close only when
// they are this user's and run in our client home (as HOME or current folder).
TEST_F(Desk, OnlyOurOwnLeftoverClientsAreEnded) {
    const std::string home = testenv::makeTempDir("data") + "/linphone-home";
    const std::string other = testenv::makeTempDir("otherhome");
    std::filesystem::create_directories(home);
    standin = std::make_unique<siptest::StandIn>(std::string(DefaultScript) + "ignore-quit\n");
    struct Case {
        const char* what;
        std::string home, cwd;
        uid_t user;
        bool ours;
    };
    std::vector<Case> cases = {
        {"our home", home, "/", ::getuid(), true},
        {"our home with a slash", home + "/", "/", ::getuid(), true},
        {"our home as its folder", other, home, ::getuid(), true},
        {"another home", other, other, ::getuid(), false},
        {"a home below ours", home + "/x", "/", ::getuid(), false},
    };
    if (::getuid() == 0) cases.push_back({"another user in our home", home, "/", 65534, false});
    std::vector<std::unique_ptr<OtherClient>> clients;
    for (const auto& c : cases)
        clients.push_back(std::make_unique<OtherClient>(c.home, c.cwd, c.user));
    for (size_t i = 0; i < cases.size(); ++i)
        ASSERT_TRUE(testenv::waitUntil([&] { return clients[i]->started(); })) << cases[i].what;

    pid_t ownClient = 0;
    {
        TLinphoneControl c(nullptr, fast());
        c.ClientHome = home;
        c.LogEvent = [this](const std::string& s) { logs.push_back(s); };
        ASSERT_TRUE(testenv::waitUntil([&] { return c.LinphoneThread && c.LinphoneThread->ClientPid != 0; }));
        ownClient = c.LinphoneThread->ClientPid;
        for (size_t i = 0; i < cases.size(); ++i) {
            EXPECT_EQ(siptest::alive(clients[i]->pid), !cases[i].ours) << cases[i].what;
            EXPECT_EQ(logged("LINPHONE: killed linphonec, pid " + std::to_string(clients[i]->pid)),
                      cases[i].ours)
                << cases[i].what;
        }
    }
    // At the close our client ignored "quit": it alone was ended.
    EXPECT_TRUE(logged("LINPHONE: killed linphonec, pid " + std::to_string(ownClient)));
    EXPECT_FALSE(siptest::alive(ownClient));
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(siptest::alive(clients[i]->pid), !cases[i].ours) << cases[i].what;
}
