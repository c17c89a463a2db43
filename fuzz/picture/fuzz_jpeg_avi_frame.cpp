// A recorded JPEG picture made into its AVI sample, from any bytes: it must not
// crash, a sample is always exactly 320 x 240 BGR, and a picture that does not
// decode leaves the previous sample as it was (the recording repeats it).
#include "video/AviFrame.h"
#include "video/AviWriter.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Decoder and scratch live as long as a recording does: from picture to picture.
    static video::JpegDecoder decoder;
    static std::vector<uint8_t> scratch;
    std::vector<uint8_t> frame(video::AviWriter::FrameBytes, 0x5A);
    const std::vector<uint8_t> before = frame;
    if (!video::jpegToAviFrame(decoder, data, size, frame, scratch)) {
        if (frame != before) std::abort();
        return 0;
    }
    if (frame.size() != video::AviWriter::FrameBytes) std::abort();
    const auto full = decoder.header(data, size);
    if (!full) std::abort();
    if (static_cast<uint64_t>(full->width) * static_cast<uint64_t>(full->height) >
        video::JpegDecoder::MaxPixels)
        std::abort();
    return 0;
}
