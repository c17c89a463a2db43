#include "video/AviFrame.h"

#include "video/AviWriter.h"

#include <turbojpeg.h>

namespace video {

void resampleBgr(const uint8_t* src, int srcW, int srcH, int srcPitch, uint8_t* dst, int dstW, int dstH,
                 int dstPitch) {
    // 16.16 fixed point, pixel centres aligned; edges clamp.
    auto axis = [](int s, int d, std::vector<int>& i0, std::vector<int>& frac) {
        i0.resize(static_cast<size_t>(d));
        frac.resize(static_cast<size_t>(d));
        const int64_t step = (static_cast<int64_t>(s) << 16) / d;
        for (int k = 0; k < d; ++k) {
            int64_t pos = (2 * k + 1) * step / 2 - (1 << 15);
            if (pos < 0) pos = 0;
            int base = static_cast<int>(pos >> 16);
            int f = static_cast<int>(pos & 0xFFFF);
            if (base >= s - 1) {
                base = s - 1;
                f = 0;
            }
            i0[static_cast<size_t>(k)] = base;
            frac[static_cast<size_t>(k)] = f;
        }
    };
    std::vector<int> x0, fx, y0, fy;
    axis(srcW, dstW, x0, fx);
    axis(srcH, dstH, y0, fy);
    for (int y = 0; y < dstH; ++y) {
        const int sy = y0[static_cast<size_t>(y)];
        const int wy = fy[static_cast<size_t>(y)];
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(sy) * srcPitch;
        const uint8_t* r1 = sy + 1 < srcH ? r0 + srcPitch : r0;
        uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstPitch;
        for (int x = 0; x < dstW; ++x) {
            const int sx = x0[static_cast<size_t>(x)];
            const int wx = fx[static_cast<size_t>(x)];
            const int nx = sx + 1 < srcW ? 3 : 0;
            const uint8_t* a = r0 + 3 * sx;
            const uint8_t* b = r1 + 3 * sx;
            for (int c = 0; c < 3; ++c) {
                const int64_t top = a[c] * (65536 - wx) + a[c + nx] * wx;
                const int64_t bottom = b[c] * (65536 - wx) + b[c + nx] * wx;
                const int64_t v = (top * (65536 - wy) + bottom * wy + (1ll << 31)) >> 32;
                out[3 * x + c] = static_cast<uint8_t>(v);
            }
        }
    }
}

bool jpegToAviFrame(JpegDecoder& decoder, const uint8_t* jpeg, size_t size, std::vector<uint8_t>& out,
                    std::vector<uint8_t>& scratch) {
    constexpr PictureSize target{AviWriter::Width, AviWriter::Height};
    const auto full = decoder.header(jpeg, size);
    if (!full) return false;
    const PictureSize scaled = JpegDecoder::scaledCovering(*full, target);
    const int flags = TJFLAG_BOTTOMUP;
    if (scaled == target) {
        if (out.size() != AviWriter::FrameBytes) out.resize(AviWriter::FrameBytes);
        // Straight into the sample; on failure its bytes are not worth keeping anyway,
        // but keep the promise that out is unchanged.
        scratch.resize(AviWriter::FrameBytes);
        if (!decoder.decode(jpeg, size, scratch.data(), scaled, AviWriter::Width * 3, TJPF_BGR, flags))
            return false;
        out.swap(scratch);
        return true;
    }
    const int pitch = scaled.width * 3;
    scratch.resize(static_cast<size_t>(pitch) * static_cast<size_t>(scaled.height));
    if (!decoder.decode(jpeg, size, scratch.data(), scaled, pitch, TJPF_BGR, flags)) return false;
    out.resize(AviWriter::FrameBytes);
    resampleBgr(scratch.data(), scaled.width, scaled.height, pitch, out.data(), AviWriter::Width,
                AviWriter::Height, AviWriter::Width * 3);
    return true;
}

} // namespace video
