#include "video/JpegDecoder.h"

#include <algorithm>
#include <cstring>
#include <turbojpeg.h>
#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

namespace {

// Where destination pixel i of n falls among the source's m pixels, with pixel
// centres aligned: the first source pixel in [0, m-1] and the weight of the
// next one, in 1/256 (0 on the last pixel, so nothing beyond it counts).
struct Tap {
    int first;
    uint32_t weight;
};

Tap tapFor(int i, int n, int m) {
    const int64_t pos = (int64_t{2} * i + 1) * m * 256 / (int64_t{2} * n) - 128;
    const int64_t last = int64_t{m - 1} * 256;
    const int64_t p = std::clamp<int64_t>(pos, 0, last);
    return {static_cast<int>(p >> 8), static_cast<uint32_t>(p & 255)};
}

// One destination pixel from source pixels a and b: the four channels spread
// to 16 bits each, so that one 64-bit multiply weighs them all.
inline uint32_t blend(uint32_t a, uint32_t b, uint32_t weight) {
    constexpr uint64_t lanes = 0x00FF00FF00FF00FFull;
    const uint64_t wa = (uint64_t{a} | uint64_t{a} << 24) & lanes;
    const uint64_t wb = (uint64_t{b} | uint64_t{b} << 24) & lanes;
    const uint64_t m = ((wa * (256 - weight) + wb * weight + 0x0080008000800080ull) >> 8) & lanes;
    return static_cast<uint32_t>(m | m >> 24);
}

void blendRow(const uint32_t* row, uint8_t* out, const Tap* columns, int count) {
    int x = 0;
#ifdef __SSE2__
    // Two pixels a step, bit for bit what blend() gives: each source pair
    // interleaved channel by channel, so that one multiply-add weighs a pair.
    const __m128i zero = _mm_setzero_si128(), rounding = _mm_set1_epi32(128);
    auto weighed = [&](const Tap& c) {
        __m128i ab = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + c.first));
        ab = _mm_unpacklo_epi8(_mm_unpacklo_epi8(ab, _mm_srli_si128(ab, 4)), zero);
        const __m128i w = _mm_set1_epi32(static_cast<int>(c.weight << 16 | (256 - c.weight)));
        return _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(ab, w), rounding), 8);
    };
    for (; x + 2 <= count; x += 2) {
        const __m128i words = _mm_packs_epi32(weighed(columns[x]), weighed(columns[x + 1]));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + static_cast<ptrdiff_t>(x) * 4),
                         _mm_packus_epi16(words, words));
    }
#endif
    for (; x < count; ++x) {
        const uint32_t px = blend(row[columns[x].first], row[columns[x].first + 1], columns[x].weight);
        std::memcpy(out + static_cast<ptrdiff_t>(x) * 4, &px, 4);
    }
}

// Two source rows blended byte by byte into out: (a * (256 - w) + b * w + 128)
// / 256, which never exceeds 16 bits since the weights add up to 256.
void blendRows(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t count, uint32_t weight) {
    const uint32_t w1 = weight, w0 = 256 - w1;
    size_t i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128(), rounding = _mm_set1_epi16(128);
    const __m128i m0 = _mm_set1_epi16(static_cast<short>(w0)), m1 = _mm_set1_epi16(static_cast<short>(w1));
    auto half = [&](__m128i x, __m128i y) {
        return _mm_srli_epi16(
            _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(x, m0), _mm_mullo_epi16(y, m1)), rounding), 8);
    };
    for (; i + 16 <= count; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i lo = half(_mm_unpacklo_epi8(x, zero), _mm_unpacklo_epi8(y, zero));
        const __m128i hi = half(_mm_unpackhi_epi8(x, zero), _mm_unpackhi_epi8(y, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; i < count; ++i)
        out[i] = static_cast<uint8_t>((a[i] * w0 + b[i] * w1 + 128) >> 8);
}

} // namespace

bool resizeBilinear(const uint8_t* src, PictureSize from, int srcPitch, uint8_t* dst, PictureSize to,
                    int dstPitch) {
    if (!src || !dst || from.width < 1 || from.height < 1 || to.width < 1 || to.height < 1) return false;
    if (int64_t{to.width} * 2 < from.width || int64_t{to.height} * 2 < from.height) return false;
    std::vector<Tap> columns(static_cast<size_t>(to.width));
    for (int x = 0; x < to.width; ++x)
        columns[static_cast<size_t>(x)] = tapFor(x, to.width, from.width);
    // One source row blended vertically, with its last pixel repeated so that
    // a tap on it may read its (unweighted) neighbour.
    std::vector<uint32_t> row(static_cast<size_t>(from.width) + 1);
    auto* rowBytes = reinterpret_cast<uint8_t*>(row.data());
    const size_t rowLen = static_cast<size_t>(from.width) * 4;
    for (int y = 0; y < to.height; ++y) {
        const Tap t = tapFor(y, to.height, from.height);
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(t.first) * srcPitch;
        if (t.weight == 0) {
            std::memcpy(rowBytes, r0, rowLen);
        } else {
            blendRows(r0, r0 + srcPitch, rowBytes, rowLen, t.weight);
        }
        row[static_cast<size_t>(from.width)] = row[static_cast<size_t>(from.width) - 1];
        blendRow(row.data(), dst + static_cast<ptrdiff_t>(y) * dstPitch, columns.data(), to.width);
    }
    return true;
}

} // namespace video
