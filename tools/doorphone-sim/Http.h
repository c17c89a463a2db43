#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The little HTTP the simulated door phone understands: requests read from a
// byte stream by their closing empty line, and Basic credentials.
namespace doorphonesim {

struct Request {
    std::string raw;                      // every byte up to and including the empty line
    std::string method, target, version;  // from the request line
    std::vector<std::string> headerLines; // the lines between the request line and the empty line
};

// Takes the first complete request (ended by CR LF CR LF) off the front of buf.
// Returns nothing and leaves buf as it is while the request is incomplete.
std::optional<Request> takeRequest(std::string& buf);

// True when one of the header lines is exactly `line`.
bool hasHeaderLine(const Request& r, std::string_view line);

std::string base64(std::string_view bytes);

// The Authorization line a client must send for user and password.
std::string basicAuthLine(std::string_view user, std::string_view password);

} // namespace doorphonesim
