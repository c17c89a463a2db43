#include "app/MainForm.h"
#include "MainFormSupport.h"
#include "app/EventLog.h"
#include "doorphone/GuardPanel.h"
#include "platform/Folders.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <gtest/gtest.h>
#include <sys/stat.h>

using mainformtest::logTexts;

TEST(MainForm, CreatesTheDataFolderAndWritesTheBannerFirst) {
    const std::string expected = std::string(std::getenv("XDG_DATA_HOME")) + "/VELNORA Manager/";
    TForm2 form;
    EXPECT_EQ(DataFolder(), expected);
    EXPECT_TRUE(platform::directoryExists(expected));
    auto lines = logTexts();
    ASSERT_GE(lines.size(), 13u);
    EXPECT_EQ(lines[0], std::string(40, '-'));
    EXPECT_EQ(lines[1], "---------- START NEW INSTANCE ----------");
    EXPECT_EQ(lines[2], "---------- VELNORA_Manager_3.6 ----------");
    EXPECT_EQ(lines[3], std::string(40, '-'));
    EXPECT_TRUE(lines[4].rfind("IP Address: ", 0) == 0 || lines[4] == "No. IP Address") << lines[4];
    const char* prefixes[] = {"OS Version = ",   "TotalPhys = ", "AvailPhys = ", "TotalVirtual = ",
                              "AvailVirtual = ", "DiskSize = ",  "DiskFree = "};
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(lines[5 + i].rfind(prefixes[i], 0), 0u) << lines[5 + i];
    EXPECT_EQ(lines[12], "DESIGN: set 1 window");
    EXPECT_EQ(form.width(), 460);
    EXPECT_EQ(form.height(), 375);
    EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(form.pos(), QPoint(100, 100));
    EXPECT_TRUE(form.InitializeTimer->isActive());
    EXPECT_TRUE(form.SIPcontrolTimer->isActive());
}

TEST(MainForm, CreatesAMissingApplicationDataFolderInsteadOfMovingElsewhere) {
    // A documents folder that exists is no reason to move: the next start, with
    // the data folder there, would read an empty folder and lose the settings.
    const std::string saved = std::getenv("XDG_DATA_HOME");
    const std::string docs = testenv::makeTempDir("docs");
    const std::string missing = testenv::makeTempDir("fresh") + "/share";
    const std::string userDirs = std::string(std::getenv("XDG_CONFIG_HOME")) + "/user-dirs.dirs";
    ::setenv("XDG_DATA_HOME", missing.c_str(), 1);
    testenv::writeFile(userDirs, "XDG_DOCUMENTS_DIR=\"" + docs + "\"\n");
    {
        TForm2 form;
        EXPECT_EQ(DataFolder(), missing + "/VELNORA Manager/");
        EXPECT_TRUE(platform::fileExists(missing + "/VELNORA Manager/" + LogFileName));
        struct stat st {};
        ASSERT_EQ(::stat(missing.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u) << "created private, as the XDG rules ask";
        EXPECT_FALSE(platform::directoryExists(docs + "/VELNORA Manager"));
    }
    ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    ::unlink(userDirs.c_str());
}

TEST(MainForm, RemovesTheStaleClientSettingsAtCreation) {
    const std::string home = std::string(std::getenv("XDG_DATA_HOME")) + "/VELNORA Manager/linphone-home";
    platform::createDirectories(home);
    testenv::writeFile(home + "/.linphonerc", "[sip]\n");
    TForm2 form;
    EXPECT_FALSE(platform::fileExists(home + "/.linphonerc"));
}

TEST(MainForm, LayoutsSizesAndClickAreas) {
    TForm2 form;
    struct Case {
        int n;
        int w, h;
        bool buttons;
        int settingsLeft;
        const char* line;
    } cases[] = {
        {1, 460, 375, true, 386, "DESIGN: set 1 window"},
        {2, 920, 375, false, 848, "DESIGN: set 2 windows"},
        {3, 920, 725, false, 848, "DESIGN: set 4 windows"},
        {7, 920, 725, false, 848, "DESIGN: set 4 windows"},
    };
    for (const auto& c : cases) {
        form.SetDesign(c.n);
        EXPECT_EQ(form.width(), c.w) << c.n;
        EXPECT_EQ(form.height(), c.h) << c.n;
        EXPECT_EQ(form.Tlacitka->isVisibleTo(&form), c.buttons) << c.n;
        EXPECT_EQ(form.SettingsImage->x(), c.settingsLeft) << c.n;
        EXPECT_EQ(form.MinimizeImage->x(), c.settingsLeft + 26) << c.n;
        EXPECT_EQ(form.CloseImage->x(), c.n == 1 ? 434 : 898) << c.n;
        // the close area lies inside the window
        EXPECT_LE(form.CloseImage->geometry().right(), c.w) << c.n;
        EXPECT_EQ(logTexts().back(), c.line);
    }
    form.SetDesign(3);
    form.show();
    EXPECT_FALSE(form.LogMemo->isVisible() && form.GuardPanel4->isVisible() &&
                 form.GuardPanel4->geometry().intersects(form.LogMemo->geometry()) &&
                 form.GuardPanel4->isHidden());
    EXPECT_TRUE(form.GuardPanel4->isVisible());
    form.LogImageSecretButtonClick();
    EXPECT_FALSE(form.GuardPanel4->isVisible()) << "the log under panel 4 shows";
    form.LogImageSecretButtonClick();
    EXPECT_TRUE(form.GuardPanel4->isVisible());
}

TEST(MainForm, MinimiseAndRestoreKeepEachPanelsVideoChoice) {
    TForm2 form;
    form.show();
    form.GuardPanel2->SetBringVideo(false);
    form.MinimizeImageClick();
    EXPECT_TRUE(form.IsMinimised());
    for (auto* p : form.GuardPanels)
        EXPECT_FALSE(p->BringVideo());
    form.OnIconMessage(516); // right button: nothing
    EXPECT_TRUE(form.IsMinimised());
    form.OnIconMessage(513);
    EXPECT_FALSE(form.IsMinimised());
    EXPECT_TRUE(form.GuardPanel1->BringVideo());
    EXPECT_FALSE(form.GuardPanel2->BringVideo());
    EXPECT_TRUE(form.GuardPanel3->BringVideo());
    EXPECT_TRUE(form.GuardPanel4->BringVideo());
    EXPECT_TRUE(form.isVisible()) << "never lost: without a tray it stays on the task bar";
    auto lines = logTexts();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Minimize Application"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Restore Application"), lines.end());
}

TEST(MainForm, CloseClearsTheSinksFirstThenWritesTheStopEntries) {
    auto* form = new TForm2;
    form->show();
    form->GuardPanel2->PanelLog("before close");
    form->CloseImageClick();
    form->GuardPanel2->PanelLog("after close");
    auto lines = logTexts();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], "YOX2: before close");
    EXPECT_EQ(lines[lines.size() - 3], "");
    EXPECT_EQ(lines[lines.size() - 2], "*************  STOP  *******************");
    EXPECT_EQ(lines[lines.size() - 1], "");
    delete form;
}

TEST(MainForm, ControlCharactersFromADeviceAreShownEscaped) {
    TForm2 form;
    using namespace std::string_literals;
    const std::string raw = "YOX1: EVENTS: \x1b[2J\x1b]0;x\x07\0\xc2\x9b"s + "1m";
    const std::string escaped = "YOX1: EVENTS: \\x1b[2J\\x1b]0;x\\x07\\x00\\xc2\\x9b1m";
    form.GuardPanel1->PanelLog(raw.substr(6));
    EXPECT_TRUE(form.LogMemo->toPlainText().endsWith(QString::fromStdString(": " + escaped)))
        << form.LogMemo->toPlainText().right(80).toStdString();
    EXPECT_EQ(logTexts().back(), escaped);
}

TEST(MainForm, LogMemoIsEmptiedByThe4001stLine) {
    TForm2 form;
    form.LogMemo->clear();
    for (int i = 0; i < 3999; ++i)
        form.LogMemo->appendPlainText("x");
    form.onLog("line 4000");
    EXPECT_EQ(form.LogMemo->blockCount(), 4000);
    EXPECT_TRUE(form.LogMemo->toPlainText().endsWith(": line 4000"));
    form.onLog("line 4001");
    EXPECT_TRUE(form.LogMemo->toPlainText().isEmpty());
    form.onLog("");
    EXPECT_TRUE(form.LogMemo->toPlainText().endsWith(": ")) << "an empty entry shows the time and ': '";
}

#include "app/SettingsStore.h"

#include <filesystem>
#include <turbojpeg.h>

namespace {

std::vector<uint8_t> makeFrame(int w, int h) {
    std::vector<uint8_t> rgb(static_cast<size_t>(w * h * 3), 0x80);
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, rgb.data(), w, 0, h, TJPF_RGB, &out, &size, TJSAMP_420, 80, 0);
    std::vector<uint8_t> frame(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    const std::string trailer = "\r\n--tojekonec\r\n";
    frame.insert(frame.end(), trailer.begin(), trailer.end());
    return frame;
}

} // namespace

TEST(MainForm, PopUpRulesAroundDoorPhoneCalls) {
    struct Case {
        bool popUpCall, popUpAlways;
        bool restoredByRing;    // minimised window, a door phone rings
        bool minimisedByHangUp; // shown window, the call ends
    } cases[] = {
        {false, false, false, false},
        {true, false, false, true},
        {false, true, true, true},
        {true, true, false, true},
    };
    for (const auto& c : cases) {
        TForm2 form;
        TSettingsStore store(testenv::makeTempDir());
        store.SetChecked("PopUpCall", c.popUpCall);
        store.SetChecked("PopUpAlways", c.popUpAlways);
        form.SettingsForm = &store;
        form.show();
        form.OnMinimizeApplication();
        form.GuardPanel1->PopUpActive(form.GuardPanel1);
        EXPECT_EQ(!form.IsMinimised(), c.restoredByRing) << c.popUpCall << c.popUpAlways;
        form.OnRestoreApplication();
        int ringTimerRuns = 0;
        form.RingTimerActive = [] { return true; };
        form.RunRingTimer = [&] { ++ringTimerRuns; };
        form.GuardPanel1->PopUpDeActive(form.GuardPanel1);
        EXPECT_EQ(form.IsMinimised(), c.minimisedByHangUp) << c.popUpCall << c.popUpAlways;
        EXPECT_EQ(ringTimerRuns, c.minimisedByHangUp ? 1 : 0) << "a running ring timer fires first";
        form.SettingsForm = nullptr;
    }
}

TEST(MainForm, AFinishedRecordingBecomesAnAviFileInTheFolderOfThatMoment) {
    TForm2 form;
    TSettingsStore store(testenv::makeTempDir());
    const std::string folder = testenv::makeTempDir("avi");
    store.SetText("AVIDirectory", folder);
    form.SettingsForm = &store;
    TAVICollection c;
    for (int i = 0; i < 4; ++i)
        c.AVIStream.push_back(makeFrame(320, 240));
    c.Count = 4;
    form.GuardPanel1->AVIReady(form.GuardPanel1, std::move(c), " Front Door ");
    store.SetText("AVIDirectory", "/nowhere"); // later changes do not touch a running recorder
    auto lines = [&] { return logTexts(); };
    EXPECT_NE(std::find(lines().begin(), lines().end(), "AVICollection available"), lines().end());
    ASSERT_TRUE(testenv::waitUntil(
        [&] {
            for (const auto& e : std::filesystem::directory_iterator(folder))
                if (e.path().extension() == ".AVI" && std::filesystem::file_size(e.path()) > 4 * 230400)
                    return true;
            return false;
        },
        5000));
    EXPECT_TRUE(testenv::waitUntil([&] {
        for (const auto& l : lines())
            if (l.rfind("AVICompressor: ", 0) == 0) return true;
        return false;
    })) << "the recorder logs through the window";
    form.SettingsForm = nullptr;
}
