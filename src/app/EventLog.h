#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// The log file: one line per entry, appended, flushed and closed each time.

// The data folder with a trailing '/': holds the log file and the settings file.
// Set once by the main window at start-up.
std::string& DataFolder();

// The date-time text of a log line: the locale's short date, a blank and its
// long time (without a time zone); only the date at exactly midnight.
std::string LogDateTimeText();

// A time format (QDateTime's letters) without its time-zone field: the zone
// letters, brackets that held only them and one blank beside them go; every
// other letter and quoted text stays.
std::string TimeFormatWithoutZone(std::string_view format);

// Device texts reach the log as they came; control characters in them would
// act on a terminal that shows the log. Every control character but TAB, LF
// and CR (C0, DEL, and C1 in its UTF-8 form) becomes a "\x1b"-style escape of
// its bytes; everything else stays as it came.
std::string EscapeControlCharacters(std::string_view text);

// Appends DataFolder() + "VELNORA_Manager.log": date-time, TAB, the text in
// double quotes (control characters escaped, nothing else), CR LF. Creates the
// file when it does not exist. Whole lines never interleave across threads.
// False on any failure; the file is never left open.
// A line that would take the file past LogFileMaxBytes first renames it to
// the previous file (replacing the one before), so the log, which is e-mailed
// whole, stays bounded however much a device sends.
bool WriteToLogFile(const std::string& text);

inline constexpr const char* LogFileName = "VELNORA_Manager.log";
inline constexpr const char* PreviousLogFileName = "VELNORA_Manager.log.1";
inline constexpr std::uintmax_t LogFileMaxBytes = 4 * 1024 * 1024;
// Tests: another rotation size; 0 restores LogFileMaxBytes.
void SetLogFileMaxBytesForTest(std::uintmax_t bytes);
