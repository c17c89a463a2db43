#pragma once
#include <cstdint>
#include <vector>

// The frames of one recording, each exactly as received: JPEG data followed by
// the 15-byte part trailer. Moved, not shared: a recorder owns what it writes.
struct TAVICollection {
    static constexpr int Capacity = 100;
    std::vector<std::vector<uint8_t>> AVIStream; // slots 0 .. Count-1 hold frames
    int Count = 0;
};
