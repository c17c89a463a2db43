#include "video/JpegDecoder.h"

#include <algorithm>
#include <cstring>
#include <turbojpeg.h>
#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VN_RESIZE_AVX2 1
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

void blendRow(const uint32_t* row, uint8_t* out, const Tap* columns, int count, int x = 0) {
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
void blendRows(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t count, uint32_t weight,
               size_t i = 0) {
    const uint32_t w1 = weight, w0 = 256 - w1;
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

#ifdef VN_RESIZE_AVX2
// The same two loops eight and four times as wide where the processor has
// AVX2, bit for bit what the ones above give; they leave the rest to them.

#define VN_AVX2 __attribute__((target("avx2")))

VN_AVX2 inline __m256i blendWords(__m256i x, __m256i y, __m256i m0, __m256i m1) {
    const __m256i rounding = _mm256_set1_epi16(128);
    return _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(x, m0), _mm256_mullo_epi16(y, m1)), rounding),
        8);
}

VN_AVX2 void blendRowsWide(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t count, uint32_t weight) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i m0 = _mm256_set1_epi16(static_cast<short>(256 - weight));
    const __m256i m1 = _mm256_set1_epi16(static_cast<short>(weight));
    const auto half = [&](__m256i x, __m256i y) VN_AVX2 { return blendWords(x, y, m0, m1); };
    size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        // Unpacking and packing work within each 16-byte half alike, so the
        // bytes come back in their places.
        const __m256i lo = half(_mm256_unpacklo_epi8(x, zero), _mm256_unpacklo_epi8(y, zero));
        const __m256i hi = half(_mm256_unpackhi_epi8(x, zero), _mm256_unpackhi_epi8(y, zero));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_packus_epi16(lo, hi));
    }
    blendRows(a, b, out, count, weight, i);
}

// weights[x] holds column x's pair of weights as one multiply-add wants them:
// 256 - w in the low half (the left pixel's), w in the high half.
VN_AVX2 inline __m128i pixelPair(const uint32_t* row, const Tap& c) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + c.first));
}

VN_AVX2 void blendRowWide(const uint32_t* row, uint8_t* out, const Tap* columns, const uint32_t* weights,
                          int count) {
    const __m256i zero = _mm256_setzero_si256(), rounding = _mm256_set1_epi32(128);
    // Each pixel pair [a0 a1 a2 a3 b0 b1 b2 b3] interleaved channel by channel.
    const __m256i interleave = _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15, 0, 4, 1,
                                                5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
    const __m256i evenPixels = _mm256_setr_epi32(0, 0, 0, 0, 2, 2, 2, 2);
    const __m256i oddPixels = _mm256_setr_epi32(1, 1, 1, 1, 3, 3, 3, 3);
    const auto pair = [row](const Tap& c) VN_AVX2 { return pixelPair(row, c); };
    int x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m128i p01 = _mm_unpacklo_epi64(pair(columns[x]), pair(columns[x + 1]));
        const __m128i p23 = _mm_unpacklo_epi64(pair(columns[x + 2]), pair(columns[x + 3]));
        const __m256i pairs =
            _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(p01), p23, 1), interleave);
        // Low words: pixels x and x + 2; high words: x + 1 and x + 3.
        const __m256i w =
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + x)));
        const __m256i even =
            _mm256_srli_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi8(pairs, zero),
                                                                 _mm256_permutevar8x32_epi32(w, evenPixels)),
                                               rounding),
                              8);
        const __m256i odd =
            _mm256_srli_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi8(pairs, zero),
                                                                 _mm256_permutevar8x32_epi32(w, oddPixels)),
                                               rounding),
                              8);
        const __m256i words = _mm256_packs_epi32(even, odd); // x, x + 1 | x + 2, x + 3
        const __m256i bytes = _mm256_packus_epi16(words, words);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + static_cast<ptrdiff_t>(x) * 4),
                         _mm256_castsi256_si128(_mm256_permute4x64_epi64(bytes, 0x08)));
    }
    blendRow(row, out, columns, count, x);
}

bool hasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#else
bool hasAvx2() {
    return false;
}
void blendRowsWide(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t count, uint32_t weight) {
    blendRows(a, b, out, count, weight);
}
void blendRowWide(const uint32_t* row, uint8_t* out, const Tap* columns, const uint32_t*, int count) {
    blendRow(row, out, columns, count);
}
#endif

} // namespace

bool resizeBilinear(const uint8_t* src, PictureSize from, int srcPitch, uint8_t* dst, PictureSize to,
                    int dstPitch, VectorWidth width) {
    if (!src || !dst || from.width < 1 || from.height < 1 || to.width < 1 || to.height < 1) return false;
    if (int64_t{to.width} * 2 < from.width || int64_t{to.height} * 2 < from.height) return false;
    std::vector<Tap> columns(static_cast<size_t>(to.width));
    for (int x = 0; x < to.width; ++x)
        columns[static_cast<size_t>(x)] = tapFor(x, to.width, from.width);
    const bool wide = width == VectorWidth::Widest && hasAvx2();
    std::vector<uint32_t> weights;
    if (wide)
        for (const Tap& c : columns)
            weights.push_back(c.weight << 16 | (256 - c.weight));
    // One source row blended vertically, with its last pixel repeated so that
    // a tap on it may read its (unweighted) neighbour.
    std::vector<uint32_t> row(static_cast<size_t>(from.width) + 1);
    auto* rowBytes = reinterpret_cast<uint8_t*>(row.data());
    const size_t rowLen = static_cast<size_t>(from.width) * 4;
    for (int y = 0; y < to.height; ++y) {
        const Tap t = tapFor(y, to.height, from.height);
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(t.first) * srcPitch;
        uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstPitch;
        if (t.weight == 0)
            std::memcpy(rowBytes, r0, rowLen);
        else if (wide)
            blendRowsWide(r0, r0 + srcPitch, rowBytes, rowLen, t.weight);
        else
            blendRows(r0, r0 + srcPitch, rowBytes, rowLen, t.weight);
        row[static_cast<size_t>(from.width)] = row[static_cast<size_t>(from.width) - 1];
        if (wide)
            blendRowWide(row.data(), out, columns.data(), weights.data(), to.width);
        else
            blendRow(row.data(), out, columns.data(), to.width);
    }
    return true;
}

} // namespace video
