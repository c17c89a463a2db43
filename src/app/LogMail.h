#pragma once
#include "app/IniProfile.h"

#include <string>
#include <string_view>
#include <vector>

// The log e-mail: the account it goes through, what the message says and
// carries. No widget and no network here; SmtpSend puts it on the wire.

// The account the log goes out through. The defaults hand the message to the
// desk machine's own mail relay, which forwards it; a site whose relay lives
// elsewhere overrides them in the settings file (see LogMailAccountFrom).
struct LogMailAccount {
    std::string Host = "localhost";
    int Port = 25;
    std::string User = "velnora-manager";
    std::string Password = "quorbinex";
    std::string From = "velnora-manager@localhost"; // the account's own mailbox
    std::string To = "velnora-support@localhost";
};

inline constexpr const char* LogMailSection = "LogMail";

// The defaults, with each key of the profile's [LogMail] section (Host, Port,
// User, Password, From, To) that is present taking the place of its default.
// A Port that is not a number from 1 to 65535 keeps the default port.
LogMailAccount LogMailAccountFrom(const IniProfile& ini);
// The same, read from the settings file at this moment; a missing or
// unreadable file gives the defaults. The file is never written.
LogMailAccount ReadLogMailAccount(const std::string& iniFileName);

// The log file as it will travel: read once, whole, before anything is sent.
struct LogAttachment {
    enum class State { Included, NotFound, Unreadable };
    State state = State::NotFound;
    std::string fileName; // the file's own name, without its folder
    std::string bytes;    // the file's bytes when Included
    std::string reason;   // why it could not be read when Unreadable
};
LogAttachment ReadLogAttachment(const std::string& path);

// The last line of the body: "Included", "Log file not found", or
// "Log file could not be read: " and the reason.
std::string LogStatusLine(const LogAttachment& attachment);

// The body, line by line: the comment's lines, the answer marker, the answer,
// the log marker and the status line. The comment may end its lines with LF,
// CR LF or CR; an empty comment gives no lines, and a final line break gives
// no empty last line. The answer is one line: any line breaks in it become blanks.
std::vector<std::string> LogMailBodyLines(std::string_view comment, std::string_view answer,
                                          std::string_view statusLine);

inline constexpr const char* LogMailSubject = "YOXPanel log file";
inline constexpr const char* AnswerMarkerLine = "----------- E-mail for answer:------------";
inline constexpr const char* LogMarkerLine = "----------- Log file:---------------------";

// One message, ready to send.
struct LogMailMessage {
    std::string MailFrom;             // envelope sender, an address without brackets
    std::string RcptTo;               // the one envelope recipient
    std::vector<std::string> Headers; // "Name: value", in order
    std::string Text;                 // UTF-8 body, lines joined with CR LF
    LogAttachment Attachment;         // sent as a part of its own only when Included
};

// The message for this account. date is the Date header's value (see MailDate).
LogMailMessage ComposeLogMail(const LogMailAccount& account, std::string_view comment, std::string_view answer,
                              LogAttachment attachment, const std::string& date);

// An RFC 5322 date for a time (seconds since the epoch), in local time with
// its offset, in English whatever the locale: "Tue, 04 Mar 2025 09:05:00 +0100".
std::string MailDate(long long unixSeconds);
