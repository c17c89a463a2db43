#include "Blackhole.h"

#include <atomic>
#include <cstdlib>
#include <unistd.h>

namespace {

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

std::string Blackhole::unavailableReason() {
    // Never on the host: the rule would act on the machine's own loopback.
    const char* inNetns = std::getenv("VN_IN_NETNS");
    if (!inNetns || std::string(inNetns) != "1") return "not inside scripts/in-netns.sh";
    if (::geteuid() != 0) return "not root";
    if (!run("nft --version")) return "nft is not installed (Debian package nftables)";
    return {};
}

Blackhole::Blackhole(const std::string& address) {
    static std::atomic<int> serial{0};
    table_ = "vn_blackhole_" + std::to_string(::getpid()) + "_" + std::to_string(++serial);
    active_ = run("nft add table inet " + table_) &&
              run("nft add chain inet " + table_ + " input '{ type filter hook input priority 0; }'") &&
              run("nft add rule inet " + table_ + " input ip daddr " + address + " drop");
    if (!active_) lift();
}

Blackhole::~Blackhole() {
    lift();
}

void Blackhole::lift() {
    run("nft delete table inet " + table_);
    active_ = false;
}
