// The settings file on any bytes: reading must not crash, the text written
// back must read the same way again, and a written value must read back.
#include "app/IniProfile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// A value that a settings line can hold: no line breaks, no blanks around it.
bool storable(std::string_view v) {
    if (v.find_first_of("\r\n") != std::string_view::npos) return false;
    return v.empty() || (v.front() != ' ' && v.front() != '\t' && v.back() != ' ' && v.back() != '\t');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    // The first line names a section, a key and a value to write; the rest is the file.
    const size_t nl = in.find('\n');
    const std::string_view head = nl == std::string_view::npos ? std::string_view() : in.substr(0, nl);
    const std::string_view file = nl == std::string_view::npos ? in : in.substr(nl + 1);

    IniProfile ini;
    ini.loadText(file);
    (void)ini.readInteger("global", "Port", 7);
    (void)ini.readBool("global", "CheckBox2", false);
    (void)ParseIniInteger(file.substr(0, 32));

    IniProfile again;
    again.loadText(ini.text());
    if (again.text() != ini.text()) std::abort();

    const size_t a = head.find('\t'), b = a == std::string_view::npos ? a : head.find('\t', a + 1);
    if (b == std::string_view::npos) return 0;
    const std::string_view section = head.substr(0, a), key = head.substr(a + 1, b - a - 1),
                           value = head.substr(b + 1);
    auto plain = [](std::string_view t) {
        return !t.empty() && t.find_first_of("[]=;\r\n\t ") == std::string_view::npos;
    };
    if (!plain(section) || !plain(key) || !storable(value)) return 0;
    ini.writeString(section, key, value);
    IniProfile written;
    written.loadText(ini.text());
    const auto got = written.value(section, key);
    if (!got || *got != value) std::abort();
    return 0;
}
