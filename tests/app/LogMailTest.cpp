// The log e-mail's account, body and attachment, without a network.
#include "app/LogMail.h"
#include "app/SmtpSend.h"
#include "support/TestEnv.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;
const std::string A = AnswerMarkerLine;
const std::string L = LogMarkerLine;

TEST(LogMailAccount, DefaultsPointAtTheLocalRelay) {
    const LogMailAccount a = LogMailAccountFrom(IniProfile{});
    EXPECT_EQ(a.Host, "localhost");
    EXPECT_EQ(a.Port, 25);
    EXPECT_EQ(a.Password, "quorbinex");
    EXPECT_EQ(a.User, "velnora-manager");
    EXPECT_EQ(a.From, "velnora-manager@localhost");
    EXPECT_EQ(a.To, "velnora-support@localhost");
    // No settings file at all gives the same.
    const LogMailAccount b = ReadLogMailAccount(testenv::tempRoot() + "/no/such.ini");
    EXPECT_EQ(b.Host, a.Host);
    EXPECT_EQ(b.Port, a.Port);
}

TEST(LogMailAccount, SectionOverridesEachKeyItHas) {
    IniProfile ini;
    ini.loadText("[global]\nHost=10.0.0.1\n[logmail]\nHOST = relay.example\nPort=587\nUser=desk\n"
                 "Password=s3cret\nFrom=<desk@example>\nTo=help@example\n");
    const LogMailAccount a = LogMailAccountFrom(ini);
    EXPECT_EQ(a.Host, "relay.example");
    EXPECT_EQ(a.Port, 587);
    EXPECT_EQ(a.User, "desk");
    EXPECT_EQ(a.Password, "s3cret");
    EXPECT_EQ(a.From, "desk@example");
    EXPECT_EQ(a.To, "help@example");
}

TEST(LogMailAccount, OnlyAUsablePortReplacesTheDefault) {
    const struct {
        const char* value;
        int port;
    } cases[] = {
        {"2525", 2525}, {"$1F", 31}, {"65535", 65535}, {"0", 25}, {"65536", 25},
        {"-25", 25},    {"x25", 25}, {"", 25},
    };
    for (const auto& c : cases) {
        IniProfile ini;
        ini.loadText(std::string("[LogMail]\nPort=") + c.value + "\nHost=\n");
        const LogMailAccount a = LogMailAccountFrom(ini);
        EXPECT_EQ(a.Port, c.port) << "Port=" << c.value;
        EXPECT_EQ(a.Host, "localhost") << "an empty Host keeps the default";
    }
}

TEST(LogMailAccount, ReadingTheFileLeavesItAsItWas) {
    const std::string path = testenv::makeTempDir() + "/VELNORA_Manager.ini";
    const std::string text = "[global]\r\nSIPmode=1\r\n";
    testenv::writeFile(path, text);
    EXPECT_EQ(ReadLogMailAccount(path).Port, 25);
    EXPECT_EQ(testenv::readFile(path), text);
}

TEST(LogMailBody, LinesInOrder) {
    const struct {
        const char* name;
        std::string comment, answer;
        Lines want;
    } cases[] = {
        {"empty comment and answer", "", "", {A, "", L, "Included"}},
        {"one line", "door 2 rings twice", "me@site", {"door 2 rings twice", A, "me@site", L, "Included"}},
        {"LF, CR LF and CR all end lines", "a\nb\r\nc\rd", "", {"a", "b", "c", "d", A, "", L, "Included"}},
        {"a final line break adds no empty line", "a\n", "", {"a", A, "", L, "Included"}},
        {"empty lines inside stay", "a\n\n\nb", "", {"a", "", "", "b", A, "", L, "Included"}},
        {"a comment of line breaks only", "\n\n", "", {"", "", A, "", L, "Included"}},
        {"lines beginning with a dot stay as typed", ".\n..x\n.y", "", {".", "..x", ".y", A, "", L, "Included"}},
        {"the answer stays one line", "", "a@b\r\nc", {A, "a@b  c", L, "Included"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LogMailBodyLines(c.comment, c.answer, "Included"), c.want) << c.name;
}

TEST(LogMailAttachment, ReadOnceWithItsStatus) {
    const std::string dir = testenv::makeTempDir();
    const std::string bytes = std::string("line\r\n\xff\xfe\x80\x00 end\r\n", 14);
    testenv::writeFile(dir + "/VELNORA_Manager.log", bytes);
    std::filesystem::create_directory(dir + "/folder.log");

    const LogAttachment found = ReadLogAttachment(dir + "/VELNORA_Manager.log");
    EXPECT_EQ(found.state, LogAttachment::State::Included);
    EXPECT_EQ(found.bytes, bytes);
    EXPECT_EQ(found.fileName, "VELNORA_Manager.log");
    EXPECT_EQ(LogStatusLine(found), "Included");

    for (const std::string& missing : {dir + "/gone.log", dir + "/VELNORA_Manager.log/under.log"}) {
        const LogAttachment a = ReadLogAttachment(missing);
        EXPECT_EQ(a.state, LogAttachment::State::NotFound) << missing;
        EXPECT_EQ(LogStatusLine(a), "Log file not found");
    }

    // There but not readable: said so, not passed off as included.
    const LogAttachment unreadable = ReadLogAttachment(dir + "/folder.log");
    EXPECT_EQ(unreadable.state, LogAttachment::State::Unreadable);
    EXPECT_EQ(LogStatusLine(unreadable), "Log file could not be read: Is a directory");
}

TEST(LogMailMessage, HeadersEnvelopeAndText) {
    LogMailAccount account;
    account.From = "desk@example";
    account.To = "help@example";
    LogAttachment none;
    const LogMailMessage m = ComposeLogMail(account, "Žluťoučký kůň\n.", "x@y", none, "Tue, 04 Mar 2025 09:05:00 +0100");
    EXPECT_EQ(m.MailFrom, "desk@example");
    EXPECT_EQ(m.RcptTo, "help@example");
    EXPECT_EQ(m.Headers, (Lines{"Date: Tue, 04 Mar 2025 09:05:00 +0100", "From: <desk@example>", "To: <help@example>",
                                "Subject: YOXPanel log file"}));
    EXPECT_EQ(m.Text, "Žluťoučký kůň\r\n.\r\n" + A + "\r\nx@y\r\n" + L + "\r\nLog file not found");
}

TEST(LogMailMessage, DateIsEnglishWithTheZoneOffset) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(MailDate(0), "Thu, 01 Jan 1970 00:00:00 +0000");
    ::setenv("TZ", "<CET>-1", 1);
    ::tzset();
    EXPECT_EQ(MailDate(1741075500), "Tue, 04 Mar 2025 09:05:00 +0100");
    ::setenv("TZ", "<NST>+3:30", 1);
    ::tzset();
    EXPECT_EQ(MailDate(0), "Wed, 31 Dec 1969 20:30:00 -0330");
    ::unsetenv("TZ");
    ::tzset();
}

TEST(SmtpUrl, OnlyAHostNameOrAddressBecomesTheServer) {
    const struct {
        const char* host;
        int port;
        const char* url;
    } cases[] = {
        {"localhost", 25, "smtp://localhost:25"},
        {"127.0.0.1", 2525, "smtp://127.0.0.1:2525"},
        {"mail-relay.site_1.example", 25, "smtp://mail-relay.site_1.example:25"},
        {"::1", 25, "smtp://[::1]:25"},
        {"[::1]", 25, "smtp://[::1]:25"},
        {"evil@host", 25, ""},
        {"host/path", 25, ""},
        {"host:26", 25, ""},
        {"host name", 25, ""},
        {"", 25, ""},
        {"localhost", 0, ""},
    };
    for (const auto& c : cases) {
        LogMailAccount a;
        a.Host = c.host;
        a.Port = c.port;
        EXPECT_EQ(SmtpUrl(a), c.url) << c.host;
    }
}

} // namespace
