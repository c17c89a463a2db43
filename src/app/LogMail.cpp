#include "app/LogMail.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A key that is present but empty keeps its default: an empty host or
// address would only turn into a failure that says nothing useful.
void override(const IniProfile& ini, const char* key, std::string& field) {
    if (auto v = ini.value(LogMailSection, key); v && !v->empty()) field = *v;
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Angle brackets typed around an address in the settings file are not part of it.
std::string bareAddress(std::string a) {
    if (a.size() >= 2 && a.front() == '<' && a.back() == '>') a = a.substr(1, a.size() - 2);
    return a;
}

} // namespace

LogMailAccount LogMailAccountFrom(const IniProfile& ini) {
    LogMailAccount a;
    override(ini, "Host", a.Host);
    override(ini, "User", a.User);
    override(ini, "Password", a.Password);
    override(ini, "From", a.From);
    override(ini, "To", a.To);
    if (auto v = ini.value(LogMailSection, "Port")) {
        if (auto port = ParseIniInteger(*v); port && *port >= 1 && *port <= 65535) a.Port = *port;
    }
    a.From = bareAddress(a.From);
    a.To = bareAddress(a.To);
    return a;
}

LogMailAccount ReadLogMailAccount(const std::string& iniFileName) {
    IniProfile ini;
    if (!iniFileName.empty()) ini.loadFile(iniFileName);
    return LogMailAccountFrom(ini);
}

LogAttachment ReadLogAttachment(const std::string& path) {
    LogAttachment a;
    a.fileName = baseName(path);
    // Whether the file is there is decided by the one open that reads it, so
    // a log that appears or goes between a look and the read cannot be
    // reported one way and sent the other.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            a.state = LogAttachment::State::NotFound;
        } else {
            a.state = LogAttachment::State::Unreadable;
            a.reason = std::strerror(errno);
        }
        return a;
    }
    std::string bytes;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            bytes.append(buf, static_cast<size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            a.state = LogAttachment::State::Unreadable;
            a.reason = std::strerror(errno);
            ::close(fd);
            return a;
        }
    }
    ::close(fd);
    a.state = LogAttachment::State::Included;
    a.bytes = std::move(bytes);
    return a;
}

std::string LogStatusLine(const LogAttachment& attachment) {
    switch (attachment.state) {
    case LogAttachment::State::Included: return "Included";
    case LogAttachment::State::NotFound: return "Log file not found";
    case LogAttachment::State::Unreadable: break;
    }
    return "Log file could not be read: " + attachment.reason;
}

std::vector<std::string> LogMailBodyLines(std::string_view comment, std::string_view answer,
                                          std::string_view statusLine) {
    std::vector<std::string> lines;
    std::string line;
    bool open = false; // a line has begun and not yet ended
    for (size_t i = 0; i < comment.size(); ++i) {
        const char c = comment[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
            open = false;
            if (c == '\r' && i + 1 < comment.size() && comment[i + 1] == '\n') ++i;
        } else {
            line += c;
            open = true;
        }
    }
    if (open) lines.push_back(std::move(line));

    lines.emplace_back(AnswerMarkerLine);
    std::string a(answer);
    for (char& c : a)
        if (c == '\r' || c == '\n') c = ' ';
    lines.push_back(std::move(a));
    lines.emplace_back(LogMarkerLine);
    lines.emplace_back(statusLine);
    return lines;
}

LogMailMessage ComposeLogMail(const LogMailAccount& account, std::string_view comment, std::string_view answer,
                              LogAttachment attachment, const std::string& date) {
    LogMailMessage m;
    m.MailFrom = account.From;
    m.RcptTo = account.To;
    m.Headers = {
        "Date: " + date,
        "From: <" + account.From + ">",
        "To: <" + account.To + ">",
        std::string("Subject: ") + LogMailSubject,
    };
    const auto lines = LogMailBodyLines(comment, answer, LogStatusLine(attachment));
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) m.Text += "\r\n";
        m.Text += lines[i];
    }
    m.Attachment = std::move(attachment);
    return m;
}

std::string MailDate(long long unixSeconds) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const time_t t = static_cast<time_t>(unixSeconds);
    struct tm tm {};
    localtime_r(&t, &tm);
    const long offset = tm.tm_gmtoff / 60; // minutes east of UTC
    const long absOffset = offset < 0 ? -offset : offset;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", days[tm.tm_wday % 7],
                  tm.tm_mday, months[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  offset < 0 ? '-' : '+', absOffset / 60, absOffset % 60);
    return buf;
}
