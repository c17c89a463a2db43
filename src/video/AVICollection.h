#pragma once
#include "video/AviWriter.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The frames of one recording. Moved, not shared: a recorder owns what it writes.
//
// A frame is kept as received (JPEG data followed by the 15-byte part trailer)
// while that is no larger than the AVI sample it becomes; a larger one is kept
// as that sample (320 x 240 BGR, bottom row first). So no slot ever holds more
// than SlotBytes, and a recording at most Capacity x SlotBytes (22.5 MiB),
// however large the pictures a device sends (up to 8 MiB each).
struct TAVICollection {
    static constexpr int Capacity = 100;
    static constexpr size_t SlotBytes = video::AviWriter::FrameBytes;
    std::vector<std::vector<uint8_t>> AVIStream; // slots 0 .. Count-1 hold frames
    // Per slot: true when it holds the finished sample. Slots beyond its end hold JPEG.
    std::vector<bool> IsSample;
    int Count = 0;

    bool isSample(size_t i) const { return i < IsSample.size() && IsSample[i]; }
};

// Stores one good picture while recording is on and the collection is not full;
// the 100th stored frame sets AVIFull. Returns whether it was stored. The caller
// holds the recording lock. sample: the bytes are the frame's AVI sample.
inline bool appendRecordedFrame(TAVICollection& c, bool AVIRecord, bool& AVIFull, const uint8_t* data,
                                size_t size, bool sample = false) {
    if (!AVIRecord || AVIFull || c.Count >= TAVICollection::Capacity) return false;
    if (c.AVIStream.size() < static_cast<size_t>(TAVICollection::Capacity))
        c.AVIStream.resize(TAVICollection::Capacity);
    if (c.IsSample.size() < static_cast<size_t>(TAVICollection::Capacity))
        c.IsSample.resize(TAVICollection::Capacity);
    const auto at = static_cast<size_t>(c.Count);
    c.AVIStream[at].assign(data, data + size);
    c.IsSample[at] = sample;
    ++c.Count;
    if (c.Count == TAVICollection::Capacity) AVIFull = true;
    return true;
}
