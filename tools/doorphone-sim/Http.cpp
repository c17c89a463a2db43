#include "doorphone-sim/Http.h"

namespace doorphonesim {

namespace {

std::vector<std::string_view> splitLines(std::string_view head) {
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos <= head.size()) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string_view::npos) end = head.size();
        lines.push_back(head.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

} // namespace

std::optional<Request> takeRequest(std::string& buf) {
    const size_t end = buf.find("\r\n\r\n");
    if (end == std::string::npos) return std::nullopt;
    Request r;
    r.raw = buf.substr(0, end + 4);
    buf.erase(0, end + 4);

    const auto lines = splitLines(std::string_view(r.raw).substr(0, end));
    const std::string_view first = lines.front();
    const size_t s1 = first.find(' ');
    const size_t s2 = s1 == std::string_view::npos ? s1 : first.find(' ', s1 + 1);
    if (s1 != std::string_view::npos) {
        r.method = first.substr(0, s1);
        if (s2 != std::string_view::npos) {
            r.target = first.substr(s1 + 1, s2 - s1 - 1);
            r.version = first.substr(s2 + 1);
        } else {
            r.target = first.substr(s1 + 1);
        }
    } else {
        r.method = first;
    }
    for (size_t i = 1; i < lines.size(); ++i)
        r.headerLines.emplace_back(lines[i]);
    return r;
}

bool hasHeaderLine(const Request& r, std::string_view line) {
    for (const auto& l : r.headerLines)
        if (l == line) return true;
    return false;
}

std::string base64(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += kAlphabet[v >> 6 & 63];
        out += kAlphabet[v & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += rest == 2 ? kAlphabet[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

std::string basicAuthLine(std::string_view user, std::string_view password) {
    std::string credential(user);
    credential += ':';
    credential += password;
    return "Authorization: Basic " + base64(credential);
}

} // namespace doorphonesim
