#include "platform/Net.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

int connectOne(const addrinfo* ai, int timeoutMs, std::string* error) {
    int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
    if (fd < 0) {
        setError(error, std::strerror(errno));
        return -1;
    }
    int rc = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
    if (rc != 0 && errno != EINPROGRESS) {
        setError(error, std::strerror(errno));
        ::close(fd);
        return -1;
    }
    if (rc != 0) {
        pollfd p{fd, POLLOUT, 0};
        int pr;
        do {
            pr = ::poll(&p, 1, timeoutMs);
        } while (pr < 0 && errno == EINTR);
        if (pr <= 0) {
            setError(error, pr == 0 ? "connect timed out" : std::strerror(errno));
            ::close(fd);
            return -1;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
        if (soError != 0) {
            setError(error, std::strerror(soError));
            ::close(fd);
            return -1;
        }
    }
    int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

} // namespace

int tcpConnect(const std::string& host, const std::string& port, int timeoutMs, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    int gai = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &res);
    if (gai != 0 || !res) {
        setError(error, std::string("cannot resolve ") + host + ":" + port + ": " + ::gai_strerror(gai));
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int fd = -1;
    for (addrinfo* ai = res; ai && fd < 0; ai = ai->ai_next) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            setError(error, "connect timed out");
            break;
        }
        fd = connectOne(ai, static_cast<int>(left.count()), error);
    }
    ::freeaddrinfo(res);
    return fd;
}

bool setKeepAlive(int fd, int idleS, int intervalS, int probes, int userTimeoutMs) {
    const int on = 1;
    const unsigned timeout = static_cast<unsigned>(std::max(userTimeoutMs, 0));
    return ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
           ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleS, sizeof idleS) == 0 &&
           ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalS, sizeof intervalS) == 0 &&
           ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes) == 0 &&
           ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &timeout, sizeof timeout) == 0;
}

bool sendAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

int waitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    int pr;
    do {
        pr = ::poll(&p, 1, timeoutMs);
    } while (pr < 0 && errno == EINTR);
    return pr < 0 ? -1 : (pr == 0 ? 0 : 1);
}

void closeSocket(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::optional<std::string> localHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return std::nullopt;
    return std::string(name);
}

std::optional<std::string> localIPv4() {
    auto name = localHostName();
    if (!name) return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* res = nullptr;
    if (::getaddrinfo(name->c_str(), nullptr, &hints, &res) != 0 || !res) return std::nullopt;
    char text[INET_ADDRSTRLEN] = {};
    const auto* sin = reinterpret_cast<const sockaddr_in*>(res->ai_addr);
    ::inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text);
    ::freeaddrinfo(res);
    return std::string(text);
}

} // namespace platform
