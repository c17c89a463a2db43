// The log e-mail against a real SMTP server on loopback: what arrives, and
// what a refusing, absent or silent server gives.
#include "SmtpTestServer.h"
#include "app/LogMail.h"
#include "app/SmtpSend.h"
#include "support/TestEnv.h"

#include <QJsonArray>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const std::string Comment = "Žluťoučký kůň\n.\n.starts with a dot\n..two dots\n\nend";
// Bytes that are no UTF-8, a lone dot line and a NUL: all must come back as they were.
const std::string LogBytes = std::string("1.1.2025 10:00:00\t\"start\"\r\n.\r\n\xff\xfe\x80\x00 \xe9t\xe9\r\n", 38);

std::vector<std::string> splitCrlf(const std::string& s) {
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t e; (e = s.find("\r\n", at)) != std::string::npos; at = e + 2)
        lines.push_back(s.substr(at, e - at));
    lines.push_back(s.substr(at));
    return lines;
}

std::string str(const QJsonValue& v) {
    return v.toString().toStdString();
}

LogMailAccount accountFor(uint16_t port) {
    return ReadLogMailAccount(WriteLogMailIni("127.0.0.1", port));
}

SmtpResult sendLog(const LogMailAccount& account, const std::string& logPath,
                   const SmtpTimeouts& timeouts = SmtpTimeouts{}) {
    const LogMailMessage m =
        ComposeLogMail(account, Comment, "answer@example", ReadLogAttachment(logPath), MailDate(std::time(nullptr)));
    return SendSmtp(account, m, timeouts);
}

class SmtpSend : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.running());
        testenv::writeFile(logPath, LogBytes);
    }
    SmtpTestServer server;
    std::string dir = testenv::makeTempDir("log");
    std::string logPath = dir + "/VELNORA_Manager.log";
};

TEST_F(SmtpSend, MessageArrivesWhole) {
    const SmtpResult r = sendLog(accountFor(server.port()), logPath);
    ASSERT_TRUE(r.Ok) << r.Error;
    const auto msgs = server.messages();
    ASSERT_EQ(msgs.size(), 1u);
    const QJsonObject& m = msgs[0];
    EXPECT_EQ(str(m["subject"]), "YOXPanel log file");
    EXPECT_EQ(str(m["mail_from"]), "velnora-manager@localhost");
    ASSERT_EQ(m["rcpt_tos"].toArray().size(), 1);
    EXPECT_EQ(str(m["rcpt_tos"][0]), "velnora-support@localhost");
    EXPECT_EQ(str(m["from"]), "<velnora-manager@localhost>");
    EXPECT_EQ(str(m["to"]), "<velnora-support@localhost>");
    EXPECT_FALSE(m["date"].toString().isEmpty());
    // The account's login, taken because the server asked for one.
    EXPECT_EQ(str(m["login"]), "velnora-manager");
    EXPECT_EQ(str(m["password"]), "quorbinex");

    const QJsonArray texts = m["texts"].toArray();
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0]["content_type"].toString().contains("charset=UTF-8", Qt::CaseInsensitive))
        << texts[0]["content_type"].toString().toStdString();
    EXPECT_EQ(splitCrlf(PartBytes(texts[0].toObject())),
              (std::vector<std::string>{"Žluťoučký kůň", ".", ".starts with a dot", "..two dots", "", "end",
                                        AnswerMarkerLine, "answer@example", LogMarkerLine, "Included"}));

    const QJsonArray files = m["attachments"].toArray();
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(str(files[0]["filename"]), "VELNORA_Manager.log");
    EXPECT_EQ(str(files[0]["encoding"]), "base64");
    EXPECT_TRUE(files[0]["disposition"].toString().startsWith("attachment"));
    EXPECT_EQ(PartBytes(files[0].toObject()), LogBytes);
}

TEST_F(SmtpSend, EachSendCarriesTheLogOnce) {
    const LogMailAccount account = accountFor(server.port());
    ASSERT_TRUE(sendLog(account, logPath).Ok);
    testenv::writeFile(logPath, LogBytes + "later\r\n");
    ASSERT_TRUE(sendLog(account, logPath).Ok);
    const auto msgs = server.messages();
    ASSERT_EQ(msgs.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const QJsonArray files = msgs[i]["attachments"].toArray();
        ASSERT_EQ(files.size(), 1) << "message " << i;
        EXPECT_EQ(PartBytes(files[0].toObject()), i == 0 ? LogBytes : LogBytes + "later\r\n");
    }
}

TEST_F(SmtpSend, WithoutAReadableLogTheMessageSaysWhy) {
    std::filesystem::create_directory(dir + "/folder.log");
    const struct {
        std::string path;
        std::string status;
    } cases[] = {
        {dir + "/missing.log", "Log file not found"},
        {dir + "/folder.log", "Log file could not be read: Is a directory"},
    };
    const LogMailAccount account = accountFor(server.port());
    for (const auto& c : cases) {
        const SmtpResult r = sendLog(account, c.path);
        ASSERT_TRUE(r.Ok) << c.path << ": " << r.Error;
        const QJsonObject m = server.messages().back();
        EXPECT_TRUE(m["attachments"].toArray().isEmpty()) << c.path;
        ASSERT_EQ(m["texts"].toArray().size(), 1);
        const auto lines = splitCrlf(PartBytes(m["texts"][0].toObject()));
        EXPECT_EQ(lines.back(), c.status);
        EXPECT_EQ(lines[lines.size() - 2], LogMarkerLine);
    }
}

// A relay that takes mail from this machine without a login: none is tried.
TEST(SmtpSendPlain, NoLoginWhenTheServerOffersNone) {
    SmtpTestServer server(SmtpTestServer::Mode("noauth"));
    ASSERT_TRUE(server.running());
    const SmtpResult r = sendLog(accountFor(server.port()), "/nonexistent/VELNORA_Manager.log");
    ASSERT_TRUE(r.Ok) << r.Error;
    ASSERT_EQ(server.messages().size(), 1u);
    EXPECT_EQ(str(server.messages()[0]["login"]), "");
    EXPECT_FALSE(server.messages()[0]["tls"].toBool());
}

// A relay that offers STARTTLS with its own self-made certificate: the
// message and the login go inside TLS.
TEST(SmtpSendTls, StartTlsWhenOffered) {
    const std::string d = testenv::makeTempDir("tls");
    const std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost -keyout " + d +
                            "/key.pem -out " + d + "/cert.pem >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "openssl cannot make a test certificate here";
    SmtpTestServer::Options tls;
    tls.certFile = d + "/cert.pem";
    tls.keyFile = d + "/key.pem";
    SmtpTestServer server(tls);
    ASSERT_TRUE(server.running());
    const SmtpResult r = sendLog(accountFor(server.port()), "/nonexistent/VELNORA_Manager.log");
    ASSERT_TRUE(r.Ok) << r.Error;
    ASSERT_EQ(server.messages().size(), 1u);
    EXPECT_TRUE(server.messages()[0]["tls"].toBool());
    EXPECT_EQ(str(server.messages()[0]["login"]), "velnora-manager");
}

TEST(SmtpSendFailure, EachRefusalIsAnError) {
    const SmtpTimeouts quick{.ConnectMs = 500, .TotalMs = 1500, .LowSpeedBytes = 1, .LowSpeedSeconds = 30};
    const struct {
        const char* name;
        const char* mode; // the server's mode; nullptr: no server at all, or one that never speaks
        bool silent;
        const char* error;
    } cases[] = {
        {"nothing listens", nullptr, false, "Couldn't connect to server"},
        {"silent server", nullptr, true, "timed out"},
        {"login refused", "deny-auth", false, "Login denied"},
        {"recipient refused", "reject-rcpt", false, "550"},
        {"sender refused", "reject-mail", false, "550"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<SmtpTestServer> server;
        int listener = -1;
        uint16_t port = 0;
        if (c.mode) {
            server = std::make_unique<SmtpTestServer>(SmtpTestServer::Mode(c.mode));
            ASSERT_TRUE(server->running()) << c.name;
            port = server->port();
        } else if (c.silent) {
            listener = testenv::listenLoopback(&port); // the kernel takes the connection; nobody answers
        } else {
            port = testenv::unusedLoopbackPort();
        }
        const SmtpResult r = sendLog(accountFor(port), "/nonexistent/VELNORA_Manager.log", quick);
        EXPECT_FALSE(r.Ok) << c.name;
        EXPECT_NE(r.Error.find(c.error), std::string::npos) << c.name << ": " << r.Error;
        if (server) {
            EXPECT_TRUE(server->messages().empty()) << c.name;
        }
        if (listener >= 0) ::close(listener);
    }
}

} // namespace
