#pragma once
#include <optional>
#include <string>
#include <vector>

// Shared by the main window's tests: the window's SIP controller starts
// "linphonec" from PATH, so linking MainFormSupport.cpp puts the scripted
// stand-in client there for the whole test program.
namespace mainformtest {

// The texts of the log file's lines, in order (time stamps and quotes cut off).
std::vector<std::string> logTexts();
// The rest of the first log line that starts with prefix.
std::optional<std::string> logged(const std::string& prefix);

} // namespace mainformtest
