#include "app/IniProfile.h"

#include "platform/Folders.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

} // namespace

std::optional<int32_t> ParseIniInteger(std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (!s.empty() && s.front() == '$') {
        base = 16;
        s.remove_prefix(1);
    } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return std::nullopt;
    int64_t v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v * base + d;
        // Hexadecimal may name the full 32-bit pattern (e.g. $FFFFFFFF is -1).
        if (v > (base == 16 ? int64_t{0xFFFFFFFF} : int64_t{0x80000000})) return std::nullopt;
    }
    if (base == 16 && v > 0x7FFFFFFF) v -= int64_t{1} << 32;
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return std::nullopt;
    return static_cast<int32_t>(v);
}

bool IsNumber(std::string_view text) {
    return ParseIniInteger(text).has_value();
}

IniProfile::Line IniProfile::parseLine(std::string raw) {
    Line l;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    l.raw = std::move(raw);
    std::string_view t = trim(l.raw);
    if (!t.empty() && t.front() == '[') {
        auto close = t.find(']');
        if (close != std::string_view::npos) {
            l.isSection = true;
            l.section = std::string(trim(t.substr(1, close - 1)));
        }
        return l;
    }
    if (t.empty() || t.front() == ';') return l;
    auto eq = t.find('=');
    if (eq == std::string_view::npos) return l;
    l.isKey = true;
    l.key = std::string(trim(t.substr(0, eq)));
    return l;
}

void IniProfile::loadText(std::string_view text) {
    lines_.clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) nl = text.size();
        lines_.push_back(parseLine(std::string(text.substr(start, nl - start))));
        start = nl + 1;
    }
}

bool IniProfile::loadFile(const std::string& path) {
    struct stat st {};
    std::ifstream in;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) in.open(path, std::ios::binary);
    if (!in) {
        lines_.clear();
        return false;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        lines_.clear();
        return false;
    }
    loadText(text);
    return true;
}

int IniProfile::findKey(std::string_view section, std::string_view key, int* sectionEnd) const {
    bool inSection = false;
    if (sectionEnd) *sectionEnd = -1;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line& l = lines_[i];
        if (l.isSection) {
            inSection = equalsNoCase(l.section, section);
            if (inSection && sectionEnd && *sectionEnd < 0) *sectionEnd = static_cast<int>(i) + 1;
            continue;
        }
        if (!inSection) continue;
        if (sectionEnd && !trim(l.raw).empty()) *sectionEnd = static_cast<int>(i) + 1;
        if (l.isKey && equalsNoCase(l.key, key)) return static_cast<int>(i);
    }
    return -1;
}

std::optional<std::string> IniProfile::value(std::string_view section, std::string_view key) const {
    int i = findKey(section, key, nullptr);
    if (i < 0) return std::nullopt;
    std::string_view t = trim(lines_[static_cast<size_t>(i)].raw);
    return std::string(trim(t.substr(t.find('=') + 1)));
}

std::string IniProfile::readString(std::string_view section, std::string_view key,
                                   const std::string& def) const {
    return value(section, key).value_or(def);
}

int32_t IniProfile::readInteger(std::string_view section, std::string_view key, int32_t def) const {
    auto v = value(section, key);
    if (!v) return def;
    return ParseIniInteger(*v).value_or(def);
}

bool IniProfile::readBool(std::string_view section, std::string_view key, bool def) const {
    return readInteger(section, key, def ? 1 : 0) != 0;
}

void IniProfile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    std::string raw(key);
    raw.push_back('=');
    raw.append(value);
    int sectionEnd = -1;
    int i = findKey(section, key, &sectionEnd);
    if (i >= 0) {
        lines_[static_cast<size_t>(i)] = parseLine(raw);
        return;
    }
    if (sectionEnd >= 0) {
        lines_.insert(lines_.begin() + sectionEnd, parseLine(raw));
        return;
    }
    if (!lines_.empty() && !trim(lines_.back().raw).empty()) lines_.push_back(parseLine(""));
    std::string header(1, '[');
    header.append(section).push_back(']');
    lines_.push_back(parseLine(std::move(header)));
    lines_.push_back(parseLine(raw));
}

std::string IniProfile::text() const {
    std::string out;
    for (const Line& l : lines_)
        out += l.raw + "\r\n";
    return out;
}

bool IniProfile::saveFile(const std::string& path, std::string* error) const {
    auto fail = [error](int err) {
        if (error) *error = std::strerror(err);
        return false;
    };
    struct stat st {};
    mode_t mode = 0600;
    if (::stat(path.c_str(), &st) == 0) {
        if (::access(path.c_str(), W_OK) != 0) return fail(errno); // a read-only file stays as it is
        mode = st.st_mode & 0777;
    }
    const std::string tmp = path + ".tmp";
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return fail(errno);
    ::fchmod(fd, mode);
    const std::string data = text();
    int err = 0;
    errno = 0;
    if (!platform::writeAll(fd, data.data(), data.size())) err = errno ? errno : EIO;
    if (::fsync(fd) != 0 && !err) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (!err && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
    if (!err) return true;
    ::unlink(tmp.c_str());
    return fail(err);
}
