#include "doorphone-sim/FrameSource.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <turbojpeg.h>

namespace doorphonesim {

namespace {

// 5x7 glyphs, one byte a row, bit 4 is the leftmost pixel.
struct Glyph {
    char c;
    std::array<uint8_t, 7> rows;
};

constexpr Glyph kFont[] = {
    {' ', {0, 0, 0, 0, 0, 0, 0}},
    {'0', {0b01110, 0b10001, 0b10011, 0b10101, 0b11001, 0b10001, 0b01110}},
    {'1', {0b00100, 0b01100, 0b00100, 0b00100, 0b00100, 0b00100, 0b01110}},
    {'2', {0b01110, 0b10001, 0b00001, 0b00010, 0b00100, 0b01000, 0b11111}},
    {'3', {0b11111, 0b00010, 0b00100, 0b00010, 0b00001, 0b10001, 0b01110}},
    {'4', {0b00010, 0b00110, 0b01010, 0b10010, 0b11111, 0b00010, 0b00010}},
    {'5', {0b11111, 0b10000, 0b11110, 0b00001, 0b00001, 0b10001, 0b01110}},
    {'6', {0b00110, 0b01000, 0b10000, 0b11110, 0b10001, 0b10001, 0b01110}},
    {'7', {0b11111, 0b00001, 0b00010, 0b00100, 0b01000, 0b01000, 0b01000}},
    {'8', {0b01110, 0b10001, 0b10001, 0b01110, 0b10001, 0b10001, 0b01110}},
    {'9', {0b01110, 0b10001, 0b10001, 0b01111, 0b00001, 0b00010, 0b01100}},
    {'A', {0b01110, 0b10001, 0b10001, 0b11111, 0b10001, 0b10001, 0b10001}},
    {'B', {0b11110, 0b10001, 0b10001, 0b11110, 0b10001, 0b10001, 0b11110}},
    {'C', {0b01110, 0b10001, 0b10000, 0b10000, 0b10000, 0b10001, 0b01110}},
    {'D', {0b11100, 0b10010, 0b10001, 0b10001, 0b10001, 0b10010, 0b11100}},
    {'E', {0b11111, 0b10000, 0b10000, 0b11110, 0b10000, 0b10000, 0b11111}},
    {'F', {0b11111, 0b10000, 0b10000, 0b11110, 0b10000, 0b10000, 0b10000}},
    {'G', {0b01110, 0b10001, 0b10000, 0b10111, 0b10001, 0b10001, 0b01111}},
    {'H', {0b10001, 0b10001, 0b10001, 0b11111, 0b10001, 0b10001, 0b10001}},
    {'I', {0b01110, 0b00100, 0b00100, 0b00100, 0b00100, 0b00100, 0b01110}},
    {'J', {0b00111, 0b00010, 0b00010, 0b00010, 0b00010, 0b10010, 0b01100}},
    {'K', {0b10001, 0b10010, 0b10100, 0b11000, 0b10100, 0b10010, 0b10001}},
    {'L', {0b10000, 0b10000, 0b10000, 0b10000, 0b10000, 0b10000, 0b11111}},
    {'M', {0b10001, 0b11011, 0b10101, 0b10101, 0b10001, 0b10001, 0b10001}},
    {'N', {0b10001, 0b10001, 0b11001, 0b10101, 0b10011, 0b10001, 0b10001}},
    {'O', {0b01110, 0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b01110}},
    {'P', {0b11110, 0b10001, 0b10001, 0b11110, 0b10000, 0b10000, 0b10000}},
    {'Q', {0b01110, 0b10001, 0b10001, 0b10001, 0b10101, 0b10010, 0b01101}},
    {'R', {0b11110, 0b10001, 0b10001, 0b11110, 0b10100, 0b10010, 0b10001}},
    {'S', {0b01111, 0b10000, 0b10000, 0b01110, 0b00001, 0b00001, 0b11110}},
    {'T', {0b11111, 0b00100, 0b00100, 0b00100, 0b00100, 0b00100, 0b00100}},
    {'U', {0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b01110}},
    {'V', {0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b01010, 0b00100}},
    {'W', {0b10001, 0b10001, 0b10001, 0b10101, 0b10101, 0b10101, 0b01010}},
    {'X', {0b10001, 0b10001, 0b01010, 0b00100, 0b01010, 0b10001, 0b10001}},
    {'Y', {0b10001, 0b10001, 0b10001, 0b01010, 0b00100, 0b00100, 0b00100}},
    {'Z', {0b11111, 0b00001, 0b00010, 0b00100, 0b01000, 0b10000, 0b11111}},
    {':', {0b00000, 0b01100, 0b01100, 0b00000, 0b01100, 0b01100, 0b00000}},
    {'.', {0b00000, 0b00000, 0b00000, 0b00000, 0b00000, 0b01100, 0b01100}},
    {',', {0b00000, 0b00000, 0b00000, 0b00000, 0b01100, 0b00100, 0b01000}},
    {'-', {0b00000, 0b00000, 0b00000, 0b11111, 0b00000, 0b00000, 0b00000}},
    {'_', {0b00000, 0b00000, 0b00000, 0b00000, 0b00000, 0b00000, 0b11111}},
    {'/', {0b00000, 0b00001, 0b00010, 0b00100, 0b01000, 0b10000, 0b00000}},
    {'(', {0b00010, 0b00100, 0b01000, 0b01000, 0b01000, 0b00100, 0b00010}},
    {')', {0b01000, 0b00100, 0b00010, 0b00010, 0b00010, 0b00100, 0b01000}},
    {'#', {0b01010, 0b01010, 0b11111, 0b01010, 0b11111, 0b01010, 0b01010}},
    {'\'', {0b01100, 0b00100, 0b01000, 0b00000, 0b00000, 0b00000, 0b00000}},
    {'!', {0b00100, 0b00100, 0b00100, 0b00100, 0b00100, 0b00000, 0b00100}},
    {'?', {0b01110, 0b10001, 0b00001, 0b00010, 0b00100, 0b00000, 0b00100}},
    {'+', {0b00000, 0b00100, 0b00100, 0b11111, 0b00100, 0b00100, 0b00000}},
    {'=', {0b00000, 0b00000, 0b11111, 0b00000, 0b11111, 0b00000, 0b00000}},
};
// Drawn for any character the font lacks.
constexpr std::array<uint8_t, 7> kBox = {0b11111, 0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b11111};

const std::array<uint8_t, 7>& glyphFor(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const auto& g : kFont)
        if (g.c == c) return g.rows;
    return kBox;
}

struct Rgb {
    uint8_t r, g, b;
};

class Canvas {
public:
    Canvas(std::vector<uint8_t>& px, int w, int h) : px_(px), w_(w), h_(h) {}

    void fill(int x0, int y0, int x1, int y1, Rgb c) {
        x0 = std::max(x0, 0), y0 = std::max(y0, 0);
        x1 = std::min(x1, w_), y1 = std::min(y1, h_);
        for (int y = y0; y < y1; ++y) {
            uint8_t* p = &px_[(static_cast<size_t>(y) * w_ + x0) * 3];
            for (int x = x0; x < x1; ++x, p += 3)
                p[0] = c.r, p[1] = c.g, p[2] = c.b;
        }
    }

    // One line of text on a dark box; continuation bytes of UTF-8 draw nothing,
    // so a non-ASCII character shows as one box.
    void text(int x, int y, int scale, const std::string& s, Rgb c) {
        int chars = 0;
        for (unsigned char ch : s)
            if ((ch & 0xC0) != 0x80) ++chars;
        const int advance = 6 * scale;
        fill(x - scale, y - scale, x + chars * advance + scale, y + 8 * scale, Rgb{0, 0, 0});
        for (unsigned char ch : s) {
            if ((ch & 0xC0) == 0x80) continue;
            const auto& rows = ch < 0x80 ? glyphFor(static_cast<char>(ch)) : kBox;
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col)
                    if (rows[row] >> (4 - col) & 1)
                        fill(x + col * scale, y + row * scale, x + (col + 1) * scale, y + (row + 1) * scale,
                             c);
            x += advance;
        }
    }

private:
    std::vector<uint8_t>& px_;
    const int w_, h_;
};

} // namespace

FrameSource::FrameSource(int width, int height, std::string name)
    : width_(width), height_(height), name_(std::move(name)) {
    tj_ = tjInitCompress();
    outCapacity_ = tjBufSize(width_, height_, TJSAMP_420);
    if (tj_ && outCapacity_ != static_cast<unsigned long>(-1)) out_ = tjAlloc(static_cast<int>(outCapacity_));
}

FrameSource::~FrameSource() {
    if (out_) tjFree(out_);
    if (tj_) tjDestroy(static_cast<tjhandle>(tj_));
}

std::string FrameSource::clockText() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto tenths =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000 / 100;
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(tenths));
    return buf;
}

void FrameSource::render(int64_t index, const std::string& clock, std::vector<uint8_t>& rgb) const {
    rgb.resize(static_cast<size_t>(width_) * height_ * 3);
    Canvas cv(rgb, width_, height_);
    static constexpr Rgb kBars[] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                    {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};
    const int barsBottom = height_ * 2 / 3;
    for (int i = 0; i < 8; ++i)
        cv.fill(width_ * i / 8, 0, width_ * (i + 1) / 8, barsBottom, kBars[i]);
    // A grey ramp below the bars, so that the picture has some gradient to encode.
    for (int x = 0; x < width_; ++x) {
        const auto v = static_cast<uint8_t>(x * 255 / std::max(width_ - 1, 1));
        cv.fill(x, barsBottom, x + 1, height_, Rgb{v, v, v});
    }
    // The bar that slides along shows at a glance whether the stream moves.
    const int barWidth = std::max(width_ / 20, 2);
    const int travel = width_ + barWidth;
    const int step = std::max(width_ / 40, 1);
    const int x = static_cast<int>(index * step % travel) - barWidth;
    cv.fill(x, 0, x + barWidth, height_, Rgb{255, 255, 255});
    cv.fill(x + barWidth / 2 - 1, 0, x + barWidth / 2 + 1, height_, Rgb{0, 0, 0});

    const int scale = std::max(1, height_ / 120);
    // Name and clock at the bottom: the console draws its own caption at the top left.
    cv.text(4 * scale, height_ - 24 * scale, scale, name_, Rgb{255, 255, 255});
    cv.text(4 * scale, height_ - 12 * scale, scale, clock, Rgb{255, 255, 0});
}

std::shared_ptr<const std::string> FrameSource::frame(int64_t index) {
    std::lock_guard lock(mutex_);
    if (index == cachedIndex_ && cached_) return cached_;
    if (!tj_ || !out_) return nullptr;
    render(index, clockText(), rgb_);
    unsigned long size = outCapacity_;
    unsigned char* out = out_;
    if (tjCompress2(static_cast<tjhandle>(tj_), rgb_.data(), width_, 0, height_, TJPF_RGB, &out, &size,
                    TJSAMP_420, 75, TJFLAG_NOREALLOC) != 0)
        return nullptr;
    cached_ = std::make_shared<const std::string>(reinterpret_cast<const char*>(out), size);
    cachedIndex_ = index;
    return cached_;
}

} // namespace doorphonesim
