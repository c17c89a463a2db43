#pragma once
#include <cstdint>
#include <string>

// Facts about the machine for the start banner.
namespace platform {

struct MemoryFacts {
    uint64_t totalPhys = 0;    // MemTotal
    uint64_t availPhys = 0;    // MemAvailable
    uint64_t totalVirtual = 0; // CommitLimit: what the kernel lets processes commit
    uint64_t availVirtual = 0; // CommitLimit - Committed_AS (0 when over-committed)
};

MemoryFacts memoryFacts();
// Parses the text of /proc/meminfo; missing fields stay 0.
MemoryFacts parseMeminfo(const std::string& text);

// Size and free bytes of the file system of the current directory; -1 when it cannot be read.
int64_t currentDiskSize();
int64_t currentDiskFree();

// Kernel name and version numbers joined by ".", e.g. "Linux.6.1.0.18".
std::string osVersionText();

} // namespace platform
