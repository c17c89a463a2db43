#include "platform/Processes.h"

#include <cctype>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace platform {
namespace {

std::string baseName(const std::string& p) {
    auto pos = p.find_last_of('/');
    return pos == std::string::npos ? p : p.substr(pos + 1);
}

std::string readSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string upperAZ(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

} // namespace

std::vector<ProcessEntry> listProcesses() {
    std::vector<ProcessEntry> out;
    DIR* d = ::opendir("/proc");
    if (!d) return out;
    while (dirent* de = ::readdir(d)) {
        const char* n = de->d_name;
        if (!std::isdigit(static_cast<unsigned char>(*n))) continue;
        ProcessEntry e;
        e.pid = static_cast<pid_t>(std::strtol(n, nullptr, 10));
        std::string base = std::string("/proc/") + n;
        e.comm = readSmallFile(base + "/comm");
        if (!e.comm.empty() && e.comm.back() == '\n') e.comm.pop_back();
        if (e.comm.empty()) continue; // gone meanwhile
        char buf[4096];
        ssize_t len = ::readlink((base + "/exe").c_str(), buf, sizeof buf - 1);
        if (len > 0) {
            std::string exe(buf, static_cast<size_t>(len));
            const std::string deleted = " (deleted)";
            if (exe.size() > deleted.size() &&
                exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
                exe.resize(exe.size() - deleted.size());
            e.exeName = baseName(exe);
        }
        std::string cmd = readSmallFile(base + "/cmdline");
        e.argv0 = baseName(cmd.substr(0, cmd.find('\0')));
        out.push_back(std::move(e));
    }
    ::closedir(d);
    return out;
}

bool sameExecutableName(const std::string& a, const std::string& b) {
    return upperAZ(a) == upperAZ(b);
}

bool entryMatches(const ProcessEntry& e, const std::string& name) {
    if (name.empty()) return false;
    return (!e.exeName.empty() && sameExecutableName(e.exeName, name)) ||
           (!e.argv0.empty() && sameExecutableName(e.argv0, name)) || sameExecutableName(e.comm, name);
}

std::string displayName(const ProcessEntry& e) {
    return e.exeName.empty() ? e.comm : e.exeName;
}

bool terminateProcess(pid_t pid) {
    return pid > 0 && ::kill(pid, SIGKILL) == 0;
}

} // namespace platform
