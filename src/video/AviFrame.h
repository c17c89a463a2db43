#pragma once
// One recorded JPEG picture made into one AVI sample. No Qt here.
#include "video/JpegDecoder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace video {

// Decodes a JPEG picture into out as AviWriter::FrameBytes of BGR pixels,
// bottom row first, at 320 x 240: decoded at the smallest DCT scale that still
// covers that size, then resampled when the scaled size is not exactly it.
// false when the picture does not decode; out is then unchanged.
bool jpegToAviFrame(JpegDecoder& decoder, const uint8_t* jpeg, size_t size, std::vector<uint8_t>& out,
                    std::vector<uint8_t>& scratch);

// Bilinear resample of packed 3-byte pixels; row order is kept as it is.
void resampleBgr(const uint8_t* src, int srcW, int srcH, int srcPitch, uint8_t* dst, int dstW, int dstH,
                 int dstPitch);

} // namespace video
