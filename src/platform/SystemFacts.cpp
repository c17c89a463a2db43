#include "platform/SystemFacts.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/statvfs.h>
#include <sys/utsname.h>

namespace platform {

MemoryFacts parseMeminfo(const std::string& text) {
    MemoryFacts m;
    uint64_t commitLimit = 0, committed = 0;
    std::istringstream in(text);
    std::string key;
    uint64_t value = 0;
    std::string unit;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        if (!(ls >> key >> value)) continue;
        unit.clear();
        ls >> unit;
        uint64_t bytes = unit == "kB" ? value * 1024 : value;
        if (key == "MemTotal:")
            m.totalPhys = bytes;
        else if (key == "MemAvailable:")
            m.availPhys = bytes;
        else if (key == "CommitLimit:")
            commitLimit = bytes;
        else if (key == "Committed_AS:")
            committed = bytes;
    }
    m.totalVirtual = commitLimit;
    m.availVirtual = commitLimit > committed ? commitLimit - committed : 0;
    return m;
}

MemoryFacts memoryFacts() {
    std::ifstream in("/proc/meminfo");
    return parseMeminfo(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

int64_t currentDiskSize() {
    struct statvfs st {};
    if (::statvfs(".", &st) != 0) return -1;
    return static_cast<int64_t>(st.f_blocks) * static_cast<int64_t>(st.f_frsize);
}

int64_t currentDiskFree() {
    struct statvfs st {};
    if (::statvfs(".", &st) != 0) return -1;
    return static_cast<int64_t>(st.f_bavail) * static_cast<int64_t>(st.f_frsize);
}

std::string osVersionText() {
    struct utsname u {};
    if (::uname(&u) != 0) return "Linux";
    std::string out = u.sysname;
    // The release reads like "6.1.0-18-amd64": keep its numbers in order.
    std::string number;
    for (const char* p = u.release;; ++p) {
        if (*p && std::isdigit(static_cast<unsigned char>(*p))) {
            number += *p;
            continue;
        }
        if (!number.empty()) {
            out += "." + number;
            number.clear();
        }
        if (!*p) break;
    }
    return out;
}

} // namespace platform
