#include "app/EventLog.h"

#include "platform/Folders.h"

#include <QDateTime>
#include <QLocale>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

std::string& DataFolder() {
    static std::string folder;
    return folder;
}

std::string LogDateTimeText() {
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    QString text = locale.toString(now.date(), QLocale::ShortFormat);
    if (now.time() != QTime(0, 0)) {
        QString timeFormat = locale.timeFormat(QLocale::LongFormat);
        // The long format ends with the time zone ("t"); the log never showed one.
        timeFormat.remove(QLatin1String(" t")).remove(QLatin1Char('t'));
        text += QLatin1Char(' ') + locale.toString(now.time(), timeFormat.trimmed());
    }
    return text.toStdString();
}

bool WriteToLogFile(const std::string& text) {
    static std::mutex mutex;
    const std::string path = DataFolder() + LogFileName;
    // The clock is read under the lock too: the C library's time-zone set-up
    // is not safe to run from several threads at once.
    std::lock_guard lock(mutex);
    const std::string line = LogDateTimeText() + "\t\"" + text + "\"\r\n";
    // O_APPEND writes of one buffer also keep lines whole against other processes.
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = platform::writeAll(fd, line.data(), line.size());
    if (::close(fd) != 0) ok = false;
    return ok;
}
