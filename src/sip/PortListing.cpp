#include "sip/PortListing.h"

#include <string>

std::vector<pid_t> ParsePortOwnerPids(std::string_view listing, int port) {
    const std::string suffix = ":" + std::to_string(port);
    std::vector<pid_t> owners;
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find('\n', start);
        if (end == std::string_view::npos) end = listing.size();
        std::string_view line = listing.substr(start, end - start);
        start = end + 1;
        // Columns: state, recv-q, send-q, local address, peer address, process.
        size_t pos = 0;
        std::string_view local;
        for (int column = 0; column < 4; ++column) {
            pos = line.find_first_not_of(' ', pos);
            if (pos == std::string_view::npos) break;
            size_t stop = line.find(' ', pos);
            if (stop == std::string_view::npos) stop = line.size();
            if (column == 3) local = line.substr(pos, stop - pos);
            pos = stop;
        }
        if (local.size() <= suffix.size() || local.substr(local.size() - suffix.size()) != suffix) continue;
        // The last such line decides, also when it names nobody.
        owners.clear();
        for (size_t p = line.find("pid="); p != std::string_view::npos; p = line.find("pid=", p + 4)) {
            pid_t pid = 0;
            size_t i = p + 4;
            for (; i < line.size() && line[i] >= '0' && line[i] <= '9' && pid < 100000000; ++i)
                pid = pid * 10 + (line[i] - '0');
            if (i > p + 4) owners.push_back(pid);
        }
    }
    return owners;
}
