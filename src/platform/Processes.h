#pragma once
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Process snapshot through /proc. Each call reads a fresh listing.
namespace platform {

struct ProcessEntry {
    pid_t pid = 0;
    std::string comm;    // kernel name (at most 15 characters)
    std::string exeName; // file name of /proc/PID/exe, without folders; empty when unreadable
    std::string argv0;   // file name of the first command-line word, without folders
};

std::vector<ProcessEntry> listProcesses();

// Letter case of a-z only is ignored, as the desk's process lookups have always done.
bool sameExecutableName(const std::string& a, const std::string& b);
bool entryMatches(const ProcessEntry& e, const std::string& name);
// The name shown for a process: its executable's file name, else its command name.
std::string displayName(const ProcessEntry& e);

bool terminateProcess(pid_t pid);

// Facts about one process; nothing (or empty) when it is gone or not readable.
// The value of an environment variable as the process was started with it.
std::optional<std::string> processEnvironmentValue(pid_t pid, const std::string& name);
std::string processCurrentFolder(pid_t pid);
std::optional<uid_t> processRealUserId(pid_t pid);
// Still running: it exists and is not a zombie waiting to be reaped.
bool processRunning(pid_t pid);

} // namespace platform
