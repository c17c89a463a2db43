#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testenv {

namespace {
std::string g_root;
std::atomic<int> g_counter{0};
} // namespace

void setTempRoot(const std::string& root) {
    g_root = root;
}

const std::string& tempRoot() {
    return g_root;
}

std::string makeTempDir(const std::string& prefix) {
    std::string p = g_root + "/" + prefix + std::to_string(++g_counter);
    if (::mkdir(p.c_str(), 0700) != 0) throw std::runtime_error("cannot create " + p);
    return p;
}

bool waitUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

std::string assetsDir() {
    const char* v = std::getenv("VN_ASSETS_DIR");
    return v ? v : std::string(VN_SOURCE_DIR) + "/assets";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

int listenLoopback(uint16_t* port, int backlog) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("cannot listen on loopback");
    if (port) *port = ntohs(a.sin_port);
    return fd;
}

uint16_t unusedLoopbackPort() {
    uint16_t port = 0;
    ::close(listenLoopback(&port));
    return port;
}

} // namespace testenv
