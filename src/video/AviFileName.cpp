#include "video/AviFileName.h"

#include <cstdio>

namespace video {

std::string AviFileName::SafeFileName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) continue;
        // C1 controls (U+0080 .. U+009F, "\xC2\x80" .. "\xC2\x9F" in UTF-8): a
        // terminal takes U+009B for the start of a control sequence. Checked
        // against what is kept, so that no removal joins a new one.
        if (u >= 0x80 && u <= 0x9F && !out.empty() && static_cast<unsigned char>(out.back()) == 0xC2) {
            out.pop_back();
            continue;
        }
        out += c;
    }
    return out;
}

std::string AviFileName::BuildFileName(const std::string& directory, const std::string& guardName,
                                       const std::tm& t) {
    std::string dir = directory;
    for (char& c : dir)
        if (c == '\\') c = '/';
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    const std::string tail = std::string("_") + stamp + ".AVI";
    std::string name = FitName(SafeFileName(guardName), tail.size());
    if (name.empty()) name = "Guard";
    return dir + "/" + name + tail;
}

std::string AviFileName::FitName(std::string name, size_t tailBytes) {
    const size_t used = tailBytes + SuffixRoom;
    const size_t room = used < MaxFileNameBytes ? MaxFileNameBytes - used : 0;
    if (name.size() <= room) return name;
    // Never cut inside a character: step back over at most three continuation
    // bytes (device text that is not UTF-8 is cut where it stands).
    size_t cut = room;
    for (int back = 0; back < 3 && cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80; ++back)
        --cut;
    if ((static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) cut = room;
    name.resize(cut);
    return name;
}

std::string AviFileName::WithSuffix(const std::string& name, int n) {
    const size_t slash = name.rfind('/');
    const size_t dot = name.rfind('.');
    const size_t at =
        (dot != std::string::npos && (slash == std::string::npos || dot > slash)) ? dot : name.size();
    return name.substr(0, at) + "_" + std::to_string(n) + name.substr(at);
}

} // namespace video
