// The main window's SIP side against the scripted stand-in client.
#include "../sip/IncomingPieces.h"
#include "../sip/SipTestSupport.h"
#include "app/EventLog.h"
#include "app/MainForm.h"
#include "app/SettingsStore.h"
#include "doorphone/GuardPanel.h"
#include "sip/LinphoneControlComponent.h"
#include "support/TestEnv.h"

#include <QMessageBox>
#include <algorithm>
#include <functional>
#include <QPixmap>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const char* Script = "start Ready\\n\n"
                     "on  register sip:* => Registration on sip:127.0.0.1 successful\\n\n";

class MainFormSip : public ::testing::Test {
protected:
    void SetUp() override {
        if (!siptest::isolated()) GTEST_SKIP() << "needs a private network and PID namespace";
        ASSERT_EQ(::chdir(testenv::assetsDir().c_str()), 0);
        standin = std::make_unique<siptest::StandIn>(Script);
        store = std::make_unique<TSettingsStore>(testenv::makeTempDir());
        store->SetText("DoorPhoneIP1Text", "127.0.0.25");
        store->SetText("DoorPhoneIP2Text", "127.0.0.250");
        store->SetText("DoorPhoneIP3Text", "127.0.0.3");
        store->SetText("DoorPhoneIP4Text", "127.0.0.4");
        store->SetChecked("CheckBox2", true);
        store->SetText("SipServerAdressText", "127.0.0.1");
        store->SetText("SipProxyAdressText", "127.0.0.1");
        store->SetText("MyPasswordText", "secret");
        store->SetText("CallPrefixText", "9");
    }
    void TearDown() override {
        if (form) form->SettingsForm = nullptr;
        form.reset();
    }
    void makeForm() {
        form = std::make_unique<TForm2>();
        form->SettingsForm = store.get();
        for (auto* p : form->GuardPanels)
            p->PingEchoOverride = [](const std::string&, int) { return false; };
    }
    bool logged(const std::string& text) const {
        std::string all = testenv::readFile(DataFolder() + LogFileName);
        return all.find("\t\"" + text + "\"\r\n") != std::string::npos;
    }
    bool received(const std::string& command) const {
        for (const auto& c : standin->commands())
            if (c == command) return true;
        return false;
    }

    std::unique_ptr<siptest::StandIn> standin;
    std::unique_ptr<TSettingsStore> store;
    std::unique_ptr<TForm2> form;
};

} // namespace

TEST_F(MainFormSip, SipServerModeRegistersTwoSecondsAfterStartUp) {
    store->SetItemIndex(1);
    makeForm();
    ASSERT_TRUE(testenv::waitUntil([&] { return form->SipMode; }, 3000));
    EXPECT_EQ(form->LinphoneControl1->CallPrefix, "9");
    EXPECT_TRUE(form->SIPInitializationTimer->isActive());
    ASSERT_TRUE(
        testenv::waitUntil([&] { return received(" register sip:101@127.0.0.1 127.0.0.1 secret"); }, 4000));
    EXPECT_FALSE(logged("LINPHONE: >>> register sip:101@127.0.0.1 127.0.0.1 secret"))
        << "the password is masked";
    EXPECT_TRUE(testenv::waitUntil(
        [&] { return form->LogMemo->toPlainText().contains("linphone initialization successful."); }, 2000));
}

TEST_F(MainFormSip, PeerToPeerModeDialsTheDoorPhonesAddress) {
    makeForm();
    ASSERT_TRUE(
        testenv::waitUntil([&] { return !form->InitializeTimer->isActive() && standin->pid() != 0; }, 3000));
    testenv::spin(300);
    EXPECT_FALSE(form->SipMode);
    form->GuardPanel2->SIPNumber = "door2";
    form->GuardPanel2->CallButtonClick(form->GuardPanel2->IncomingCallButton);
    EXPECT_EQ(form->LinphoneControl1->vratnikIP, "127.0.0.250");
    EXPECT_EQ(form->LinphoneControl1->SIPaddres, "") << "only the target of the current mode is set";
    EXPECT_TRUE(testenv::waitUntil([&] { return received("call sip:YOXPanel@127.0.0.250"); }, 3000));
}

// A real piece of the client's output announcing a call from 127.0.0.21,
// taken through the controller: only that door phone's panel gets the call,
// not panels whose address or number appears elsewhere in the piece.
TEST_F(MainFormSip, AnAcceptedCallGoesToTheCallersPanelOnly) {
    store->SetText("DoorPhoneIP1Text", "127.0.0.21");
    store->SetText("DoorPhoneIP2Text", "127.0.0.2"); // a prefix of the caller's address
    store->SetText("DoorPhoneIP3Text", "127.0.0.1"); // the desk's own address, in the noise
    store->SetText("DoorPhoneIP4Text", "127.0.0.4");
    makeForm();
    ASSERT_TRUE(
        testenv::waitUntil([&] { return !form->InitializeTimer->isActive() && standin->pid() != 0; }, 3000));
    form->GuardPanel2->SIPNumber = "20"; // in every time stamp
    form->GuardPanel3->SIPNumber = "202";
    form->GuardPanel4->SIPNumber = "1";
    form->LinphoneControl1->OnQuestionShown = [](QMessageBox* box) { box->done(QMessageBox::Yes); };
    const QImage incoming = QPixmap("button_telefon_maly_zvoni_prichozi_hovor.png").toImage();
    const auto shows = [&](TGuardPanel* p) { return p->IncomingCallButton->pixmap().toImage() == incoming; };
    for (auto* p : form->GuardPanels)
        ASSERT_FALSE(shows(p));

    standin->say(sipfixture::IncomingPiece);
    ASSERT_TRUE(testenv::waitUntil([&] { return received("answer"); }, 5000));
    EXPECT_TRUE(shows(form->GuardPanel1));
    EXPECT_FALSE(shows(form->GuardPanel2));
    EXPECT_FALSE(shows(form->GuardPanel3));
    EXPECT_FALSE(shows(form->GuardPanel4));
}

TEST_F(MainFormSip, AnAcceptedCallFindsItsPanelByAddressOrByNumber) {
    makeForm();
    ASSERT_TRUE(testenv::waitUntil([&] { return !form->InitializeTimer->isActive(); }, 3000));
    form->GuardPanel3->SIPNumber = "door3";
    const QImage incoming = QPixmap("button_telefon_maly_zvoni_prichozi_hovor.png").toImage();
    const auto shows = [&](TGuardPanel* p) { return p->IncomingCallButton->pixmap().toImage() == incoming; };
    form->LinphoneControl1IncomingCallAcepted(
        "Receiving new incoming call from sip:door@127.0.0.250, assigned id 1");
    EXPECT_FALSE(shows(form->GuardPanel1)) << "127.0.0.25 is only part of it";
    EXPECT_TRUE(shows(form->GuardPanel2));
    EXPECT_FALSE(shows(form->GuardPanel3));
    EXPECT_FALSE(shows(form->GuardPanel4)) << "an empty value never matches";
    form->LinphoneControl1IncomingCallAcepted(
        "Receiving new incoming call from \"Door 3\" <sip:door3@127.0.0.9>, assigned id 2");
    EXPECT_TRUE(shows(form->GuardPanel3));
}

// The settings dialog's connection choice: entering server mode registers 2 s
// later, leaving it unregisters at once, and the label names the mode.
TEST_F(MainFormSip, SwitchingTheConnectionInTheDialog) {
    makeForm();
    ASSERT_TRUE(
        testenv::waitUntil([&] { return !form->InitializeTimer->isActive() && standin->pid() != 0; }, 3000));
    EXPECT_EQ(form->SIPModeLabel->text(), "P2P Mode");
    const auto count = [&](const std::string& command) {
        const auto commands = standin->commands();
        return std::count(commands.begin(), commands.end(), command);
    };
    const auto apply = [&](const std::function<void()>& edit) {
        const TSettingsStore before = *store;
        edit();
        form->ApplySettings(before);
    };

    apply([&] { store->SetItemIndex(1); });
    EXPECT_TRUE(form->SipMode);
    EXPECT_EQ(form->SIPModeLabel->text(), "SIP Server Mode");
    EXPECT_TRUE(form->SIPInitializationTimer->isActive());
    ASSERT_TRUE(
        testenv::waitUntil([&] { return received(" register sip:101@127.0.0.1 127.0.0.1 secret"); }, 4000));

    // A new password alone waits for the next entry into server mode.
    apply([&] { store->SetText("MyPasswordText", "other"); });
    EXPECT_FALSE(form->SIPInitializationTimer->isActive());

    apply([&] { store->SetItemIndex(0); });
    EXPECT_FALSE(form->SipMode);
    EXPECT_EQ(form->SIPModeLabel->text(), "P2P Mode");
    ASSERT_TRUE(testenv::waitUntil([&] { return received("unregister"); }, 3000));

    // In and out again before the registration was due: none is sent, and the
    // way out unregisters what the client may still hold.
    apply([&] { store->SetItemIndex(1); });
    apply([&] { store->SetItemIndex(0); });
    EXPECT_FALSE(form->SIPInitializationTimer->isActive());
    ASSERT_TRUE(testenv::waitUntil([&] { return count("unregister") == 2; }, 3000));
    EXPECT_EQ(count(" register sip:101@127.0.0.1 127.0.0.1 secret"), 1);
    EXPECT_EQ(count(" register sip:101@127.0.0.1 127.0.0.1 other"), 0);
}

TEST_F(MainFormSip, RegistrationFailureLogsTheLetterSAndPanelOnesTimeReachesTheController) {
    makeForm();
    form->LinphoneControl1SIPEvent("Registration on sip:127.0.0.1 failed");
    EXPECT_TRUE(logged("s"));
    form->GuardPanel1->TimeBeforeCall = 7;
    form->GuardPanel4->TimeBeforeCall = 99;
    form->TimeBeforeCall_TimerTimer();
    EXPECT_EQ(form->LinphoneControl1->TimeBeforeCall, 7);
    EXPECT_EQ(form->TimeBeforeCall_Timer->interval(), 10000);
    EXPECT_TRUE(form->TimeBeforeCall_Timer->isActive());
}

#include "sip/PortCheck.h"

#include <netinet/in.h>
#include <sys/socket.h>

TEST(PortCheck, ListingTable) {
    const std::string listing = "UNCONN 0 0 0.0.0.0:5061 0.0.0.0:* users:((\"other\",pid=11,fd=3))\n"
                                "UNCONN 0 0 127.0.0.1:5060 0.0.0.0:* users:((\"first\",pid=22,fd=3))\n"
                                "UNCONN 0 0 [::]:15060 [::]:* users:((\"near\",pid=33,fd=3))\n"
                                "UNCONN 0 0 0.0.0.0:5060 0.0.0.0:* users:((\"linphonec\",pid=44,fd=9))\n"
                                "UNCONN 0 0 0.0.0.0:40000 1.2.3.4:5060 users:((\"peer\",pid=55,fd=3))\n";
    using Pids = std::vector<pid_t>;
    EXPECT_EQ(ParsePortOwnerPids(listing, 5060), Pids{44}) << "the last line with the port decides";
    EXPECT_EQ(ParsePortOwnerPids(listing, 5061), Pids{11});
    EXPECT_EQ(ParsePortOwnerPids(listing, 7), Pids{});
    EXPECT_EQ(ParsePortOwnerPids(listing + "UNCONN 0 0 0.0.0.0:5060 0.0.0.0:*\n", 5060), Pids{})
        << "no process shown";
    EXPECT_EQ(ParsePortOwnerPids("UNCONN 0 0 [::]:5060 [::]:* users:((\"ss\",pid=7,fd=3),(\"a\",pid=1,fd=3))",
                                 5060),
              (Pids{7, 1}));
    EXPECT_EQ(ParsePortOwnerPids("", 5060), Pids{});
}

TEST(PortCheck, ReportsAnotherProgramOnceAndNeverTheDesksOwnClient) {
    struct Case {
        bool quiet;
        std::vector<std::string> owners; // answers of the successive looks
        int looks;
        std::string logged; // empty: nothing reported
    } cases[] = {
        {true, {"linphonec"}, 1, ""},
        {false, {"linphonec"}, 1, ""},
        {true, {""}, 1, ""},
        {false, {"", "", "", ""}, 4, "Unknown"},
        {false, {"", "skype"}, 2, "skype"},
        {true, {"skype"}, 1, "skype"},
    };
    for (const auto& c : cases) {
        TPortCheck check;
        check.RetryWaitMs = 1;
        int looks = 0;
        std::vector<std::string> lines, messages;
        check.Lookup = [&] {
            return c
                .owners[static_cast<size_t>(std::min<int>(looks++, static_cast<int>(c.owners.size()) - 1))];
        };
        check.WriteLog = [&](const std::string& l) { lines.push_back(l); };
        check.ShowError = [&](const std::string& m) { messages.push_back(m); };
        check.Check(c.quiet);
        EXPECT_EQ(looks, c.looks);
        if (c.logged.empty()) {
            EXPECT_TRUE(lines.empty() && messages.empty());
            EXPECT_FALSE(check.Reported()) << "a later port error is still reported";
        } else {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(
                lines[0],
                "LINPHONE: Error 99: \"Could not start UDP transport on port 5060\", Blocking program is: " +
                    c.logged);
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0],
                      "Could not start UDP transport on port 5060 (Voice). Blocking program is: " + c.logged +
                          " Please stop this program.");
            check.Check(false);
            EXPECT_EQ(lines.size(), 1u) << "reported once a run";
        }
    }
}

TEST(PortCheck, FindsTheProgramThatHoldsThePort) {
    if (!siptest::isolated()) GTEST_SKIP() << "needs a private network namespace (port 5060)";
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(5060);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(PortOwnerLookup(), "app_mainform_sip_tests");
    ::close(fd);
    EXPECT_EQ(PortOwnerLookup(), "");
}
