// The events channel against a loopback server that plays the door phone:
// the exact request bytes, the request after every chunk, keep-alive bytes,
// "Server Error", the device closing, a stop from the panel, and the order of
// everything the channel reports.
#include "doorphone/events_thread.h"

#include "Blackhole.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::string_literals;

// A one-connection TCP server on 127.0.0.1 with bounded waits.
class FixtureServer {
public:
    FixtureServer() {
        uint16_t port = 0;
        listenFd_ = testenv::listenLoopback(&port, 4);
        port_ = port;
    }
    // Listens on another loopback address, so that a fault can hit it alone.
    explicit FixtureServer(const char* address) {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        ::inet_pton(AF_INET, address, &sa.sin_addr);
        socklen_t len = sizeof sa;
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
            ::listen(listenFd_, 4) != 0 ||
            ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
            throw std::runtime_error("cannot listen");
        port_ = ntohs(sa.sin_port);
    }
    ~FixtureServer() {
        closeClient();
        ::close(listenFd_);
    }

    std::string port() const { return std::to_string(port_); }

    bool accept(int timeoutMs = 5000) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1) return false;
        client_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        return client_ >= 0;
    }

    // The next request, up to and including its empty line; empty on time-out or close.
    std::string readRequest(int timeoutMs = 5000) {
        for (;;) {
            if (auto end = pending_.find("\r\n\r\n"); end != std::string::npos) {
                std::string request = pending_.substr(0, end + 4);
                pending_.erase(0, end + 4);
                return request;
            }
            if (!readSome(timeoutMs)) return {};
        }
    }

    // True when no byte arrives within ms.
    bool quietFor(int ms) { return pending_.empty() && !readSome(ms); }

    // True once the peer has closed its side.
    bool peerClosed(int timeoutMs = 5000) {
        char c;
        pollfd p{client_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1) return false;
        return ::recv(client_, &c, 1, 0) == 0;
    }

    void send(const std::string& bytes) {
        ASSERT_EQ(::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }

    void closeClient() {
        if (client_ >= 0) ::close(client_);
        client_ = -1;
    }

private:
    bool readSome(int timeoutMs) {
        pollfd p{client_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1) return false;
        char buf[4096];
        ssize_t n = ::recv(client_, buf, sizeof buf, 0);
        if (n <= 0) return false;
        pending_.append(buf, static_cast<size_t>(n));
        return true;
    }

    int listenFd_ = -1;
    int client_ = -1;
    int port_ = 0;
    std::string pending_;
};

// Receives the channel's sink calls on the test (window) thread, in one sequence.
struct Panel {
    QObject receiver;
    std::vector<std::string> seq;
    bool offThread = false;

    std::shared_ptr<TEventsThread> channel(const std::string& port, const std::string& password = {}) {
        auto t = std::make_shared<TEventsThread>();
        t->iP = "127.0.0.1";
        t->port = port;
        t->Password = password;
        t->Receiver = &receiver;
        t->LogEvent = [this](const std::string& s) { note("log:" + s); };
        t->IncomingEvents = [this](const std::string& s) { note("chunk:" + s); };
        t->StateChangedEvent = [this](const std::string& s) { note("state:" + s); };
        return t;
    }
    void note(std::string s) {
        if (QThread::currentThread() != QCoreApplication::instance()->thread()) offThread = true;
        seq.push_back(std::move(s));
    }
    bool has(const std::string& s) const { return std::find(seq.begin(), seq.end(), s) != seq.end(); }
    bool waitFor(const std::string& s, int ms = 5000) {
        return testenv::waitUntil([&] { return has(s); }, ms);
    }
};

const std::string kStart = "log:EVENTS: Start events thread.";
const std::string kSentOk = "log:EVENTS: send question GET, Result= OK";
const std::string kTerminate = "log:EVENTS: Terminate thread.";

TEST(EventsThread, TimingsDefaults) {
    const EventsTimings t;
    EXPECT_EQ(t.connectTimeoutMs, 3000);
    EXPECT_EQ(t.loopPauseMs, 50);
    EXPECT_EQ(t.endWaitMs, 200);
    EXPECT_EQ(t.keepAliveIdleS, 10);
    EXPECT_EQ(t.keepAliveIntervalS, 5);
    EXPECT_EQ(t.keepAliveProbes, 3);
    EXPECT_EQ(t.userTimeoutMs, 25000);
}

// A door phone that loses power (or its cable) closes nothing: its address
// black-holed while the channel waits for the next report. The channel must
// end by itself, so that the panel can open a new one. Without keep-alive the
// receive would wait for ever.
TEST(EventsThread, ADeviceThatVanishesWithoutClosingEndsTheChannel) {
    if (const std::string why = Blackhole::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
    FixtureServer server("127.0.0.31");
    Panel panel;
    auto channel = panel.channel(server.port());
    channel->iP = "127.0.0.31";
    channel->timings.keepAliveIdleS = 1;
    channel->timings.keepAliveIntervalS = 1;
    channel->timings.keepAliveProbes = 2;
    channel->timings.userTimeoutMs = 3000;
    TEventsThread::Start(channel);
    ASSERT_TRUE(server.accept());
    ASSERT_FALSE(server.readRequest().empty());
    ASSERT_TRUE(panel.waitFor(kSentOk));

    Blackhole cable("127.0.0.31");
    ASSERT_TRUE(cable.active());
    const bool ended = panel.waitFor("state:0", 30000);
    cable.lift();
    if (!ended) channel->Stop();
    ASSERT_TRUE(ended) << "the channel still waits on a connection to a vanished device";
    EXPECT_EQ(panel.seq, (std::vector<std::string>{kStart, "state:1", kSentOk, kTerminate, "state:0"}));
}

// Each chunk reaches the panel exactly as received (up to a zero byte) and is
// answered with the same request; a lone keep-alive byte is neither.
TEST(EventsThread, RequestsChunksAndKeepAlive) {
    struct Row {
        const char* password;
        const char* request;
    };
    const Row rows[] = {
        {"", "GET /events.txt HTTP/1.1\r\n\r\n"},
        {"dXNlcjpwYXNz", "GET /events.txt HTTP/1.1\r\nAuthorization: Basic dXNlcjpwYXNz\r\n\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.password);
        FixtureServer server;
        Panel panel;
        TEventsThread::Start(panel.channel(server.port(), row.password));
        ASSERT_TRUE(server.accept());
        EXPECT_EQ(server.readRequest(), row.request);

        const std::string first =
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n[event]\r\nMESSAGE=\"1S1\"\r\n";
        server.send(first);
        EXPECT_EQ(server.readRequest(), row.request);

        server.send("\n");
        EXPECT_TRUE(server.quietFor(400)) << "a keep-alive byte was answered";

        server.send("[evstat]\r\nEVENT=\"CALL\"\r\0CALL=\"\"\r\n"s);
        EXPECT_EQ(server.readRequest(), row.request);
        ASSERT_TRUE(panel.waitFor("chunk:[evstat]\r\nEVENT=\"CALL\"\r"));

        server.closeClient();
        ASSERT_TRUE(panel.waitFor("state:0"));
        const std::vector<std::string> expected = {
            kStart,     "state:1", kSentOk, "chunk:" + first, "chunk:[evstat]\r\nEVENT=\"CALL\"\r",
            kTerminate, "state:0"};
        EXPECT_EQ(panel.seq, expected);
        EXPECT_FALSE(panel.offThread);
    }
}

TEST(EventsThread, ServerErrorIsPassedOnAnsweredThenEnds) {
    FixtureServer server;
    Panel panel;
    auto channel = panel.channel(server.port());
    TEventsThread::Start(channel);
    ASSERT_TRUE(server.accept());
    const std::string request = server.readRequest();
    ASSERT_FALSE(request.empty());

    const std::string reply = "HTTP/1.1 500 Internal Server Error\r\n\r\n";
    server.send(reply);
    EXPECT_EQ(server.readRequest(), request);
    EXPECT_TRUE(server.peerClosed());
    ASSERT_TRUE(panel.waitFor("state:0"));
    const std::vector<std::string> expected = {kStart,           "state:1",  kSentOk,
                                               "chunk:" + reply, kTerminate, "state:0"};
    EXPECT_EQ(panel.seq, expected);
    channel->Stop(); // asking a finished channel to stop is harmless
}

TEST(EventsThread, DeviceClosingEndsTheChannel) {
    FixtureServer server;
    Panel panel;
    TEventsThread::Start(panel.channel(server.port()));
    ASSERT_TRUE(server.accept());
    ASSERT_FALSE(server.readRequest().empty());
    server.closeClient();
    ASSERT_TRUE(panel.waitFor("state:0"));
    EXPECT_EQ(panel.seq, (std::vector<std::string>{kStart, "state:1", kSentOk, kTerminate, "state:0"}));
}

// The device stays silent with the connection open: only the stop can end the
// waiting receive. Nothing but the final "0" is delivered after it.
TEST(EventsThread, StopEndsAWaitingReceive) {
    FixtureServer server;
    Panel panel;
    auto channel = panel.channel(server.port());
    TEventsThread::Start(channel);
    ASSERT_TRUE(server.accept());
    ASSERT_FALSE(server.readRequest().empty());
    ASSERT_TRUE(panel.waitFor(kSentOk));

    channel->Stop();
    EXPECT_TRUE(server.peerClosed(2000));
    ASSERT_TRUE(panel.waitFor("state:0", 2000));
    EXPECT_EQ(panel.seq, (std::vector<std::string>{kStart, "state:1", kSentOk, "state:0"}));
}

TEST(EventsThread, ChunkReceivedBeforeAStopIsNotDelivered) {
    FixtureServer server;
    Panel panel;
    auto channel = panel.channel(server.port());
    TEventsThread::Start(channel);
    ASSERT_TRUE(server.accept());
    const std::string request = server.readRequest();
    server.send("[event]\r\nEVENT=\"CALL\"\r\nCALL=\"O\"\r\n");
    // The repeated request shows the chunk has been handed on; the window
    // thread has not taken it yet when the stop comes.
    ASSERT_EQ(server.readRequest(), request);
    channel->Stop();
    ASSERT_TRUE(panel.waitFor("state:0"));
    EXPECT_EQ(panel.seq, (std::vector<std::string>{"state:1", "state:0"}));
}

// Without a receiver the sinks run on the channel's own thread.
TEST(EventsThread, FailedConnectReportsOnlyZero) {
    int closedPort;
    {
        FixtureServer gone;
        closedPort = std::stoi(gone.port());
    }
    std::mutex m;
    std::vector<std::string> seq;
    std::atomic<bool> done{false};
    auto t = std::make_shared<TEventsThread>();
    t->iP = "127.0.0.1";
    t->port = std::to_string(closedPort);
    t->LogEvent = [&](const std::string& s) {
        std::lock_guard l(m);
        seq.push_back("log:" + s);
    };
    t->IncomingEvents = [&](const std::string& s) {
        std::lock_guard l(m);
        seq.push_back("chunk:" + s);
    };
    t->StateChangedEvent = [&](const std::string& s) {
        {
            std::lock_guard l(m);
            seq.push_back("state:" + s);
        }
        if (s == "0") done = true;
    };
    TEventsThread::Start(t);
    ASSERT_TRUE(testenv::waitUntil([&] { return done.load(); }, 5000));
    std::lock_guard l(m);
    EXPECT_EQ(seq,
              (std::vector<std::string>{kStart, "log:EVENTS: ERROR Can not connect TCPClient to 127.0.0.1",
                                        kTerminate, "state:0"}));
}

} // namespace
