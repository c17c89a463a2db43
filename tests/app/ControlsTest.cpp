// The window's controls as a user's mouse and a screen reader reach them.
#include "app/EventLog.h"
#include "app/MainForm.h"
#include "doorphone/GuardPanel.h"
#include "support/TestEnv.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QFontMetrics>
#include <QLabel>
#include <QTest>
#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Unlock requests reach this listener; each one is a connection.
struct LockListener {
    LockListener() {
        fd = testenv::listenLoopback(&port, 64);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    ~LockListener() { ::close(fd); }
    // Connections made so far (the lock click returns only after its connect).
    int take() {
        int n = 0;
        for (int c; (c = ::accept(fd, nullptr, nullptr)) >= 0; ++n)
            ::close(c);
        return n;
    }
    int fd;
    uint16_t port = 0;
};

size_t countEntries(const std::string& text) {
    const std::string file = testenv::readFile(DataFolder() + LogFileName);
    size_t n = 0;
    for (size_t at = 0; (at = file.find("\t\"" + text + "\"\r\n", at)) != std::string::npos; ++at)
        ++n;
    return n;
}

class Controls : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::chdir(testenv::assetsDir().c_str()), 0); // pictures load by bare name
        form = std::make_unique<TForm2>();
        TGuardPanel* p = form->GuardPanel1;
        p->SetGuardIP("127.0.0.1");
        p->SetGuardPort(std::to_string(lock.port));
        p->SetJPGEnable(true);
        p->SetJPGDirectory(snapshots);
        p->OnCallButtonClick = [this](QObject*) { ++calls; };
        form->show();
    }
    void TearDown() override { form.reset(); }

    size_t snapshotFiles() const {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(snapshots))
            ++n;
        return n;
    }

    LockListener lock;
    std::string snapshots = testenv::makeTempDir("jpg");
    int calls = 0;
    std::unique_ptr<TForm2> form;
};

enum class Gesture { Left, Right, Middle, Double };

void perform(QWidget* w, Gesture g) {
    switch (g) {
    case Gesture::Left:
        QTest::mouseClick(w, Qt::LeftButton);
        break;
    case Gesture::Right:
        QTest::mouseClick(w, Qt::RightButton);
        break;
    case Gesture::Middle:
        QTest::mouseClick(w, Qt::MiddleButton);
        break;
    case Gesture::Double:
        // What a double click delivers: press, release, double-click, release.
        QTest::mousePress(w, Qt::LeftButton);
        QTest::mouseRelease(w, Qt::LeftButton);
        QTest::mouseDClick(w, Qt::LeftButton);
        QTest::mouseRelease(w, Qt::LeftButton);
        break;
    }
}

} // namespace

TEST_F(Controls, OnlyALeftClickActsAndADoubleClickActsOnce) {
    enum class Control { Lock, Camera, Telephone, Close };
    const struct {
        Gesture gesture;
        int acts;
    } gestures[] = {{Gesture::Left, 1}, {Gesture::Right, 0}, {Gesture::Middle, 0}, {Gesture::Double, 1}};
    for (Control control : {Control::Lock, Control::Camera, Control::Telephone, Control::Close}) {
        for (const auto& g : gestures) {
            SetUp(); // a fresh window each time: the close case ends it
            TGuardPanel* p = form->GuardPanel1;
            const size_t stopsBefore = countEntries("*************  STOP  *******************");
            int acted = 0;
            switch (control) {
            case Control::Lock:
                perform(p->Lock1Button, g.gesture);
                acted = lock.take();
                break;
            case Control::Camera:
                perform(p->CameraButton, g.gesture);
                acted = static_cast<int>(snapshotFiles());
                break;
            case Control::Telephone:
                perform(p->IncomingCallButton, g.gesture);
                acted = calls;
                break;
            case Control::Close:
                perform(form->CloseImage, g.gesture);
                acted =
                    static_cast<int>(countEntries("*************  STOP  *******************") - stopsBefore);
                EXPECT_EQ(form->isVisible(), g.acts == 0);
                break;
            }
            EXPECT_EQ(acted, g.acts) << "control " << static_cast<int>(control) << ", gesture "
                                     << static_cast<int>(g.gesture);
            TearDown();
            std::filesystem::remove_all(snapshots);
            std::filesystem::create_directory(snapshots);
            calls = 0;
        }
    }
}

TEST_F(Controls, APressOnTheCameraPictureOrAPanelNeverMovesTheWindow) {
    const struct {
        const char* what;
        QWidget* target;
        QPoint at;
        bool moves;
    } cases[] = {
        {"title bar", form->Image1, QPoint(150, 10), true},
        {"window background", form.get(), QPoint(458, 200), true},
        {"camera picture", form->GuardPanel1->CameraImage, QPoint(100, 100), false},
        {"caption", form->GuardPanel1->GuardNameLabel, QPoint(1, 1), false},
        {"button strip", form->GuardPanel1->ButtonPanelImage, QPoint(5, 5), false},
        {"panel", form->GuardPanel1, QPoint(10, 100), false},
    };
    for (const auto& c : cases) {
        const int before = form->SystemMovesStarted;
        QTest::mousePress(c.target, Qt::LeftButton, {}, c.at);
        QTest::mouseRelease(c.target, Qt::LeftButton, {}, c.at);
        EXPECT_EQ(form->SystemMovesStarted - before, c.moves ? 1 : 0) << c.what;
    }
}

TEST_F(Controls, EveryImageButtonSaysWhatItDoesAndAScreenReaderCanPressIt) {
    const auto buttons = form->findChildren<ImageButton*>();
    ASSERT_GE(buttons.size(), 4 + 4 * 5);
    for (ImageButton* b : buttons) {
        EXPECT_FALSE(b->accessibleName().isEmpty()) << b->objectName().toStdString();
        EXPECT_EQ(b->toolTip(), b->accessibleName());
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->role(), QAccessible::Button) << b->accessibleName().toStdString();
        EXPECT_EQ(a->text(QAccessible::Name), b->accessibleName());
        ASSERT_NE(a->actionInterface(), nullptr);
        EXPECT_TRUE(a->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    }
    TGuardPanel* p = form->GuardPanel1;
    const std::pair<QWidget*, const char*> names[] = {
        {p->Lock1Button, "Open lock 1"},
        {p->Lock2Button, "Open lock 2"},
        {p->CameraButton, "Snapshot"},
        {p->IncomingCallButton, "Call"},
        {p->VratnikButton, "Door phone"},
        {form->SettingsImage, "Settings"},
        {form->MinimizeImage, "Minimize"},
        {form->CloseImage, "Close"},
        {form->LogMemo, "Log"},
        {p->CameraImage, "Camera picture"},
        {form->GuardPanel2, "Door phone 2"},
    };
    for (const auto& [w, name] : names)
        EXPECT_EQ(w->accessibleName().toStdString(), name);

    // The press action clicks once, as the mouse does, and only a button the user can see.
    auto press = [](QWidget* w) {
        QAccessible::queryAccessibleInterface(w)->actionInterface()->doAction(
            QAccessibleActionInterface::pressAction());
    };
    press(p->Lock2Button);
    ASSERT_TRUE(testenv::waitUntil([&] { return lock.take() == 1; }, 5000));
    press(p->IncomingCallButton);
    ASSERT_TRUE(testenv::waitUntil([&] { return calls == 1; }, 5000));
    p->Lock1Button->hide();
    press(p->Lock1Button);
    press(p->IncomingCallButton); // queued after the hidden lock's press
    ASSERT_TRUE(testenv::waitUntil([&] { return calls == 2; }, 5000));
    EXPECT_EQ(lock.take(), 0) << "a hidden lock button is not pressed";
}

namespace {

struct PanelLines {
    PanelLines() {
        GuardPanelLogEvent() = [this](const std::string& l) { lines.push_back(l); };
    }
    ~PanelLines() { GuardPanelLogEvent() = nullptr; }
    bool has(const std::string& l) const { return std::find(lines.begin(), lines.end(), l) != lines.end(); }
    std::vector<std::string> lines;
};

} // namespace

TEST(PanelCaption, ADeviceNameIsShownAsPlainTextNeverAsMarkup) {
    ASSERT_EQ(::chdir(testenv::assetsDir().c_str()), 0);
    TGuardPanel panel;
    panel.show();
    const char* names[] = {"<b>Front</b>", "<img src=\"camera_not present.png\">", "&lt;gate&gt;",
                           "<h1>Big</h1>", "<a href=\"http://x\">link</a>"};
    for (const char* name : names) {
        panel.SetGuardCaption(name);
        QLabel* label = panel.GuardNameLabel;
        EXPECT_EQ(label->text().toStdString(), std::string(" ") + name + " ");
        // Shown letter for letter: as wide as the text itself in the label's font.
        const int textWidth = QFontMetrics(label->font()).horizontalAdvance(label->text());
        EXPECT_GE(label->width(), textWidth) << name;
        EXPECT_LE(label->height(), 2 * QFontMetrics(label->font()).height()) << name;
    }
}

TEST(PanelCaption, AMissingPlaceholderPictureGivesTheOperationsErrorLine) {
    const std::string empty = testenv::makeTempDir("nopictures");
    ASSERT_EQ(::chdir(empty.c_str()), 0); // no pictures here
    PanelLines log;
    {
        TGuardPanel panel;
        panel.SetGuardName("YOX1");
        QPixmap shown(8, 8);
        shown.fill(Qt::green);
        panel.CameraImage->setPixmap(shown);
        panel.SetGuardEnable(true); // no Restart: no channel, so the first tick sees video down
        ASSERT_TRUE(
            testenv::waitUntil([&] { return log.has("YOX1: eror 4678: TForm1.ResponseToNewState"); }, 5000));
        EXPECT_EQ(panel.CameraImage->pixmap().cacheKey(), shown.cacheKey()) << "the picture stays as it was";
    }
    ASSERT_EQ(::chdir(testenv::assetsDir().c_str()), 0);
    {
        TGuardPanel panel;
        panel.SetGuardName("YOX2");
        panel.SetGuardEnable(true);
        ASSERT_TRUE(testenv::waitUntil([&] { return panel.CameraImage->pixmap().width() > 100; }, 5000));
        EXPECT_FALSE(log.has("YOX2: eror 4678: TForm1.ResponseToNewState"))
            << "with the picture there, no error";
    }
}
