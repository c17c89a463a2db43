#include "sip/IncomingCaller.h"

#include "sip/LinphoneEvaluator.h"

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithNoCase(std::string_view s, std::string_view p) {
    if (s.size() < p.size()) return false;
    for (size_t i = 0; i < p.size(); ++i)
        if (lower(s[i]) != lower(p[i])) return false;
    return true;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && startsWithNoCase(a, b);
}

// "host", "host:port", "[v6]" or "[v6]:port": the host alone.
std::string_view hostPart(std::string_view s) {
    if (!s.empty() && s.front() == '[') {
        const size_t close = s.find(']');
        return close == std::string_view::npos ? std::string_view{} : s.substr(1, close - 1);
    }
    const size_t colon = s.find(':');
    // More than one colon is a bare IPv6 address, which has no port.
    if (colon != std::string_view::npos && s.find(':', colon + 1) == std::string_view::npos)
        return s.substr(0, colon);
    return s;
}

} // namespace

std::optional<SipCaller> IncomingCallerFrom(std::string_view text) {
    const size_t at = text.find(sipfrag::Incoming);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view line = text.substr(at + sipfrag::Incoming.size());
    line = line.substr(0, line.find('\n'));
    const size_t assigned = line.rfind(", " + std::string(sipfrag::AssignedId));
    if (assigned != std::string_view::npos) line = line.substr(0, assigned);
    line = trimmed(line);

    // A display name puts the address in angle brackets.
    const size_t open = line.find('<');
    if (open != std::string_view::npos) {
        const size_t close = line.find('>', open);
        if (close == std::string_view::npos) return std::nullopt;
        line = line.substr(open + 1, close - open - 1);
    } else {
        line = line.substr(0, line.find(' '));
    }
    if (startsWithNoCase(line, "sip:"))
        line.remove_prefix(4);
    else if (startsWithNoCase(line, "sips:"))
        line.remove_prefix(5);
    else
        return std::nullopt;
    // Parameters and headers are no part of the address.
    line = line.substr(0, line.find_first_of(";?"));

    SipCaller c;
    const size_t atSign = line.rfind('@');
    if (atSign != std::string_view::npos) {
        std::string_view user = line.substr(0, atSign);
        c.user = std::string(user.substr(0, user.find(':'))); // no password
        line.remove_prefix(atSign + 1);
    }
    c.host = std::string(hostPart(line));
    if (c.host.empty() && c.user.empty()) return std::nullopt;
    return c;
}

bool CallerIsPanel(const SipCaller& caller, std::string_view panelIP, std::string_view panelSIPNumber) {
    const std::string_view ip = hostPart(trimmed(panelIP));
    const std::string_view number = trimmed(panelSIPNumber);
    const bool byIP = !ip.empty() && equalNoCase(caller.host, ip);
    const bool bySIP = !number.empty() && caller.user == number;
    return byIP || bySIP;
}
