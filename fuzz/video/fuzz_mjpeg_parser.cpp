// The stream parser on any bytes: it must not crash, must keep its bounds, and
// must give the same events however the bytes are split into receives.
#include "video/MjpegParser.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> run(const uint8_t* data, size_t size, const uint8_t* cuts, size_t ncuts) {
    video::MjpegParser p;
    std::vector<std::string> out;
    size_t at = 0, k = 0;
    while (at < size) {
        // Receive sizes from the cut bytes (1 .. 256), or the rest at once.
        size_t n = ncuts ? static_cast<size_t>(cuts[k++ % ncuts]) + 1 : size - at;
        if (n > size - at) n = size - at;
        for (auto& e : p.feed(data + at, n)) {
            if (e.kind == video::MjpegEvent::Kind::Picture) {
                if (e.picture.size() < 15 || e.picture.front() != 0xFF ||
                    e.picture.size() > video::MjpegParser::MaxPictureLength + 15)
                    std::abort();
                out.emplace_back(e.picture.begin(), e.picture.end());
            } else {
                out.push_back(e.text);
            }
            if (e.endOffset > n) std::abort();
        }
        if (p.title().size() > video::MjpegParser::MaxTitleLength) std::abort();
        at += n;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte says how many of the following bytes describe the split.
    const size_t ncuts = std::min<size_t>(data[0] % 8, size - 1);
    const uint8_t* cuts = data + 1;
    const uint8_t* stream = data + 1 + ncuts;
    const size_t len = size - 1 - ncuts;
    if (run(stream, len, cuts, 0) != run(stream, len, cuts, ncuts)) std::abort();
    return 0;
}
