#include "platform/Processes.h"

#include <cctype>
#include <csignal>
#include <cstdlib>
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

std::optional<std::string> processEnvironmentValue(pid_t pid, const std::string& name) {
    if (pid <= 0 || name.empty()) return std::nullopt;
    const std::string all = readSmallFile("/proc/" + std::to_string(pid) + "/environ");
    const std::string key = name + "=";
    for (size_t s = 0; s < all.size();) {
        size_t e = all.find('\0', s);
        if (e == std::string::npos) e = all.size();
        if (all.compare(s, key.size(), key) == 0) return all.substr(s + key.size(), e - s - key.size());
        s = e + 1;
    }
    return std::nullopt;
}

std::string processCurrentFolder(pid_t pid) {
    if (pid <= 0) return {};
    char buf[4096];
    const ssize_t len = ::readlink(("/proc/" + std::to_string(pid) + "/cwd").c_str(), buf, sizeof buf - 1);
    return len > 0 ? std::string(buf, static_cast<size_t>(len)) : std::string();
}

std::optional<uid_t> processRealUserId(pid_t pid) {
    if (pid <= 0) return std::nullopt;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Uid:", 0) != 0) continue;
        char* end = nullptr;
        const unsigned long uid = std::strtoul(line.c_str() + 4, &end, 10);
        if (end == line.c_str() + 4) return std::nullopt;
        return static_cast<uid_t>(uid);
    }
    return std::nullopt;
}

bool processRunning(pid_t pid) {
    if (pid <= 0) return false;
    const std::string stat = readSmallFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return false; // gone
    return !(close + 2 < stat.size() && stat[close + 2] == 'Z');
}

} // namespace platform
