// The main window's SIP side against the scripted stand-in client.
#include "../sip/SipTestSupport.h"
#include "app/EventLog.h"
#include "app/MainForm.h"
#include "app/SettingsStore.h"
#include "doorphone/GuardPanel.h"
#include "sip/LinphoneControlComponent.h"
#include "support/TestEnv.h"

#include <QPixmap>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const char* Script = "start Ready\\n\n"
                     "on register sip:* => Registration on sip:127.0.0.1 successful\\n\n";

class MainFormSip : public ::testing::Test {
protected:
    void SetUp() override {
        if (!siptest::isolated()) GTEST_SKIP() << "needs a private network and PID namespace";
        ASSERT_EQ(::chdir(testenv::assetsDir().c_str()), 0);
        standin = std::make_unique<siptest::StandIn>(Script);
        store = std::make_unique<TSettingsStore>(testenv::makeTempDir());
        store->SetText("DoorPhoneIP1Text", "127.0.0.25");
        store->SetText("DoorPhoneIP2Text", "127.0.0.250");
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
        testenv::waitUntil([&] { return received("register sip:101@127.0.0.1 127.0.0.1 secret"); }, 4000));
    EXPECT_FALSE(logged("LINPHONE: >>>register sip:101@127.0.0.1 127.0.0.1 secret"))
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

TEST_F(MainFormSip, AnAcceptedCallGoesToEveryPanelWhoseAddressOrNumberItContains) {
    makeForm();
    ASSERT_TRUE(testenv::waitUntil([&] { return !form->InitializeTimer->isActive(); }, 3000));
    form->GuardPanel3->SIPNumber = "door3";
    const QImage incoming = QPixmap("button_telefon_maly_zvoni_prichozi_hovor.png").toImage();
    form->LinphoneControl1IncomingCallAcepted(
        "Receiving new incoming call from sip:door@127.0.0.250, assigned id 1");
    EXPECT_EQ(form->GuardPanel1->IncomingCallButton->pixmap().toImage(), incoming)
        << "127.0.0.25 is part of it";
    EXPECT_EQ(form->GuardPanel2->IncomingCallButton->pixmap().toImage(), incoming);
    EXPECT_NE(form->GuardPanel3->IncomingCallButton->pixmap().toImage(), incoming);
    EXPECT_NE(form->GuardPanel4->IncomingCallButton->pixmap().toImage(), incoming)
        << "an empty value never matches";
    form->LinphoneControl1IncomingCallAcepted(
        "Receiving new incoming call from sip:door3@127.0.0.9, assigned id 2");
    EXPECT_EQ(form->GuardPanel3->IncomingCallButton->pixmap().toImage(), incoming);
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
