// What the main window does with the configuration after the settings dialog
// closed, against two simulated door phones on 127.0.0.1 and 127.0.0.2.
#include "MainFormSupport.h"
#include "app/MainForm.h"
#include "app/SettingsStore.h"
#include "doorphone-sim/Simulator.h"
#include "doorphone/GuardPanel.h"
#include "sip/LinphoneControlComponent.h"
#include "support/TestEnv.h"

#include <QPixmap>
#include <gtest/gtest.h>
#include <iostream>
#include <unistd.h>

namespace {

class MainFormSettings : public ::testing::Test {
protected:
    static doorphonesim::Config door(const char* address, const char* name) {
        doorphonesim::Config c;
        c.address = address;
        c.name = name;
        c.fps = 10;
        return c;
    }
    void SetUp() override {
        ASSERT_EQ(::chdir(testenv::assetsDir().c_str()), 0); // pictures load by bare name
        ASSERT_TRUE(simA.start());
        ASSERT_TRUE(simB.start());
        store = std::make_unique<TSettingsStore>(testenv::makeTempDir());
        store->SetText("DoorPhoneIP1Text", "127.0.0.1");
        store->SetText("DoorPhoneVideoPort1Text", std::to_string(simA.port()));
        store->SetText("DoorPhoneIP2Text", "127.0.0.2");
        store->SetText("DoorPhoneVideoPort2Text", std::to_string(simB.port()));
        form = std::make_unique<TForm2>();
        form->SettingsForm = store.get();
        form->show();
        form->InitializeTimerTimer(); // the settings reach the panels, which start
    }
    void TearDown() override {
        if (HasFailure())
            for (const auto& l : mainformtest::logTexts())
                std::cerr << "  log: " << l << "\n";
        form->SettingsForm = nullptr;
        form.reset();
    }
    // The panel shows the live video of the door phone of that name.
    bool watching(TGuardPanel* p, const std::string& name) const {
        return (p->GlobalDeviceState & 0xE) == 0xE && p->GuardNameLabel->text() == QString::fromStdString(" " + name + " ");
    }

    doorphonesim::Simulator simA{door("127.0.0.1", "Door A")};
    doorphonesim::Simulator simB{door("127.0.0.2", "Door B")};
    std::unique_ptr<TSettingsStore> store;
    std::unique_ptr<TForm2> form;
};

} // namespace

TEST_F(MainFormSettings, ANewAddressMovesThePanelToTheOtherDoorPhone) {
    TGuardPanel* p = form->GuardPanel1;
    ASSERT_TRUE(testenv::waitUntil([&] { return watching(p, "Door A"); }, 8000));

    const TSettingsStore before = *store;
    store->SetText("DoorPhoneIP1Text", "127.0.0.2");
    store->SetText("DoorPhoneVideoPort1Text", std::to_string(simB.port()));
    form->ApplySettings(before);

    EXPECT_EQ(p->GuardIP(), "127.0.0.2");
    ASSERT_TRUE(testenv::waitUntil([&] { return watching(p, "Door B"); }, 8000));
    EXPECT_TRUE(testenv::waitUntil([&] { return simA.openConnections() == 0; }, 5000))
        << "the old door phone's channels are closed";
    // A ring at the new door phone reaches the panel.
    const QImage ringing = QPixmap("button_Q7M_male_zvoni.png").toImage();
    simB.ring();
    EXPECT_TRUE(testenv::waitUntil([&] { return p->VratnikButton->pixmap().toImage() == ringing; }, 5000));
}

TEST_F(MainFormSettings, DoorPhoneTwoSwitchedOnIsWatchedAtOnceAndSwitchedOffStops) {
    ASSERT_TRUE(testenv::waitUntil([&] { return watching(form->GuardPanel1, "Door A"); }, 8000));
    EXPECT_EQ(form->size(), QSize(460, 375));
    EXPECT_EQ(simB.openConnections(), 0);

    TSettingsStore before = *store;
    store->SetChecked("CheckBox2", true);
    form->ApplySettings(before);
    EXPECT_EQ(form->size(), QSize(920, 375)) << "the two-panel window";
    EXPECT_TRUE(form->GuardPanel2->GuardEnable());
    EXPECT_TRUE(testenv::waitUntil([&] { return watching(form->GuardPanel2, "Door B"); }, 8000));

    before = *store;
    store->SetChecked("CheckBox2", false);
    form->ApplySettings(before);
    EXPECT_EQ(form->size(), QSize(460, 375));
    EXPECT_FALSE(form->GuardPanel2->GuardEnable());
    EXPECT_TRUE(testenv::waitUntil([&] { return simB.openConnections() == 0; }, 5000));
    EXPECT_TRUE(watching(form->GuardPanel1, "Door A")) << "door phone 1 is left alone";
}

TEST_F(MainFormSettings, OptionsReachEveryPanelAndTheCallPrefixTheController) {
    const TSettingsStore before = *store;
    store->SetChecked("SaveToAVI", true);
    store->SetChecked("SaveToJPG", true);
    store->SetText("JPGDirectory", "/tmp/snaps");
    store->SetText("CallPrefixText", "0#");
    form->ApplySettings(before);
    for (TGuardPanel* p : form->GuardPanels) {
        EXPECT_TRUE(p->AVIEnable());
        EXPECT_TRUE(p->JPGEnable());
        EXPECT_EQ(p->JPGDirectory(), "/tmp/snaps");
    }
    EXPECT_EQ(form->LinphoneControl1->CallPrefix, "0#");
}
