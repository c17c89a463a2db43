#include "doorphone-sim/Simulator.h"

#include "doorphone-sim/FrameSource.h"
#include "doorphone-sim/Http.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace doorphonesim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxConnections = 32;
constexpr size_t kMaxRequestBytes = 64 * 1024; // a client that never ends its request is dropped
constexpr char kServerError[] = "HTTP/1.1 500 Server Error\r\n\r\nServer Error";
constexpr char kNotFound[] = "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nNot Found";
constexpr char kLockAnswer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK";
constexpr char kStreamHead[] =
    "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=tojekonec\r\n\r\n"
    "--tojekonec\r\n";
constexpr char kTrailer[] = "\r\n--tojekonec\r\n";
constexpr char kBadTrailer[] = "\r\n--tojekonex\r\n";

bool isLoopback(const std::string& address) {
    in_addr a{};
    return ::inet_pton(AF_INET, address.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

void signal(int efd) {
    const uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(efd, &one, sizeof one);
}

void drain(int efd) {
    uint64_t v;
    [[maybe_unused]] auto n = ::read(efd, &v, sizeof v);
}

int msUntil(Clock::time_point t) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, 24 * 3600 * 1000));
}

// Picks the relay number out of "/cgi-bin/remctrl.sh?id=relayN"; 0 for anything else.
int relayOf(const std::string& target) {
    if (target == "/cgi-bin/remctrl.sh?id=relay1") return 1;
    if (target == "/cgi-bin/remctrl.sh?id=relay2") return 2;
    return 0;
}

bool isLockPath(const std::string& target) {
    return target.rfind("/cgi-bin/remctrl.sh", 0) == 0;
}

std::string item(const char* key, const std::string& value) {
    return std::string(key) + "=\"" + value + "\"\r\n";
}

} // namespace

// One accepted connection. fd and done are guarded by Impl::m: the thread closes
// its own socket under that lock, so another thread may shut it down without
// ever touching a closed (and maybe reused) descriptor.
struct Conn {
    int fd = -1;
    int wake = -1; // eventfd: something changed (reports queued, silence, stop, drop)
    bool done = false;
    std::atomic<bool> dropped{false};
    std::atomic<bool> forgotten{false}; // abandoned like a rebooting device: never closed by us
    std::thread thread;
};

// A queued events answer (or part of one).
struct Report {
    Clock::time_point due;
    std::string bytes;
    bool alone = false; // a raw answer: never merged with other reports
    size_t splitAt = 0; // > 0: written in two pieces
    int gapMs = 0;
    int relayTag = 0; // the "S0" of a pulsed relay, so that a new pulse can move it
};

struct Simulator::Impl {
    explicit Impl(Config c)
        : cfg(std::move(c)),
          frames(std::clamp(cfg.width, 8, 4096), std::clamp(cfg.height, 8, 4096), cfg.name),
          framePeriod(std::chrono::microseconds(1000000 / std::clamp(cfg.fps, 1, 100))) {}

    const Config cfg;
    FrameSource frames;
    const Clock::duration framePeriod;
    const Clock::time_point epoch = Clock::now();

    std::mutex control; // start / stop
    bool isRunning = false;
    int listenFd = -1;
    int acceptWake = -1;
    std::thread acceptThread;
    std::atomic<uint16_t> boundPort{0};
    std::atomic<bool> stopping{false};

    mutable std::mutex m;
    std::vector<std::unique_ptr<Conn>> conns;
    std::vector<int> forgottenFds; // sockets of forgotten connections, closed only by stop()
    std::vector<Report> queue;     // ordered by due time, FIFO among equal times
    std::string eventsKind = "[event]";
    bool silent = false, hold = false, call = false;
    VideoFaults faults;
    std::vector<std::string> lockReqs;
    int videoConns = 0, eventsConns = 0, eventsReqs = 0, framesOut = 0;
    std::shared_ptr<const std::string> lastJpeg;
    Clock::time_point relayOffAt[3]{};

    // --- state shared with the connection threads -------------------------------------

    void wakeAllLocked() {
        for (auto& c : conns)
            if (!c->done) signal(c->wake);
    }

    void queueLocked(Report r) {
        auto pos = std::upper_bound(queue.begin(), queue.end(), r.due,
                                    [](Clock::time_point t, const Report& x) { return t < x.due; });
        queue.insert(pos, std::move(r));
        wakeAllLocked();
    }

    void queueReport(const std::string& body) {
        std::lock_guard lock(m);
        queueLocked(Report{Clock::now(), eventsKind + "\r\n" + body});
    }

    void pulse(int n) {
        if (n != 1 && n != 2) return;
        const auto now = Clock::now();
        const std::string id = std::to_string(n);
        std::lock_guard lock(m);
        const bool held = now < relayOffAt[n];
        if (held) {
            std::erase_if(queue, [n](const Report& r) { return r.relayTag == n; });
        } else {
            queueLocked(Report{now, eventsKind + "\r\n" + item("MESSAGE", id + "S1")});
        }
        relayOffAt[n] = now + std::chrono::milliseconds(std::max(cfg.relayHoldMs, 0));
        Report off{relayOffAt[n], eventsKind + "\r\n" + item("MESSAGE", id + "S0")};
        off.relayTag = n;
        queueLocked(std::move(off));
    }

    // The next answer for a held events request: every due report up to the
    // first one that must go alone, or that one alone.
    std::optional<Report> takeAnswer() {
        std::lock_guard lock(m);
        if (hold || silent || queue.empty()) return std::nullopt;
        const auto now = Clock::now();
        if (queue.front().due > now) return std::nullopt;
        if (queue.front().alone) {
            Report r = std::move(queue.front());
            queue.erase(queue.begin());
            return r;
        }
        Report out{now, {}};
        size_t i = 0;
        for (; i < queue.size() && queue[i].due <= now && !queue[i].alone; ++i)
            out.bytes += queue[i].bytes;
        queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(i));
        return out;
    }

    std::optional<Clock::time_point> nextDue() const {
        std::lock_guard lock(m);
        if (hold || silent || queue.empty()) return std::nullopt;
        return queue.front().due;
    }

    bool isSilent() const {
        std::lock_guard lock(m);
        return silent;
    }

    bool authorized(const Request& r) const {
        if (cfg.user.empty() || cfg.password.empty()) return true;
        return hasHeaderLine(r, basicAuthLine(cfg.user, cfg.password));
    }

    std::string settingsChunk() const {
        return "[setting]\r\n" + item("NET_HOSTNAME", cfg.name) + item("SIP_ACCOUNT_NAME", cfg.sipAccount) +
               item("TIME_BEFORE_CALL", cfg.timeBeforeCall) +
               item("SENSOR1_ENABLE", cfg.sensor1 ? "1" : "0") +
               item("SENSOR2_ENABLE", cfg.sensor2 ? "1" : "0");
    }

    // --- socket helpers for a connection thread --------------------------------------

    bool ending(const Conn& c) const { return stopping.load() || c.dropped.load() || c.forgotten.load(); }

    // A write never blocks for good: a peer that stops taking data (a black-holed
    // console) must not keep the connection from being stopped, dropped or forgotten.
    bool writeAll(Conn& c, const char* p, size_t n) {
        while (n > 0) {
            const ssize_t k = ::send(c.fd, p, n, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (k < 0 && errno == EINTR) continue;
            if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                pollfd w[2] = {{c.fd, POLLOUT, 0}, {c.wake, POLLIN, 0}};
                if (::poll(w, 2, -1) < 0 && errno != EINTR) return false;
                if (w[1].revents & POLLIN) drain(c.wake);
                if (ending(c)) return false;
                continue;
            }
            if (k <= 0) return false;
            p += k;
            n -= static_cast<size_t>(k);
        }
        return true;
    }
    bool writeAll(Conn& c, std::string_view s) { return writeAll(c, s.data(), s.size()); }

    // Sleeps ms, or less when the connection is asked to end; false then.
    bool pause(Conn& c, int ms) {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (!ending(c)) {
            const int left = msUntil(until);
            if (left <= 0) return true;
            pollfd p{c.wake, POLLIN, 0};
            if (::poll(&p, 1, left) > 0) drain(c.wake);
        }
        return false;
    }

    // True when the peer has closed (or reset) the connection and nothing is left to read.
    bool peerClosed(Conn& c) {
        char byte;
        const ssize_t k = ::recv(c.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        return k == 0 || (k < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
    }

    // Waits for the socket or the wake-up; false when the connection should end.
    enum class Woke { Socket, Other, End };
    Woke waitFor(Conn& c, int timeoutMs) {
        pollfd p[2] = {{c.fd, POLLIN, 0}, {c.wake, POLLIN, 0}};
        const int n = ::poll(p, 2, timeoutMs);
        if (ending(c)) return Woke::End;
        if (n < 0) return errno == EINTR ? Woke::Other : Woke::End;
        if (p[1].revents & POLLIN) drain(c.wake);
        if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) return Woke::Socket;
        return Woke::Other;
    }

    // --- the connection ----------------------------------------------------------------

    void serve(Conn& c) {
        std::string in;
        std::deque<Request> requests;
        bool eventsSeen = false, settingsSent = false;
        char buf[4096];
        for (;;) {
            if (ending(c)) return;
            // Answer what can be answered, in order; a held events request blocks the ones behind it.
            while (!requests.empty()) {
                const Request& r = requests.front();
                if (!authorized(r)) {
                    writeAll(c, kServerError);
                    return;
                }
                if (r.target == "/video.mjpg") {
                    {
                        std::lock_guard lock(m);
                        ++videoConns;
                    }
                    video(c);
                    return;
                }
                if (r.target == "/events.txt") {
                    if (!eventsSeen) {
                        eventsSeen = true;
                        std::lock_guard lock(m);
                        ++eventsConns;
                    }
                    if (isSilent()) break;
                    if (!settingsSent) {
                        settingsSent = true;
                        if (!writeAll(c, settingsChunk())) return;
                    } else {
                        // A console that dropped the channel must not use up a report.
                        if (peerClosed(c)) return;
                        auto answer = takeAnswer();
                        if (!answer) break;
                        if (!writeAnswer(c, *answer)) return;
                    }
                } else if (const int n = relayOf(r.target)) {
                    if (!writeAll(c, kLockAnswer)) return;
                    pulse(n);
                } else {
                    if (!writeAll(c, kNotFound)) return;
                }
                requests.pop_front();
            }

            int timeout = -1;
            if (!requests.empty())
                if (auto due = nextDue()) timeout = msUntil(*due);
            const Woke w = waitFor(c, timeout);
            if (w == Woke::End) return;
            if (w != Woke::Socket) continue;
            const ssize_t k = ::recv(c.fd, buf, sizeof buf, 0);
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) return;
            in.append(buf, static_cast<size_t>(k));
            while (auto r = takeRequest(in)) {
                std::lock_guard lock(m);
                if (r->target == "/events.txt") ++eventsReqs;
                if (isLockPath(r->target)) lockReqs.push_back(r->raw);
                requests.push_back(std::move(*r));
            }
            if (in.size() > kMaxRequestBytes) return;
        }
    }

    bool writeAnswer(Conn& c, const Report& a) {
        if (a.splitAt == 0 || a.splitAt >= a.bytes.size()) return writeAll(c, a.bytes);
        return writeAll(c, a.bytes.data(), a.splitAt) && pause(c, a.gapMs) &&
               writeAll(c, a.bytes.data() + a.splitAt, a.bytes.size() - a.splitAt);
    }

    // The endless multipart answer. Requests the client repeats on this
    // connection are read and ignored, as a real device does.
    void video(Conn& c) {
        VideoFaults f;
        {
            std::lock_guard lock(m);
            f = faults;
        }
        if (f.serverError) {
            writeAll(c, kServerError);
            return;
        }
        if (!writeAll(c, kStreamHead)) return;
        int sent = 0;
        auto next = Clock::now();
        std::string part;
        char sink[4096];
        for (;;) {
            bool quiet;
            {
                std::lock_guard lock(m);
                f = faults;
                quiet = silent;
            }
            if (f.closeAfterFrames >= 0 && sent >= f.closeAfterFrames) return;
            quiet = quiet || (f.silenceAfterFrames >= 0 && sent >= f.silenceAfterFrames);
            const auto now = Clock::now();
            if (!quiet && now >= next) {
                if (!sendPart(c, f, part)) return;
                ++sent;
                next += framePeriod;
                if (next < now) next = now + framePeriod; // after a stall, no burst of late frames
                continue;
            }
            if (quiet) next = Clock::now(); // the first frame after silence goes out at once
            const Woke w = waitFor(c, quiet ? -1 : msUntil(next));
            if (w == Woke::End) return;
            if (w == Woke::Socket) {
                const ssize_t k = ::recv(c.fd, sink, sizeof sink, 0);
                if (k == 0 || (k < 0 && errno != EINTR)) return;
            }
        }
    }

    bool sendPart(Conn& c, const VideoFaults& f, std::string& part) {
        const auto index = (Clock::now() - epoch) / framePeriod;
        auto jpeg = frames.frame(index);
        if (!jpeg) return false;
        if (f.badFirstByte && !jpeg->empty()) {
            auto copy = std::make_shared<std::string>(*jpeg);
            (*copy)[0] = '\0';
            jpeg = std::move(copy);
        }
        if (f.zeroLength) jpeg = std::make_shared<const std::string>();
        std::string length = std::to_string(jpeg->size());
        if (f.oversizedLength) length = "99999999999";
        if (!f.lengthText.empty()) length = f.lengthText;
        std::string title = cfg.name;
        std::replace_if(
            title.begin(), title.end(), [](char ch) { return ch == '\r' || ch == '\n'; }, ' ');
        bool callNow;
        {
            std::lock_guard lock(m);
            callNow = call;
        }
        part.clear();
        part += "Content-Type: image/jpeg\r\nContent-Length: ";
        part += length;
        part += "\r\nX-Frame-Call: ";
        part += callNow ? '1' : '0';
        part += "\r\nTitle: ";
        part += title;
        part += "\r\n\r\n";
        part += *jpeg;
        part += f.badTrailer ? kBadTrailer : kTrailer;

        std::vector<size_t> cuts;
        for (size_t at : f.splitAt)
            if (at > 0 && at < part.size()) cuts.push_back(at);
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
        cuts.push_back(part.size());
        size_t from = 0;
        for (size_t i = 0; i < cuts.size(); ++i) {
            if (i > 0 && !pause(c, f.splitGapMs)) return false;
            const size_t chunk = f.writeChunkBytes > 0 ? static_cast<size_t>(f.writeChunkBytes) : part.size();
            for (size_t p = from; p < cuts[i]; p += chunk)
                if (!writeAll(c, part.data() + p, std::min(chunk, cuts[i] - p))) return false;
            from = cuts[i];
        }
        std::lock_guard lock(m);
        ++framesOut;
        lastJpeg = std::move(jpeg);
        return true;
    }

    // --- listening ---------------------------------------------------------------------

    void acceptLoop() {
        for (;;) {
            pollfd p[2] = {{listenFd, POLLIN, 0}, {acceptWake, POLLIN, 0}};
            const int n = ::poll(p, 2, -1);
            if (stopping.load()) return;
            if (n <= 0 || !(p[0].revents & POLLIN)) continue;
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                // Out of descriptors and the like: do not spin on a listen socket that stays readable.
                if (errno != EINTR && errno != ECONNABORTED) pauseAccept();
                continue;
            }
            reap();
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::lock_guard lock(m);
            const int wake = conns.size() < static_cast<size_t>(kMaxConnections)
                                 ? ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)
                                 : -1;
            if (wake < 0) {
                ::close(fd);
                continue;
            }
            auto c = std::make_unique<Conn>();
            c->fd = fd;
            c->wake = wake;
            Conn* raw = c.get();
            c->thread = std::thread([this, raw] { runConnection(*raw); });
            conns.push_back(std::move(c));
        }
    }

    void pauseAccept() {
        pollfd p{acceptWake, POLLIN, 0};
        ::poll(&p, 1, 50);
    }

    void runConnection(Conn& c) {
        serve(c);
        std::lock_guard lock(m);
        if (c.forgotten && !c.dropped && !stopping) {
            // The peer must see neither a close nor a reset: the socket stays
            // open, unread and unwritten, until the simulator stops.
            forgottenFds.push_back(c.fd);
        } else {
            ::shutdown(c.fd, SHUT_WR);
            ::close(c.fd);
        }
        c.fd = -1;
        c.done = true;
    }

    // Joins the threads of connections that have ended.
    void reap() {
        std::vector<std::unique_ptr<Conn>> finished;
        {
            std::lock_guard lock(m);
            for (auto it = conns.begin(); it != conns.end();) {
                if ((*it)->done) {
                    finished.push_back(std::move(*it));
                    it = conns.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& c : finished) {
            c->thread.join();
            ::close(c->wake);
        }
    }

    void forgetAllLocked() {
        for (auto& c : conns) {
            if (c->done) continue;
            c->forgotten = true;
            signal(c->wake);
        }
    }

    void dropAllLocked() {
        for (auto& c : conns) {
            if (c->done) continue;
            c->dropped = true;
            ::shutdown(c->fd, SHUT_RDWR);
            signal(c->wake);
        }
    }

    bool start() {
        std::lock_guard g(control);
        if (isRunning) return true;
        if (!isLoopback(cfg.address)) return false;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(boundPort.load() ? boundPort.load() : cfg.port);
        ::inet_pton(AF_INET, cfg.address.c_str(), &sa.sin_addr);
        socklen_t len = sizeof sa;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, SOMAXCONN) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
            ::close(fd);
            return false;
        }
        acceptWake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (acceptWake < 0) {
            ::close(fd);
            return false;
        }
        listenFd = fd;
        boundPort = ntohs(sa.sin_port);
        stopping = false;
        acceptThread = std::thread([this] { acceptLoop(); });
        isRunning = true;
        return true;
    }

    void stop() {
        std::lock_guard g(control);
        if (!isRunning) return;
        stopping = true;
        signal(acceptWake);
        acceptThread.join();
        ::close(listenFd);
        ::close(acceptWake);
        listenFd = acceptWake = -1;
        std::vector<std::unique_ptr<Conn>> all;
        {
            std::lock_guard lock(m);
            dropAllLocked();
            all.swap(conns);
        }
        for (auto& c : all) {
            c->thread.join();
            ::close(c->wake);
        }
        {
            std::lock_guard lock(m);
            for (int fd : forgottenFds)
                ::close(fd);
            forgottenFds.clear();
        }
        stopping = false;
        isRunning = false;
    }
};

Simulator::Simulator(Config c) : d_(std::make_unique<Impl>(std::move(c))) {}
Simulator::~Simulator() {
    stop();
}

bool Simulator::start() {
    return d_->start();
}
void Simulator::stop() {
    d_->stop();
}
bool Simulator::running() const {
    std::lock_guard g(d_->control);
    return d_->isRunning;
}
uint16_t Simulator::port() const {
    return d_->boundPort ? d_->boundPort.load() : d_->cfg.port;
}
const Config& Simulator::config() const {
    return d_->cfg;
}

void Simulator::ring() {
    {
        std::lock_guard lock(d_->m);
        d_->call = true;
    }
    d_->queueReport(item("EVENT", "CALL") + item("CALL", "O"));
}
void Simulator::deskCall() {
    {
        std::lock_guard lock(d_->m);
        d_->call = true;
    }
    d_->queueReport(item("EVENT", "CALL") + item("CALL", "I"));
}
void Simulator::hangUp() {
    {
        std::lock_guard lock(d_->m);
        d_->call = false;
    }
    d_->queueReport(item("EVENT", "CALL") + item("CALL", ""));
}
void Simulator::door(int n, bool open) {
    d_->queueReport(item("MESSAGE", std::to_string(n) + (open ? "D1" : "D0")));
}
void Simulator::relay(int n, bool on) {
    d_->queueReport(item("MESSAGE", std::to_string(n) + (on ? "S1" : "S0")));
}
void Simulator::pulseRelay(int n) {
    d_->pulse(n);
}

void Simulator::sendRaw(std::string chunk) {
    sendRawSplit(std::move(chunk), 0, 0);
}
void Simulator::sendRawSplit(std::string chunk, size_t at, int gapMs) {
    Report r{Clock::now(), std::move(chunk)};
    r.alone = true;
    r.splitAt = at;
    r.gapMs = std::max(gapMs, 0);
    std::lock_guard lock(d_->m);
    d_->queueLocked(std::move(r));
}

void Simulator::setEventsKind(std::string kind) {
    std::lock_guard lock(d_->m);
    d_->eventsKind = std::move(kind);
}
void Simulator::holdEvents(bool on) {
    std::lock_guard lock(d_->m);
    d_->hold = on;
    d_->wakeAllLocked();
}
void Simulator::setSilent(bool on) {
    std::lock_guard lock(d_->m);
    d_->silent = on;
    d_->wakeAllLocked();
}
void Simulator::dropConnections() {
    std::lock_guard lock(d_->m);
    d_->dropAllLocked();
}
void Simulator::forgetConnections() {
    std::lock_guard lock(d_->m);
    d_->forgetAllLocked();
}
void Simulator::setVideoFaults(const VideoFaults& f) {
    std::lock_guard lock(d_->m);
    d_->faults = f;
    d_->wakeAllLocked();
}

std::vector<std::string> Simulator::lockRequests() const {
    std::lock_guard lock(d_->m);
    return d_->lockReqs;
}
int Simulator::videoConnections() const {
    std::lock_guard lock(d_->m);
    return d_->videoConns;
}
int Simulator::eventsConnections() const {
    std::lock_guard lock(d_->m);
    return d_->eventsConns;
}
int Simulator::eventsRequests() const {
    std::lock_guard lock(d_->m);
    return d_->eventsReqs;
}
int Simulator::framesSent() const {
    std::lock_guard lock(d_->m);
    return d_->framesOut;
}
std::string Simulator::lastFrameJpeg() const {
    std::lock_guard lock(d_->m);
    return d_->lastJpeg ? *d_->lastJpeg : std::string();
}
int Simulator::openConnections() const {
    std::lock_guard lock(d_->m);
    return static_cast<int>(
        std::count_if(d_->conns.begin(), d_->conns.end(), [](auto& c) { return !c->done; }));
}
bool Simulator::callActive() const {
    std::lock_guard lock(d_->m);
    return d_->call;
}

} // namespace doorphonesim
