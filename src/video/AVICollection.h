#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// The frames of one recording, each exactly as received: JPEG data followed by
// the 15-byte part trailer. Moved, not shared: a recorder owns what it writes.
struct TAVICollection {
    static constexpr int Capacity = 100;
    std::vector<std::vector<uint8_t>> AVIStream; // slots 0 .. Count-1 hold frames
    int Count = 0;
};

// Stores one good picture while recording is on and the collection is not full;
// the 100th stored frame sets AVIFull. Returns whether it was stored. The caller
// holds the recording lock.
inline bool appendRecordedFrame(TAVICollection& c, bool AVIRecord, bool& AVIFull, const uint8_t* data,
                                size_t size) {
    if (!AVIRecord || AVIFull || c.Count >= TAVICollection::Capacity) return false;
    if (c.AVIStream.size() < static_cast<size_t>(TAVICollection::Capacity))
        c.AVIStream.resize(TAVICollection::Capacity);
    // assign() keeps the slot's capacity from an earlier recording.
    c.AVIStream[static_cast<size_t>(c.Count)].assign(data, data + size);
    ++c.Count;
    if (c.Count == TAVICollection::Capacity) AVIFull = true;
    return true;
}
