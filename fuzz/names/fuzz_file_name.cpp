// Device-reported names made into file names: whatever the device sends, the
// name is one path component without control characters, keeps within the 255
// bytes of a file name with its stamp and any no-overwrite suffix, and a name
// that is UTF-8 is never cut inside a character.
#include "video/AviFileName.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

namespace {

using video::AviFileName;

bool validUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t more = c < 0x80 ? 0 : c >= 0xC2 && c < 0xE0 ? 1 : c >= 0xE0 && c < 0xF0 ? 2 : 3;
        if ((c >= 0x80 && c < 0xC2) || c >= 0xF5 || more >= s.size() - i) return false;
        for (size_t k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += more + 1;
    }
    return true;
}

// A file name part as a shell, a terminal or a file manager may show it:
// no separator, no C0 or C1 control character, no DEL.
void checkComponent(std::string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        const auto u = static_cast<unsigned char>(s[i]);
        if (u == '/' || u == '\\' || u < 0x20 || u == 0x7F) std::abort();
        if (u == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(s[i + 1]) <= 0x9F)
            std::abort();
    }
}

bool startsWith(std::string_view s, std::string_view p) {
    return s.substr(0, p.size()) == p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    // The first bytes choose the time and the suffix; the rest is the name.
    std::tm t{};
    t.tm_year = 70 + data[0] * 31 % 8000; // 1970 .. 9969
    t.tm_mon = data[1] % 12;
    t.tm_mday = 1 + data[1] / 12 % 31;
    t.tm_hour = data[2] % 24;
    t.tm_min = data[3] % 60;
    t.tm_sec = data[2] / 24 % 60;
    const int suffix = 2 + (data[3] * 37 + data[0]) % 999; // 2 .. 1000
    const std::string name(reinterpret_cast<const char*>(data + 4), size - 4);
    const bool utf8 = validUtf8(name);

    const std::string safe = AviFileName::SafeFileName(name);
    checkComponent(safe);
    if (utf8 && !validUtf8(safe)) std::abort();

    const std::string dir = "/rec";
    const std::string full = AviFileName::BuildFileName(dir, name, t);
    if (!startsWith(full, dir + "/")) std::abort();
    const std::string file = full.substr(dir.size() + 1);
    checkComponent(file);
    if (file.size() + AviFileName::SuffixRoom > AviFileName::MaxFileNameBytes) std::abort();
    if (file.size() < 4 || file.substr(file.size() - 4) != ".AVI") std::abort();
    if (utf8 && !validUtf8(file)) std::abort();
    // The caption is a prefix of the cleaned name (or "Guard" when nothing is left).
    const std::string caption = file.substr(0, file.rfind('_'));
    if (!startsWith(safe, caption) && caption != "Guard") std::abort();

    const std::string again = AviFileName::WithSuffix(file, suffix);
    checkComponent(again);
    if (again.size() > AviFileName::MaxFileNameBytes) std::abort();
    if (again.substr(again.size() - 4) != ".AVI") std::abort();
    if (AviFileName::WithSuffix(full, suffix) != dir + "/" + again) std::abort();

    // A snapshot's name: the same caption with a JPEG tail.
    const std::string tail = "_2017-03-03 14-05-09.JPG";
    const std::string shot = AviFileName::FitName(safe, tail.size()) + tail;
    checkComponent(shot);
    if (AviFileName::WithSuffix(shot, suffix).size() > AviFileName::MaxFileNameBytes) std::abort();
    if (utf8 && !validUtf8(shot)) std::abort();
    return 0;
}
