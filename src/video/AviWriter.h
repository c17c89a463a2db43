#pragma once
// A standard AVI (RIFF) file with one uncompressed video stream: 320 x 240,
// 24-bit BGR rows bottom-up, 6 frames per second, every frame a key frame and
// an idx1 index. No Qt here.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace video {

class AviWriter {
public:
    static constexpr int Width = 320;
    static constexpr int Height = 240;
    static constexpr int Rate = 6; // frames per Scale seconds
    static constexpr int Scale = 1;
    static constexpr uint32_t FrameBytes = Width * 3 * Height; // 960-byte rows are already 4-aligned
    static constexpr uint32_t KeyFrame = 0x10;                 // AVIIF_KEYFRAME
    static constexpr uint32_t HasIndex = 0x10;                 // AVIF_HASINDEX
    static constexpr uint32_t Quality = 10000;
    // RIFF sizes are 32-bit and common players stop at 1 GiB; a recording is far below.
    static constexpr uint64_t MaxFileBytes = 1ull << 30;

    // Writes to fd (an empty file opened for writing); does not own or close it.
    explicit AviWriter(int fd) : fd_(fd) {}

    // Headers with counts still zero; false when they could not be written.
    bool begin();
    // One frame of FrameBytes pixel bytes (BGR, bottom row first) as the next sample.
    bool writeFrame(const uint8_t* bgrBottomUp);
    // The index, then the real sizes and counts in the headers.
    bool finish();

    int frames() const { return static_cast<int>(index_.size()); }

    // File offsets of the header fields patched by finish(); for tests.
    static constexpr long RiffSizeAt = 4;
    static constexpr long TotalFramesAt = 24 + 8 + 16;   // avih dwTotalFrames
    static constexpr long StreamLengthAt = 100 + 8 + 32; // strh dwLength
    static constexpr long MoviListAt = 226;              // "LIST" of the movi list

private:
    bool writeAt(uint64_t offset, const void* data, size_t size);

    int fd_;
    uint64_t end_ = 0;            // bytes written so far
    std::vector<uint32_t> index_; // each frame's offset from the "movi" fourcc
    bool failed_ = false;
};

} // namespace video
