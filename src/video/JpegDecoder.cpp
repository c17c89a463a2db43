#include "video/JpegDecoder.h"

#include <turbojpeg.h>

namespace video {

JpegDecoder::JpegDecoder() : handle_(tjInitDecompress()) {}

JpegDecoder::~JpegDecoder() {
    if (handle_) tjDestroy(handle_);
}

std::optional<PictureSize> JpegDecoder::header(const uint8_t* data, size_t size) {
    if (!handle_ || !data || size == 0 || size > 0xFFFFFFFFu) return std::nullopt;
    int w = 0, h = 0, subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(handle_, data, static_cast<unsigned long>(size), &w, &h, &subsamp, &colorspace) !=
        0)
        return std::nullopt;
    if (w < 1 || h < 1 || w > MaxSide || h > MaxSide) return std::nullopt;
    if (static_cast<uint64_t>(w) * static_cast<uint64_t>(h) > MaxPixels) return std::nullopt;
    return PictureSize{w, h};
}

PictureSize JpegDecoder::scaledCovering(PictureSize full, PictureSize minimum) {
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    PictureSize best = full;
    for (int i = 0; factors && i < count; ++i) {
        const tjscalingfactor f = factors[i];
        if (f.num > f.denom) continue; // never enlarge by DCT
        const PictureSize s{TJSCALED(full.width, f), TJSCALED(full.height, f)};
        if (s.width >= minimum.width && s.height >= minimum.height && s.width <= best.width &&
            s.height <= best.height)
            best = s;
    }
    return best;
}

bool JpegDecoder::decode(const uint8_t* data, size_t size, uint8_t* dst, PictureSize scaled, int pitch,
                         int pixelFormat, int flags) {
    if (!handle_ || !data || size == 0 || size > 0xFFFFFFFFu || !dst) return false;
    // Progressive pictures with thousands of scans are a known way to burn CPU.
    flags |= TJFLAG_LIMITSCANS;
    const int rc = tjDecompress2(handle_, data, static_cast<unsigned long>(size), dst, scaled.width, pitch,
                                 scaled.height, pixelFormat, flags);
    if (rc == 0) return true;
    return tjGetErrorCode(handle_) == TJERR_WARNING;
}

} // namespace video
