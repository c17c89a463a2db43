#pragma once
#include <string>

// A pulled cable on loopback: while it lasts, every packet to one address is
// dropped (ping included), so nothing there answers, refuses or closes. An
// nftables table of its own in the test's private network namespace; removed
// again by lift() or at the end of its scope.
class Blackhole {
public:
    // Empty when black holes can be made here: root inside the suite's private
    // loopback-only namespace, with nft installed. Otherwise why not.
    static std::string unavailableReason();

    explicit Blackhole(const std::string& address); // active() tells whether the rule is in place
    ~Blackhole();
    Blackhole(const Blackhole&) = delete;
    Blackhole& operator=(const Blackhole&) = delete;

    bool active() const { return active_; }
    void lift();

private:
    std::string table_;
    bool active_ = false;
};
