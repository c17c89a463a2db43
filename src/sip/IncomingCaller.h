#pragma once
#include <optional>
#include <string>
#include <string_view>

// Who is calling the desk, read from the client's announcing line alone: the
// rest of an output piece carries the client's own address and time stamps,
// which must never pick a door phone.

struct SipCaller {
    std::string user; // the part before '@', may be empty
    std::string host; // address or name, without port or brackets
};

// The caller of the first "Receiving new incoming call from ..." line in text
// ("sip:door@127.0.0.1" or "\"Front Door\" <sip:door@127.0.0.1>"); nothing
// when there is no such line or no address in it.
std::optional<SipCaller> IncomingCallerFrom(std::string_view text);

// True when the call comes from this door phone: the caller's host is the
// panel's address (a port on either side does not count), or the caller's user
// part is the panel's SIP number. Whole values only; empty values never match.
bool CallerIsPanel(const SipCaller& caller, std::string_view panelIP, std::string_view panelSIPNumber);
