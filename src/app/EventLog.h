#pragma once
#include <string>

// The log file: one line per entry, appended, flushed and closed each time.

// The data folder with a trailing '/': holds the log file and the settings file.
// Set once by the main window at start-up.
std::string& DataFolder();

// The date-time text of a log line: the locale's short date, a blank and its
// long time (without a time zone); only the date at exactly midnight.
std::string LogDateTimeText();

// Appends DataFolder() + "VELNORA_Manager.log": date-time, TAB, the text in
// double quotes (unchanged, nothing escaped), CR LF. Creates the file when it
// does not exist. Whole lines never interleave across threads. False on any
// failure; the file is never left open.
bool WriteToLogFile(const std::string& text);

inline constexpr const char* LogFileName = "VELNORA_Manager.log";
