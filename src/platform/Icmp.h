#pragma once
#include <atomic>
#include <cstdint>
#include <string>

// One ICMP echo request at a time, IPv4. Uses an ICMP datagram socket where
// net.ipv4.ping_group_range allows it, else a raw socket (root or
// CAP_NET_RAW), else the system's ping program.
namespace platform {

enum class IcmpMechanism { Datagram, Raw, PingProgram };

class IcmpEcho {
public:
    explicit IcmpEcho(int payloadSize = 256);
    // True when an echo reply came within timeoutMs.
    bool ping(const std::string& host, int timeoutMs);
    // The mechanism the last ping used.
    IcmpMechanism mechanism() const { return mechanism_; }

private:
    bool pingSocket(int fd, bool raw, uint32_t address, int timeoutMs);
    bool pingProgram(const std::string& host, int timeoutMs);

    int payloadSize_;
    uint16_t sequence_ = 0;
    uint16_t identifier_;
    IcmpMechanism mechanism_ = IcmpMechanism::Datagram;
};

// Internet checksum of the bytes (exposed for tests).
uint16_t internetChecksum(const uint8_t* data, size_t size);

} // namespace platform
