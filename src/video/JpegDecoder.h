#pragma once
// One TurboJPEG decompressor, reused for every picture of a stream. No Qt here.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace video {

struct PictureSize {
    int width = 0;
    int height = 0;
    bool operator==(const PictureSize&) const = default;
};

class JpegDecoder {
public:
    // A picture claiming more than this per side, or more pixels than this in
    // all, is refused before any buffer is sized from it. A few hundred bytes
    // may claim any size, and a progressive picture is held whole while it
    // decodes (2 bytes a pixel and component); no camera sends more than 4096
    // x 4096 (16.8 million pixels, twice 4K).
    static constexpr int MaxSide = 8192;
    static constexpr uint64_t MaxPixels = uint64_t{4096} * 4096;

    JpegDecoder();
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // The picture's full size, or nothing when the header does not parse.
    std::optional<PictureSize> header(const uint8_t* data, size_t size);

    // The smallest DCT scale (never above 1/1) whose output still covers
    // minimum; the full size when no smaller scale does.
    static PictureSize scaledCovering(PictureSize full, PictureSize minimum);

    // Decodes at the given scaled size (one scaledCovering() returned, or the
    // full size) into dst. pixelFormat and flags are TurboJPEG's TJPF_ and
    // TJFLAG_ values. Warnings about slightly damaged data still count as a
    // picture; a fatal error does not.
    bool decode(const uint8_t* data, size_t size, uint8_t* dst, PictureSize scaled, int pitch,
                int pixelFormat, int flags = 0);

    void* handle() const { return handle_; }

private:
    void* handle_ = nullptr;
};

// Resizes a picture of 4-byte pixels (the channels are blended alike, whatever
// their order) by bilinear interpolation: cheap, and as good as an averaging
// scale while no side shrinks below one half. A greater reduction would skip
// source pixels and shimmer, so it is refused (false) and left to an averaging
// scale. Pitches are in bytes.
// The widest vector loops the processor has run it (AVX2 where there is, SSE2
// on every x86-64); tests ask for the narrower ones too, to compare them.
enum class VectorWidth { Widest, Sse2 };
bool resizeBilinear(const uint8_t* src, PictureSize from, int srcPitch, uint8_t* dst, PictureSize to,
                    int dstPitch, VectorWidth width = VectorWidth::Widest);

} // namespace video
