// The desk's controller with Debian's real linphonec, against a second
// linphonec as the door phone and kamailio as the registrar, all on loopback.
#include "sip/LinphoneControlComponent.h"

#include "SipTestSupport.h"
#include "support/TestEnv.h"

#include <QMessageBox>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool installed(const char* program) {
    return std::system((std::string("command -v ") + program + " > /dev/null 2>&1").c_str()) == 0;
}

// The door phone's side: a real linphonec on 127.0.0.1:5071 with its own home.
class DoorPeer {
public:
    DoorPeer() {
        home_ = testenv::makeTempDir("door");
        std::filesystem::create_directories(home_ + "/.local/share/linphone");
        testenv::writeFile(home_ + "/.linphonerc",
                           "[sip]\nsip_port=5071\nsip_tcp_port=0\nsip_tls_port=0\nbind_address=127.0.0.1\n"
                           "ipv6_migration_done=1\nuse_ipv6=0\nguess_hostname=0\ncontact=sip:door@127.0.0.1\n"
                           "[rtp]\naudio_rtp_port=7110\nvideo_rtp_port=9110\ntext_rtp_port=11110\n"
                           "bind_address=127.0.0.1\n"
                           "[video]\ncapture=0\ndisplay=0\nautomatically_initiate=0\n");
        thread_ = std::make_shared<TLinphoneThread>();
        thread_->Environment = environmentWith(ClientHomeVariables(home_));
        thread_->timings.outputStepMs = 50;
        auto out = out_;
        thread_->OnResponseEvent = [out](const std::string& s) {
            std::lock_guard l(out->m);
            out->text += s;
        };
        TLinphoneThread::Start(thread_);
    }
    ~DoorPeer() {
        try {
            thread_->WriteToInputPipe("quit");
        } catch (...) {
        }
        testenv::waitUntil([&] { return thread_->Ended.load(); }, 3000);
        if (!thread_->Ended) siptest::stop(thread_->ClientPid);
    }
    void send(const std::string& cmd) { thread_->WriteToInputPipe(cmd); }
    bool saw(const std::string& fragment, int ms = 8000) {
        return testenv::waitUntil(
            [&] {
                std::lock_guard l(out_->m);
                return out_->text.find(fragment) != std::string::npos;
            },
            ms);
    }

private:
    struct Output {
        std::mutex m;
        std::string text;
    };
    std::string home_;
    std::shared_ptr<Output> out_ = std::make_shared<Output>();
    std::shared_ptr<TLinphoneThread> thread_;
};

class RealClient : public ::testing::Test {
protected:
    void SetUp() override {
        if (!siptest::isolated()) GTEST_SKIP() << "needs a private network and PID namespace";
        if (!installed("linphonec")) GTEST_SKIP() << "linphonec is not installed";
        makeDesk();
    }
    void makeDesk(LinphoneControlTimings t = {}) {
        desk.reset();
        initialized = 0;
        t.thread.outputStepMs = 50;
        desk = std::make_unique<TLinphoneControl>(nullptr, t);
        desk->ClientHome = testenv::makeTempDir("data") + "/linphone-home";
        desk->LogEvent = [this](const std::string& s) {
            logs.push_back(s);
            if (std::getenv("VN_SIP_TRACE")) std::fprintf(stderr, "%s\n", s.c_str());
        };
        desk->OnInitializationSuccesful = [this] { ++initialized; };
        desk->OnIncomingCallAcepted = [this](const std::string& s) { accepted.push_back(s); };
        desk->OnSIPEvent = [this](const std::string& s) { sipEvents.push_back(s); };
        desk->OnQuestionShown = [](QMessageBox* box) { box->done(QMessageBox::Yes); };
        ASSERT_TRUE(testenv::waitUntil([&] { return initialized > 0; }, 5000));
    }
    void TearDown() override {
        door.reset();
        desk.reset();
        siptest::stop(registrar);
    }
    void startRegistrar() {
        if (!installed("kamailio")) GTEST_SKIP() << "kamailio is not installed";
        const std::string dir = testenv::makeTempDir("kamailio");
        testenv::writeFile(dir + "/kamailio.cfg", R"(#!KAMAILIO
debug=1
log_stderror=yes
children=1
listen=udp:127.0.0.1:5060
alias="127.0.0.1:5060"
dns=no
rev_dns=no
auto_aliases=no
loadmodule "tm.so"
loadmodule "sl.so"
loadmodule "rr.so"
loadmodule "pv.so"
loadmodule "maxfwd.so"
loadmodule "textops.so"
loadmodule "siputils.so"
loadmodule "xlog.so"
loadmodule "usrloc.so"
loadmodule "registrar.so"
loadmodule "auth.so"
modparam("usrloc", "db_mode", 0)
modparam("registrar", "gruu_enabled", 0)
request_route {
  if (!mf_process_maxfwd_header("10")) { sl_send_reply("483", "Too Many Hops"); exit; }
  if (is_method("REGISTER")) {
    if (!pv_www_authenticate("$td", "secret", "0")) { www_challenge("$td", "0"); exit; }
    if (!save("location")) sl_reply_error();
    exit;
  }
  if (has_totag()) {
    if (loose_route()) {
      if (uri == myself) lookup("location");
      t_relay();
      exit;
    }
    if (is_method("ACK")) { if (t_check_trans()) t_relay(); exit; }
    if (uri == myself) lookup("location");
    t_relay();
    exit;
  }
  if (is_method("CANCEL")) { if (t_check_trans()) t_relay(); exit; }
  if (is_method("INVITE")) record_route();
  if (uri == myself) {
    if (!lookup("location")) { sl_send_reply("404", "Not Found"); exit; }
  }
  t_relay();
}
)");
        registrar =
            siptest::spawn({"kamailio", "-f", dir + "/kamailio.cfg", "-DD", "-E", "-n", "1", "-Y", dir});
        testenv::spin(300);
        ASSERT_TRUE(siptest::alive(registrar));
        // The registrar holds 5060 on this machine: the desk's client moves aside.
        desk->PSendCommandToLinphone("ports sip 5062");
    }
    bool deskSaw(const std::string& fragment, int ms = 8000) {
        return testenv::waitUntil(
            [&] {
                for (const auto& l : logs)
                    if (l.find(fragment) != std::string::npos) return true;
                return false;
            },
            ms);
    }
    bool idle() const { return !desk->InCallInProcess() && !desk->OutCallInProcess(); }

    std::vector<std::string> logs, accepted, sipEvents;
    int initialized = 0;
    pid_t registrar = 0;
    std::unique_ptr<TLinphoneControl> desk; // after what it logs into
    std::unique_ptr<DoorPeer> door;
};

} // namespace

TEST_F(RealClient, DoorPhoneCallsTheDeskWhichTakesItAndTheDoorEndsIt) {
    door = std::make_unique<DoorPeer>();
    ASSERT_TRUE(door->saw("linphonec> "));
    door->send("call sip:desk@127.0.0.1:5060");
    ASSERT_TRUE(testenv::waitUntil([&] { return !accepted.empty(); }, 10000));
    // The announcing line alone, without the standard-error lines around it.
    EXPECT_EQ(accepted[0], "Receiving new incoming call from sip:door@127.0.0.1, assigned id 1");
    EXPECT_TRUE(desk->InCallInProcess());
    ASSERT_TRUE(door->saw("connected."));
    door->send("terminate");
    ASSERT_TRUE(testenv::waitUntil([&] { return idle(); }, 8000));
    EXPECT_TRUE(deskSaw("ended ("));
}

TEST_F(RealClient, DeskCallsTheDoorPhoneDirectly) {
    door = std::make_unique<DoorPeer>();
    ASSERT_TRUE(door->saw("linphonec> "));
    desk->vratnikIP = "127.0.0.1:5071";
    desk->CallButtonClick();
    ASSERT_TRUE(door->saw("Receiving new incoming call from"));
    // The door may see the call before the desk's next output step reads the id line.
    EXPECT_TRUE(testenv::waitUntil([&] { return desk->CallID_connected() == "1"; }, 3000))
        << desk->CallID_connected();
    door->send("answer");
    ASSERT_TRUE(deskSaw("connected."));
    EXPECT_TRUE(desk->OutCallInProcess());
    desk->CallButtonClick(); // ends it
    ASSERT_TRUE(door->saw("ended ("));
    EXPECT_TRUE(testenv::waitUntil([&] { return idle(); }, 8000));
}

TEST_F(RealClient, RegistersAndCallsTheDoorPhoneByNumberThroughTheRegistrar) {
    startRegistrar();
    desk->PSendCommandToLinphone("register sip:101@127.0.0.1 127.0.0.1 secret");
    ASSERT_TRUE(testenv::waitUntil([&] { return !sipEvents.empty(); }, 6000));
    EXPECT_EQ(sipEvents[0], "Registration on sip:127.0.0.1 successful.");
    EXPECT_TRUE(desk->SIPSucessfulyregistered());
    for (const auto& l : logs)
        EXPECT_EQ(l.find("secret"), std::string::npos) << l;

    door = std::make_unique<DoorPeer>();
    ASSERT_TRUE(door->saw("linphonec> "));
    door->send("register sip:0102@127.0.0.1 127.0.0.1 secret");
    bool registered = false;
    for (int i = 0; i < 15 && !registered; ++i) {
        door->send("status register");
        registered = door->saw("registered, identity=sip:0102@127.0.0.1", 300);
    }
    ASSERT_TRUE(registered);
    desk->CallPrefix = "0";
    desk->SIPaddres = "102";
    desk->CallButtonClick();
    ASSERT_TRUE(deskSaw(">>>call 0102\r\n"));
    ASSERT_TRUE(door->saw("Receiving new incoming call from"));
    door->send("answer");
    ASSERT_TRUE(deskSaw("connected."));
    desk->CallButtonClick();
    ASSERT_TRUE(door->saw("ended ("));

    // The client keeps its command history in its home: without the register line.
    const std::string history = desk->ClientHome + "/.linphonec_history";
    desk.reset();
    EXPECT_NE(testenv::readFile(history).find("call 0102"), std::string::npos) << testenv::readFile(history);
    EXPECT_EQ(testenv::readFile(history).find("secret"), std::string::npos) << testenv::readFile(history);
}

// A registration nobody answers is followed for long; the door phone's call
// is taken meanwhile, not after the registration's outcome.
TEST_F(RealClient, TakingACallDoesNotWaitForARegistration) {
    LinphoneControlTimings t;
    t.evaluation.registrationPollTries = 1000000;
    makeDesk(t);
    desk->PSendCommandToLinphone("register sip:101@127.0.0.9 127.0.0.9 secret"); // nobody there
    ASSERT_TRUE(deskSaw(">>>status register"));
    door = std::make_unique<DoorPeer>();
    ASSERT_TRUE(door->saw("linphonec> "));
    door->send("call sip:desk@127.0.0.1:5060");
    ASSERT_TRUE(door->saw("connected.", 10000));
    EXPECT_TRUE(desk->InCallInProcess());
    EXPECT_TRUE(desk->Evaluator().RegistrationTracking());
    door->send("terminate");
    ASSERT_TRUE(testenv::waitUntil([&] { return idle(); }, 8000));
}

TEST_F(RealClient, WrongPasswordIsReportedAndNoCommandIsEatenAsAPassword) {
    startRegistrar();
    door = std::make_unique<DoorPeer>();
    ASSERT_TRUE(door->saw("linphonec> "));
    desk->PSendCommandToLinphone("register sip:101@127.0.0.1 127.0.0.1 wrong");
    // Pressed while the client is about to ask for a password: held, then sent.
    desk->vratnikIP = "127.0.0.1:5071";
    desk->CallButtonClick();
    ASSERT_TRUE(testenv::waitUntil([&] { return !sipEvents.empty(); }, 6000));
    EXPECT_EQ(sipEvents[0], "Registration on sip:127.0.0.1 failed.");
    EXPECT_FALSE(desk->SIPSucessfulyregistered());
    ASSERT_TRUE(door->saw("Receiving new incoming call from", 10000));
    EXPECT_TRUE(deskSaw(">>>call sip:YOXPanel@127.0.0.1:5071\r\n"));
    for (const auto& l : logs)
        EXPECT_EQ(l.find("wrong"), std::string::npos) << l;
}

TEST_F(RealClient, TakenPortShowsOnlyOnStandardErrorAndIsReported) {
    desk.reset(); // its client held 5060
    const int holder = ::socket(AF_INET6, SOCK_DGRAM, 0);
    ASSERT_GE(holder, 0);
    const int off = 0;
    ::setsockopt(holder, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    any.sin6_port = htons(5060);
    any.sin6_addr = in6addr_any;
    ASSERT_TRUE(testenv::waitUntil(
        [&] { return ::bind(holder, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0; }, 3000));
    std::vector<std::string> errors;
    logs.clear();
    {
        TLinphoneControl c(nullptr, LinphoneControlTimings{});
        c.ClientHome = testenv::makeTempDir("data2") + "/linphone-home";
        c.LogEvent = [this](const std::string& s) { logs.push_back(s); };
        c.OnError = [&](const std::string& s) { errors.push_back(s); };
        ASSERT_TRUE(testenv::waitUntil([&] { return !errors.empty(); }, 8000));
    }
    ::close(holder);
    EXPECT_NE(errors[0].find("Could not start UDP transport on port 5060"), std::string::npos);
    EXPECT_NE(errors[0].find("bind() failed"), std::string::npos);
    EXPECT_TRUE(deskSaw("LINPHONE: Error 99: \"Could not start UDP transport on port 5060\" ", 0));
}
