#pragma once
#include <string>

// The HTTP requests the desk sends to a door phone. Each line ends CR LF; the
// Basic-authorization line, when a credential is set, is the last header line.
namespace doorphone {

// "GET /video.mjpg ..." with User-Agent and Host, ending with the empty line.
std::string videoRequest(const std::string& host, const std::string& credential);
// "GET /events.txt ...", ending with the empty line.
std::string eventsRequest(const std::string& credential);
// Lock relay 1 or 2, WITHOUT the final empty line: the one-shot sender adds CR LF.
std::string lockRequest(int relay, const std::string& credential);

} // namespace doorphone
