// The log e-mail dialog as the user works it, against a loopback SMTP server.
#include "SmtpTestServer.h"
#include "app/DataModule.h"
#include "app/Send_log.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class EmailDialog : public ::testing::Test {
protected:
    struct Shown {
        bool ok;
        QString text;
    };
    void SetUp() override {
        testenv::writeFile(logPath, std::string("a\r\n\xff\xfe\r\n", 6));
        email = std::make_unique<TEmail>();
        email->LogFileToSend = logPath;
        email->ShowResult = [this](bool ok, const QString& text) { shown.push_back({ok, text}); };
        email->LogEvent = [this](const std::string& line) { logs.push_back(line); };
    }
    void useServer(uint16_t port) { email->IniFileName = WriteLogMailIni("127.0.0.1", port); }
    bool waitForResults(size_t n) {
        return testenv::waitUntil([&] { return shown.size() >= n; }, 30000);
    }
    bool busy() const {
        return !email->Button1->isEnabled() && !email->Button2->isEnabled() && !email->SendStatus->isHidden();
    }
    bool idle() const {
        return email->Button1->isEnabled() && email->Button2->isEnabled() && email->SendStatus->isHidden();
    }
    size_t logsWith(const std::string& part) const {
        return static_cast<size_t>(
            std::count_if(logs.begin(), logs.end(), [&](const auto& l) { return l.find(part) != std::string::npos; }));
    }

    std::string logPath = testenv::makeTempDir("data") + "/VELNORA_Manager.log";
    std::unique_ptr<TEmail> email;
    std::vector<Shown> shown;
    std::vector<std::string> logs;
};

TEST_F(EmailDialog, ControlsCarryTheirNamesAndTexts) {
    EXPECT_EQ(email->windowTitle(), "Send log file");
    const struct {
        QWidget* w;
        const char* name;
        const char* accessible;
    } controls[] = {
        {email->Label1, "Label1", "Your e-mail for answer:"}, {email->Label2, "Label2", "Your comment:"},
        {email->Comment, "Comment", "Your comment:"},          {email->Answer, "Answer", "Your e-mail for answer:"},
        {email->Button1, "Button1", "Send by Internet"},       {email->Button2, "Button2", "Close"},
    };
    for (const auto& c : controls) {
        EXPECT_EQ(c.w->objectName(), c.name);
        EXPECT_EQ(c.w->accessibleName(), c.accessible) << c.name;
    }
    EXPECT_EQ(email->Label1->text(), "Your e-mail for answer:");
    EXPECT_EQ(email->Label2->text(), "Your comment:");
    EXPECT_EQ(email->Button1->text(), "Send by Internet");
    EXPECT_EQ(email->Button2->text(), "Close");
    EXPECT_TRUE(idle());
}

TEST_F(EmailDialog, SendsWhileTheButtonsWaitThenTellsTheUser) {
    SmtpTestServer server;
    ASSERT_TRUE(server.running());
    useServer(server.port());
    email->show();
    email->Comment->setPlainText("Žluťoučký kůň\n.dot line");
    email->Answer->setText("me@example");

    for (size_t n = 1; n <= 2; ++n) {
        QTest::mouseClick(email->Button1, Qt::LeftButton);
        EXPECT_TRUE(busy()) << "send " << n;
        // Neither the close control nor Escape ends the dialog mid-send.
        email->close();
        QTest::keyClick(email.get(), Qt::Key_Escape);
        EXPECT_TRUE(email->isVisible());

        ASSERT_TRUE(waitForResults(n)) << "send " << n;
        EXPECT_TRUE(idle());
        EXPECT_TRUE(shown.back().ok);
        EXPECT_EQ(shown.back().text, LexiconItem(Lexicon::LogSendSuccessful));
        EXPECT_EQ(shown.back().text, "Log send successful");
        EXPECT_TRUE(email->isVisible()) << "the dialog stays open after sending";
        EXPECT_EQ(logsWith("EMAIL: Log file sent to velnora-support@localhost (Included)"), n);
    }
    const auto msgs = server.messages();
    ASSERT_EQ(msgs.size(), 2u);
    for (const auto& m : msgs) {
        ASSERT_EQ(m["attachments"].toArray().size(), 1);
        EXPECT_EQ(PartBytes(m["attachments"][0].toObject()), std::string("a\r\n\xff\xfe\r\n", 6));
        EXPECT_EQ(PartBytes(m["texts"][0].toObject()),
                  "Žluťoučký kůň\r\n.dot line\r\n" + std::string(AnswerMarkerLine) + "\r\nme@example\r\n" +
                      LogMarkerLine + "\r\nIncluded");
    }

    // Closed and shown again, the comment and the answer are still there.
    QTest::mouseClick(email->Button2, Qt::LeftButton);
    EXPECT_FALSE(email->isVisible());
    email->show();
    EXPECT_EQ(email->Comment->toPlainText(), "Žluťoučký kůň\n.dot line");
    EXPECT_EQ(email->Answer->text(), "me@example");
}

TEST_F(EmailDialog, FailureShowsTheErrorAndLogsWhy) {
    const struct {
        const char* name;
        const char* mode; // nullptr: nothing listens
        const char* logged;
    } cases[] = {
        {"nothing listens", nullptr, "Couldn't connect to server"},
        {"login refused", "deny-auth", "Login denied"},
        {"recipient refused", "reject-rcpt", "RCPT failed: 550"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<SmtpTestServer> server;
        if (c.mode) {
            server = std::make_unique<SmtpTestServer>(SmtpTestServer::Mode(c.mode));
            ASSERT_TRUE(server->running()) << c.name;
        }
        useServer(server ? server->port() : testenv::unusedLoopbackPort());
        shown.clear();
        logs.clear();
        email->Button1->click();
        EXPECT_TRUE(busy()) << c.name;
        ASSERT_TRUE(waitForResults(1)) << c.name;
        EXPECT_TRUE(idle()) << c.name;
        EXPECT_FALSE(shown[0].ok) << c.name;
        EXPECT_EQ(shown[0].text, LexiconItem(Lexicon::LogNotSend)) << c.name;
        EXPECT_EQ(shown[0].text, "Log not send, check your internet connection");
        ASSERT_EQ(logs.size(), 1u) << c.name;
        EXPECT_EQ(logs[0].rfind("EMAIL: error 1601: procedure Button1Click. ", 0), 0u) << logs[0];
        EXPECT_NE(logs[0].find(c.logged), std::string::npos) << logs[0];
    }
}

TEST_F(EmailDialog, ASilentServerLeavesTheWindowsRunning) {
    uint16_t port = 0;
    const int listener = testenv::listenLoopback(&port); // takes the connection, never greets
    useServer(port);
    email->Timeouts.ConnectMs = 1000;
    email->Timeouts.TotalMs = 2000;
    int ticks = 0;
    QTimer other; // stands for the panels' timers
    QObject::connect(&other, &QTimer::timeout, [&] { ++ticks; });
    other.start(10);

    email->Button1->click();
    EXPECT_TRUE(shown.empty()) << "the click returns before the send ends";
    EXPECT_TRUE(busy());
    ASSERT_TRUE(waitForResults(1));
    EXPECT_GT(ticks, 0) << "the window thread went on while the server said nothing";
    EXPECT_FALSE(shown[0].ok);
    EXPECT_EQ(logsWith("Timeout was reached"), 0u); // the library's own detailed text is the one logged
    EXPECT_EQ(logsWith("timed out"), 1u);
    ::close(listener);
}

TEST_F(EmailDialog, ADialogDestroyedMidSendHearsNothing) {
    uint16_t port = 0;
    const int listener = testenv::listenLoopback(&port);
    useServer(port);
    email->Timeouts.ConnectMs = 600000; // only the dialog's going away ends this send
    email->Timeouts.TotalMs = 600000;
    email->Button1->click();
    ASSERT_TRUE(busy());
    email.reset(); // returns once the send has given up
    QCoreApplication::processEvents();
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(logs.empty());
    ::close(listener);
}

} // namespace
