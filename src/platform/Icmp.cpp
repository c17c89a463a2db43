#include "platform/Icmp.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace platform {

uint16_t internetChecksum(const uint8_t* data, size_t size) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (size & 1) sum += static_cast<uint32_t>(data[size - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

IcmpEcho::IcmpEcho(int payloadSize) : payloadSize_(payloadSize) {
    std::random_device rd;
    identifier_ = static_cast<uint16_t>(rd());
}

namespace {

bool resolveIPv4(const std::string& host, uint32_t& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return false;
    address = reinterpret_cast<const sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(res);
    return true;
}

} // namespace

bool IcmpEcho::ping(const std::string& host, int timeoutMs) {
    uint32_t address = 0;
    if (host.empty() || !resolveIPv4(host, address)) return false;

    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd >= 0) {
        mechanism_ = IcmpMechanism::Datagram;
        bool ok = pingSocket(fd, false, address, timeoutMs);
        ::close(fd);
        return ok;
    }
    fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd >= 0) {
        mechanism_ = IcmpMechanism::Raw;
        bool ok = pingSocket(fd, true, address, timeoutMs);
        ::close(fd);
        return ok;
    }
    mechanism_ = IcmpMechanism::PingProgram;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return pingProgram(text, timeoutMs);
}

bool IcmpEcho::pingSocket(int fd, bool raw, uint32_t address, int timeoutMs) {
    const uint16_t seq = ++sequence_;
    std::vector<uint8_t> packet(sizeof(icmphdr) + static_cast<size_t>(payloadSize_));
    auto* h = reinterpret_cast<icmphdr*>(packet.data());
    h->type = ICMP_ECHO;
    h->code = 0;
    h->un.echo.id = htons(identifier_); // the kernel replaces it on datagram sockets
    h->un.echo.sequence = htons(seq);
    for (size_t i = sizeof(icmphdr); i < packet.size(); ++i)
        packet[i] = static_cast<uint8_t>(i);
    h->checksum = 0;
    h->checksum = htons(internetChecksum(packet.data(), packet.size()));

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    if (::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0)
        return false;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<uint8_t> buf(packet.size() + 128);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        int pr = ::poll(&p, 1, static_cast<int>(left.count()));
        if (pr < 0 && errno == EINTR) continue;
        if (pr <= 0) return false;
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        ssize_t n = ::recvfrom(fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n <= 0) continue;
        size_t offset = 0;
        if (raw) {
            if (static_cast<size_t>(n) < sizeof(iphdr)) continue;
            offset = static_cast<size_t>(reinterpret_cast<const iphdr*>(buf.data())->ihl) * 4;
        }
        if (static_cast<size_t>(n) < offset + sizeof(icmphdr)) continue;
        const auto* r = reinterpret_cast<const icmphdr*>(buf.data() + offset);
        if (r->type != ICMP_ECHOREPLY || from.sin_addr.s_addr != address) continue;
        if (ntohs(r->un.echo.sequence) != seq) continue;
        if (raw && ntohs(r->un.echo.id) != identifier_) continue;
        return true;
    }
}

bool IcmpEcho::pingProgram(const std::string& host, int timeoutMs) {
    std::string wait = std::to_string(std::max(1, (timeoutMs + 999) / 1000));
    std::string size = std::to_string(payloadSize_);
    const char* argv[] = {"ping",       "-n", "-q",         "-c",         "1",    "-W",
                          wait.c_str(), "-s", size.c_str(), host.c_str(), nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = ::posix_spawnp(&pid, "ping", &fa, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace platform
