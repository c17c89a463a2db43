#include "app/EventLog.h"

#include "platform/Folders.h"

#include <QDateTime>
#include <QLocale>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

std::string& DataFolder() {
    static std::string folder;
    return folder;
}

namespace {

std::atomic<std::uintmax_t> logFileMaxBytesForTest{0};

} // namespace

std::string TimeFormatWithoutZone(std::string_view format) {
    // Split into quoted texts, runs of the zone letter, blanks and single other
    // characters, so that a "t" inside quoted text is never taken for the zone.
    enum class Kind { Quoted, Zone, Blank, Other };
    struct Token {
        Kind kind;
        QString text;
    };
    const QString f = QString::fromUtf8(format.data(), static_cast<qsizetype>(format.size()));
    std::vector<Token> tokens;
    for (qsizetype i = 0; i < f.size();) {
        qsizetype j = i + 1;
        Kind kind = Kind::Other;
        if (f[i] == QLatin1Char('\'')) {
            kind = Kind::Quoted;
            while (j < f.size()) {
                if (f[j] != QLatin1Char('\'')) {
                    ++j;
                } else if (j + 1 < f.size() && f[j + 1] == QLatin1Char('\'')) {
                    j += 2; // a quote inside quoted text
                } else {
                    ++j;
                    break;
                }
            }
        } else if (f[i] == QLatin1Char('t')) {
            kind = Kind::Zone;
            while (j < f.size() && f[j] == QLatin1Char('t'))
                ++j;
        } else if (f[i].isSpace()) {
            kind = Kind::Blank;
        }
        tokens.push_back({kind, f.mid(i, j - i)});
        i = j;
    }
    auto is = [&](qsizetype k, const char* text) {
        return k >= 0 && k < static_cast<qsizetype>(tokens.size()) &&
               tokens[static_cast<size_t>(k)].kind == Kind::Other &&
               tokens[static_cast<size_t>(k)].text == QLatin1String(text);
    };
    auto blank = [&](qsizetype k) {
        return k >= 0 && k < static_cast<qsizetype>(tokens.size()) &&
               tokens[static_cast<size_t>(k)].kind == Kind::Blank;
    };
    for (qsizetype k = 0; k < static_cast<qsizetype>(tokens.size()); ++k) {
        if (tokens[static_cast<size_t>(k)].kind != Kind::Zone) continue;
        qsizetype first = k, last = k;
        if ((is(k - 1, "(") && is(k + 1, ")")) || (is(k - 1, "[") && is(k + 1, "]"))) {
            --first;
            ++last;
        }
        if (blank(first - 1))
            --first;
        else if (blank(last + 1))
            ++last;
        tokens.erase(tokens.begin() + first, tokens.begin() + last + 1);
        k = first - 1;
    }
    QString out;
    for (const Token& t : tokens)
        out += t.text;
    return out.trimmed().toStdString();
}

std::string EscapeControlCharacters(std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    auto escape = [&](unsigned char c) {
        out += "\\x";
        out += hex[c >> 4];
        out += hex[c & 0x0f];
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7f) {
            escape(c);
        } else if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            // U+0080..U+009F: terminals act on these (0x9b is a CSI) as on ESC sequences.
            escape(c);
            escape(static_cast<unsigned char>(text[++i]));
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void SetLogFileMaxBytesForTest(std::uintmax_t bytes) {
    logFileMaxBytesForTest = bytes;
}

std::string LogDateTimeText() {
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    QString text = locale.toString(now.date(), QLocale::ShortFormat);
    if (now.time() != QTime(0, 0)) {
        // The log never showed a time zone.
        const QString timeFormat = QString::fromStdString(
            TimeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat).toStdString()));
        text += QLatin1Char(' ') + locale.toString(now.time(), timeFormat);
    }
    return text.toStdString();
}

bool WriteToLogFile(const std::string& text) {
    static std::mutex mutex;
    const std::string path = DataFolder() + LogFileName;
    // The clock is read under the lock too: the C library's time-zone set-up
    // is not safe to run from several threads at once.
    std::lock_guard lock(mutex);
    const std::string line = LogDateTimeText() + "\t\"" + EscapeControlCharacters(text) + "\"\r\n";
    const std::uintmax_t forTest = logFileMaxBytesForTest;
    const std::uintmax_t limit = forTest ? forTest : LogFileMaxBytes;
    // O_APPEND writes of one buffer also keep lines whole against other processes.
    constexpr int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC;
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0 &&
        static_cast<std::uintmax_t>(st.st_size) + line.size() > limit) {
        // Full: it becomes the previous file (the one before that goes) and a new one starts.
        ::close(fd);
        ::rename(path.c_str(), (DataFolder() + PreviousLogFileName).c_str());
        fd = ::open(path.c_str(), flags, 0644);
        if (fd < 0) return false;
    }
    bool ok = platform::writeAll(fd, line.data(), line.size());
    if (::close(fd) != 0) ok = false;
    return ok;
}
