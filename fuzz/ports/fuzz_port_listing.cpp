// The socket listing on any bytes: reading must not crash, must name only
// process ids it read, and only the last line with the port may decide.
#include "sip/PortListing.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first two bytes choose the port; 5060 most of the time, as the desk asks.
    const int port = data[0] < 0xC0 ? 5060 : (data[0] << 8 | data[1]) & 0xFFFF;
    const std::string_view listing(reinterpret_cast<const char*>(data + 2), size - 2);

    const auto owners = ParsePortOwnerPids(listing, port);
    size_t named = 0;
    for (size_t p = listing.find("pid="); p != std::string_view::npos; p = listing.find("pid=", p + 4))
        ++named;
    if (owners.size() > named) std::abort();
    for (pid_t pid : owners)
        if (pid < 0) std::abort();

    // Lines before the last one that decides change nothing: the listing from
    // any line on gives the same owners whenever that part still holds a
    // line with the port (the owners found, or a line naming nobody).
    const size_t nl = listing.find('\n');
    if (nl != std::string_view::npos) {
        const auto rest = ParsePortOwnerPids(listing.substr(nl + 1), port);
        // With the first line gone, the result differs only when no later
        // line had the port; then the rest names nobody.
        if (rest != owners && !rest.empty()) std::abort();
    }
    return 0;
}
