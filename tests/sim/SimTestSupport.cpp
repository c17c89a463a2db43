#include "SimTestSupport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace simtest {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point until) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return ms < 0 ? 0 : static_cast<int>(ms);
}

} // namespace

Client::Client(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

Client::~Client() {
    if (fd_ >= 0) ::close(fd_);
}

bool Client::send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::optional<std::string> Client::recvOnce(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
    std::string buf(1 << 16, '\0');
    const ssize_t n = ::recv(fd_, buf.data(), buf.size(), 0);
    buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buf;
}

std::string Client::recvUntil(size_t minBytes, int timeoutMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string all;
    while (all.size() < minBytes) {
        auto chunk = recvOnce(msLeft(until));
        if (!chunk || chunk->empty()) break;
        all += *chunk;
    }
    return all;
}

bool Client::closedByPeer(int timeoutMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto chunk = recvOnce(msLeft(until));
        if (!chunk) return false;
        if (chunk->empty()) return true;
    }
}

std::optional<Part> readPart(const std::string& s, size_t from, size_t maxLength) {
    const size_t m = s.find(kMarker, from);
    if (m == std::string::npos) return std::nullopt;
    Part p;
    p.begin = m;
    size_t i = m + kMarker.size();
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        p.digits += s[i++];
    if (i >= s.size()) return std::nullopt;
    if (i + 16 + 1 + 9 > s.size()) return std::nullopt;
    p.after16 = s.substr(i, 16);
    p.callByte = s[i + 16];
    p.after9 = s.substr(i + 17, 9);
    i += 26;
    const size_t eol = s.find_first_of("\r\n", i);
    if (eol == std::string::npos || eol + 4 > s.size()) return std::nullopt;
    p.title = s.substr(i, eol - i);
    p.after4 = s.substr(eol, 4);
    i = eol + 4;
    const unsigned long long n = p.digits.size() > 12 ? ~0ull : std::stoull(p.digits);
    if (n <= maxLength) {
        if (i + n + 15 > s.size()) return std::nullopt;
        p.jpeg = s.substr(i, n);
        p.trailer = s.substr(i + n, 15);
        i += n + 15;
    }
    p.end = i;
    return p;
}

std::vector<Part> readParts(const std::string& stream) {
    std::vector<Part> parts;
    size_t from = 0;
    while (auto p = readPart(stream, from)) {
        from = p->end;
        parts.push_back(std::move(*p));
    }
    return parts;
}

Child::Child(const std::vector<std::string>& argv) {
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC)) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (::posix_spawn(&pid_, args[0], &fa, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    in_ = in[1], out_ = out[0], err_ = err[0];
}

Child::~Child() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        int st;
        ::waitpid(pid_, &st, 0);
    }
    for (int fd : {in_, out_, err_})
        if (fd >= 0) ::close(fd);
}

bool Child::writeLine(const std::string& line) {
    const std::string s = line + "\n";
    return ::write(in_, s.data(), s.size()) == static_cast<ssize_t>(s.size());
}

void Child::closeStdin() {
    if (in_ >= 0) ::close(in_);
    in_ = -1;
}

std::optional<std::string> Child::readLine(int timeoutMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t nl = outBuf_.find('\n');
        if (nl != std::string::npos) {
            std::string line = outBuf_.substr(0, nl);
            outBuf_.erase(0, nl + 1);
            return line;
        }
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, msLeft(until)) <= 0) return std::nullopt;
        char buf[512];
        const ssize_t n = ::read(out_, buf, sizeof buf);
        if (n <= 0) return std::nullopt;
        outBuf_.append(buf, static_cast<size_t>(n));
    }
}

std::string Child::readAllStderr(int timeoutMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string all;
    for (;;) {
        pollfd p{err_, POLLIN, 0};
        if (::poll(&p, 1, msLeft(until)) <= 0) return all;
        char buf[512];
        const ssize_t n = ::read(err_, buf, sizeof buf);
        if (n <= 0) return all;
        all.append(buf, static_cast<size_t>(n));
    }
}

std::optional<int> Child::wait(int timeoutMs) {
    if (status_) return status_;
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        int st = 0;
        if (::waitpid(pid_, &st, WNOHANG) == pid_) {
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            return status_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (Clock::now() < until);
    return std::nullopt;
}

} // namespace simtest
