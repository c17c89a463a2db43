// The ring path: from the moment a ring report's last byte is on the events
// socket to the moment the window thread has shown the ring picture and done
// the pop-up, while four panels stream 640 x 480 video at 25 fps. The
// benchmark itself is the ringing door phone's events endpoint, so it knows
// when each report went out; that door phone's video is passed through from a
// simulator like the other three. The baseline, in the same run and taking
// turns with the panel, is a bare reader of the same reports that only hands
// each one to the window thread.
// Usage: bench_ring_latency [seconds]   (loopback only)
#include "BenchSupport.h"
#include "doorphone/DoorPhoneRequests.h"
#include "doorphone/GuardPanel.h"
#include "platform/Dispatch.h"
#include "platform/Net.h"

#include <QApplication>
#include <QEvent>
#include <arpa/inet.h>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <netinet/in.h>
#include <numeric>
#include <optional>
#include <poll.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace {

using bench::Clock;
using bench::Stats;
using namespace std::chrono_literals;

constexpr auto Bound = 10s; // for a step that never came; far beyond any loaded machine's delay

std::string item(const char* key, const std::string& value) {
    return std::string(key) + "=\"" + value + "\"\r\n";
}
const std::string SettingsReport = "[setting]\r\n" + item("NET_HOSTNAME", "Bench door") +
                                   item("SIP_ACCOUNT_NAME", "door1") + item("TIME_BEFORE_CALL", "25") +
                                   item("SENSOR1_ENABLE", "0") + item("SENSOR2_ENABLE", "0");
const std::string RingReport = "[event]\r\n" + item("EVENT", "CALL") + item("CALL", "O");
const std::string HangUpReport = "[event]\r\n" + item("EVENT", "CALL") + item("CALL", "");

// A door phone's HTTP endpoint played by the benchmark: it answers the held
// events requests with the reports it is given, and passes video requests
// through to a simulator (when one is named).
class EventsDevice {
public:
    EventsDevice(std::string address, uint16_t port, std::string upstreamAddress = {},
                 uint16_t upstreamPort = 0)
        : address_(std::move(address)), port_(port), upAddress_(std::move(upstreamAddress)),
          upPort_(upstreamPort) {}
    ~EventsDevice() { stop(); }
    EventsDevice(const EventsDevice&) = delete;
    EventsDevice& operator=(const EventsDevice&) = delete;

    bool start() {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port_);
        if (::inet_pton(AF_INET, address_.c_str(), &a.sin_addr) != 1 ||
            (ntohl(a.sin_addr.s_addr) >> 24) != 127) // loopback only
            return false;
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listenFd_, 8) != 0)
            return false;
        acceptThread_ = std::thread([this] { acceptLoop(); });
        return true;
    }

    void stop() {
        if (stopping_.exchange(true)) return;
        {
            std::lock_guard l(m_);
            cv_.notify_all();
            for (int fd : fds_)
                ::shutdown(fd, SHUT_RDWR);
        }
        if (listenFd_ >= 0) ::shutdown(listenFd_, SHUT_RDWR);
        if (acceptThread_.joinable()) acceptThread_.join();
        std::vector<std::thread> threads;
        {
            std::lock_guard l(m_);
            threads.swap(threads_);
        }
        for (auto& t : threads)
            t.join();
        for (int fd : fds_)
            ::close(fd);
        platform::closeSocket(listenFd_);
    }

    // An events connection is open and has had the settings.
    bool ready() {
        std::lock_guard l(m_);
        return eventsFd_ >= 0 && settingsSent_;
    }

    // Sends report as the answer to the held events request, once that request
    // has been held for settle (so that the reader waits in its receive), and
    // returns the time the send returned: the last byte is then in the
    // reader's socket. Nothing when no request was held within Bound.
    std::optional<Clock::time_point> answer(const std::string& report, Clock::duration settle) {
        std::unique_lock l(m_);
        const auto until = Clock::now() + Bound;
        for (;;) {
            if (stopping_) return std::nullopt;
            const auto now = Clock::now();
            if (eventsFd_ >= 0 && held_ > 0 && now >= heldSince_ + settle) break;
            if (now >= until) return std::nullopt;
            const auto wake = eventsFd_ >= 0 && held_ > 0 ? std::min(until, heldSince_ + settle) : until;
            cv_.wait_until(l, wake);
        }
        --held_;
        const int fd = eventsFd_;
        l.unlock();
        if (!platform::sendAll(fd, report.data(), report.size())) return std::nullopt;
        return Clock::now();
    }

private:
    void acceptLoop() {
        for (;;) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                return;
            }
            std::lock_guard l(m_);
            if (stopping_) {
                ::close(fd);
                return;
            }
            fds_.push_back(fd);
            threads_.emplace_back([this, fd] { serve(fd); });
        }
    }

    void serve(int fd) {
        std::string in;
        char buf[4096];
        size_t end;
        while ((end = in.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return;
            in.append(buf, static_cast<size_t>(n));
        }
        const auto pathAt = in.find(' ') + 1;
        const std::string path = in.substr(pathAt, in.find(' ', pathAt) - pathAt);
        if (path == "/video.mjpg" && upPort_ != 0) {
            passThrough(fd, in);
            return;
        }
        if (path != "/events.txt") return;
        // The first request is answered with the settings, as a door phone does.
        if (!platform::sendAll(fd, SettingsReport.data(), SettingsReport.size())) return;
        in.erase(0, end + 4);
        {
            std::lock_guard l(m_);
            eventsFd_ = fd;
            held_ = 0;
            settingsSent_ = true;
        }
        for (;;) {
            while ((end = in.find("\r\n\r\n")) != std::string::npos) {
                in.erase(0, end + 4);
                std::lock_guard l(m_);
                ++held_;
                heldSince_ = Clock::now();
                cv_.notify_all();
            }
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            in.append(buf, static_cast<size_t>(n));
        }
        std::lock_guard l(m_);
        if (eventsFd_ == fd) eventsFd_ = -1;
    }

    void passThrough(int client, const std::string& head) {
        int up = platform::tcpConnect(upAddress_, std::to_string(upPort_), 3000);
        if (up < 0) return;
        {
            std::lock_guard l(m_);
            if (stopping_) {
                ::close(up);
                return;
            }
            fds_.push_back(up);
        }
        if (!platform::sendAll(up, head.data(), head.size())) return;
        std::vector<char> buf(65536);
        pollfd p[2] = {{client, POLLIN, 0}, {up, POLLIN, 0}};
        while (!stopping_ && ::poll(p, 2, -1) > 0) {
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                const ssize_t n = ::recv(p[i].fd, buf.data(), buf.size(), 0);
                if (n <= 0 || !platform::sendAll(p[1 - i].fd, buf.data(), static_cast<size_t>(n))) {
                    ::shutdown(p[1 - i].fd, SHUT_RDWR);
                    return;
                }
            }
        }
    }

    const std::string address_;
    const uint16_t port_;
    const std::string upAddress_;
    const uint16_t upPort_;
    int listenFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;

    std::mutex m_;
    std::condition_variable cv_;
    std::vector<int> fds_; // every connection's socket, closed at the stop
    std::vector<std::thread> threads_;
    int eventsFd_ = -1;
    bool settingsSent_ = false;
    int held_ = 0; // events requests waiting for an answer
    Clock::time_point heldSince_;
};

// What the window thread did, noted with its time, for the ringer to wait on.
class Marks {
public:
    struct Mark {
        int count = 0;
        Clock::time_point last;
    };
    enum Kind { PopUp, Painted, PopDown, HandOff, Kinds };

    void note(Kind k) {
        const auto now = Clock::now();
        std::lock_guard l(m_);
        ++marks_[k].count;
        marks_[k].last = now;
        cv_.notify_all();
    }
    int count(Kind k) {
        std::lock_guard l(m_);
        return marks_[k].count;
    }
    // The time of the mark after the first `after`; nothing when it did not come within Bound.
    std::optional<Clock::time_point> waitPast(Kind k, int after) {
        std::unique_lock l(m_);
        if (!cv_.wait_for(l, Bound, [&] { return marks_[k].count > after; })) return std::nullopt;
        return marks_[k].last;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    Mark marks_[Kinds];
};

// Notes when the door-phone button has been painted after a pop-up: the ring
// picture is set just before the pop-up, in the same step, so the first paint
// after it shows the ring picture.
class PaintWatch : public QObject {
public:
    PaintWatch(Marks& marks) : marks_(marks) {}
    bool wanted = false; // window thread only

    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::Paint || !wanted) return false;
        wanted = false;
        watched->event(e); // the button's own painting, then the mark
        marks_.note(Marks::Painted);
        return true;
    }

private:
    Marks& marks_;
};

// The baseline: reads the reports of one events connection as the events
// channel does (a blocking receive, the request sent again after each report)
// and hands each one to the window thread.
class BareReader {
public:
    BareReader(const std::string& address, uint16_t port, QObject* window, Marks& marks) {
        fd_ = platform::tcpConnect(address, std::to_string(port), 3000);
        if (fd_ < 0) return;
        thread_ = std::thread([this, window, &marks] { run(window, marks); });
    }
    ~BareReader() {
        if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        platform::closeSocket(fd_);
    }
    BareReader(const BareReader&) = delete;
    BareReader& operator=(const BareReader&) = delete;

private:
    void run(QObject* target, Marks& marks) {
        const std::string request = doorphone::eventsRequest("");
        const platform::Receiver window(target);
        std::vector<char> buf(50001);
        while (platform::sendAll(fd_, request.data(), request.size())) {
            if (::recv(fd_, buf.data(), buf.size(), 0) <= 0) return;
            window.post([&marks] { marks.note(Marks::HandOff); });
        }
    }

    int fd_ = -1;
    std::thread thread_;
};

struct Figures {
    Stats popUp, shown, bare;
    int missed = 0;
};

// Rings the panel's door phone and the bare reader in turns until the time is
// up, each after a random pause (the video's frame time, 40 ms, spread over).
void ringInTurns(EventsDevice& panelDevice, EventsDevice& bareDevice, Marks& marks, int seconds, Figures& f) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> jitterUs(0, 40000);
    // The events channel pauses 50 ms after a report before it receives again;
    // a ring is sent once it surely waits.
    auto settle = [&] { return 100ms + std::chrono::microseconds(jitterUs(random)); };
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        const int popUps = marks.count(Marks::PopUp), paints = marks.count(Marks::Painted),
                  popDowns = marks.count(Marks::PopDown);
        const auto rang = panelDevice.answer(RingReport, settle());
        const auto popUp = rang ? marks.waitPast(Marks::PopUp, popUps) : std::nullopt;
        const auto painted = popUp ? marks.waitPast(Marks::Painted, paints) : std::nullopt;
        if (!painted) {
            ++f.missed;
            return;
        }
        f.popUp.ms.push_back(bench::millis(*popUp - *rang));
        f.shown.ms.push_back(bench::millis(std::max(*popUp, *painted) - *rang));
        if (!panelDevice.answer(HangUpReport, 0ms) || !marks.waitPast(Marks::PopDown, popDowns)) {
            ++f.missed;
            return;
        }

        const int handOffs = marks.count(Marks::HandOff);
        const auto sent = bareDevice.answer(RingReport, settle());
        const auto handedOff = sent ? marks.waitPast(Marks::HandOff, handOffs) : std::nullopt;
        if (!handedOff) {
            ++f.missed;
            return;
        }
        f.bare.ms.push_back(bench::millis(*handedOff - *sent));
        if (!bareDevice.answer(HangUpReport, 0ms) || !marks.waitPast(Marks::HandOff, handOffs + 1)) {
            ++f.missed;
            return;
        }
    }
}

void print(const char* what, Stats& s) {
    std::printf("  %-52s %4zu rings, median %.3f ms, p95 %.3f ms\n", what, s.size(), s.percentile(0.5),
                s.percentile(0.95));
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;
    // The panel loads its pictures by bare name from the working folder; a
    // ring whose picture is missing would stop before the pop-up.
    if (::chdir(VN_ASSETS_DIR) != 0) {
        std::fprintf(stderr, "no assets folder %s\n", VN_ASSETS_DIR);
        return 1;
    }
    std::printf("load average at start: %s\n", bench::loadAverage().c_str());
    const uint16_t basePort = 18180;
    auto portOf = [](int n) { return static_cast<uint16_t>(basePort + n); };
    auto addressOf = [](int n) { return "127.0.0." + std::to_string(n); };

    // Door phones 1 to 4 are simulators; panel 1 reaches door phone 1 through
    // the benchmark's endpoint at .5, which plays its events channel. The
    // bare reader's reports come from a second endpoint at .6.
    bench::Simulators sims;
    for (int n = 1; n <= 4; ++n)
        if (!sims.start(addressOf(n), portOf(n))) {
            std::fprintf(stderr, "cannot start the simulator %s\n", VN_SIM_PROGRAM);
            return 1;
        }
    EventsDevice panelDevice(addressOf(5), portOf(5), addressOf(1), portOf(1));
    EventsDevice bareDevice(addressOf(6), portOf(6));
    if (!panelDevice.start() || !bareDevice.start()) {
        std::fprintf(stderr, "cannot listen on %s or %s\n", addressOf(5).c_str(), addressOf(6).c_str());
        return 1;
    }
    bench::runFor(500); // the simulators listen

    // The panel's log lines are written to a file, as the program writes its log.
    FILE* log = std::tmpfile();
    GuardPanelLogEvent() = [log](const std::string& line) {
        std::fprintf(log, "%s\n", line.c_str());
        std::fflush(log);
    };
    Marks marks;
    PaintWatch paints(marks);
    std::vector<int> pictures(4, 0);
    std::vector<std::unique_ptr<TGuardPanel>> panels;
    for (int n = 1; n <= 4; ++n) {
        auto p = std::make_unique<TGuardPanel>();
        p->SetGuardName("YOX" + std::to_string(n));
        p->SetGuardIP(addressOf(n == 1 ? 5 : n));
        p->SetGuardPort(std::to_string(portOf(n == 1 ? 5 : n)));
        p->SetGuardEnable(true);
        p->PingEchoOverride = [](const std::string&, int) { return true; };
        p->PictureShown = [&pictures, n](const std::shared_ptr<const std::vector<uint8_t>>&) {
            ++pictures[static_cast<size_t>(n - 1)];
        };
        p->show();
        p->Restart();
        panels.push_back(std::move(p));
    }
    TGuardPanel& ringing = *panels.front();
    ringing.OnPopUpActive = [&](QObject*) {
        marks.note(Marks::PopUp);
        paints.wanted = true;
    };
    ringing.OnPopUpDeActive = [&](QObject*) { marks.note(Marks::PopDown); };
    ringing.VratnikButton->installEventFilter(&paints);

    QObject window; // the bare reader's hand-offs go to the window thread through it
    BareReader bare(addressOf(6), portOf(6), &window, marks);
    const bool up = bench::runUntil(
        [&] {
            return panelDevice.ready() && bareDevice.ready() && ringing.VratnikButton->isVisible() &&
                   std::all_of(pictures.begin(), pictures.end(), [](int k) { return k >= 10; });
        },
        60000);
    if (!up) {
        std::fprintf(stderr, "not up within 60 s: events %d/%d, pictures %d %d %d %d\n", panelDevice.ready(),
                     bareDevice.ready(), pictures[0], pictures[1], pictures[2], pictures[3]);
        return 1;
    }

    Figures f;
    const int picturesBefore = std::accumulate(pictures.begin(), pictures.end(), 0);
    const auto start = Clock::now();
    QEventLoop loop;
    std::thread ringer([&] {
        ringInTurns(panelDevice, bareDevice, marks, seconds, f);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    ringer.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const int picturesShown = std::accumulate(pictures.begin(), pictures.end(), 0) - picturesBefore;

    std::printf("ring path, four panels streaming video (%.1f pictures/s shown):\n", picturesShown / elapsed);
    print("panel: last byte to pop-up done", f.popUp);
    print("panel: last byte to ring picture painted and pop-up", f.shown);
    print("baseline: last byte to bare reader's hand-off", f.bare);
    std::printf("ratio panel/baseline: median %.2fx, p95 %.2fx (target: panel median under 5 ms)\n",
                f.bare.percentile(0.5) > 0 ? f.shown.percentile(0.5) / f.bare.percentile(0.5) : 0.0,
                f.bare.percentile(0.95) > 0 ? f.shown.percentile(0.95) / f.bare.percentile(0.95) : 0.0);
    std::printf("load average at end: %s\n", bench::loadAverage().c_str());

    panels.clear();
    bench::runFor(300);
    GuardPanelLogEvent() = nullptr;
    std::fclose(log);
    if (f.missed > 0 || f.shown.size() == 0 || f.bare.size() == 0) {
        std::fprintf(stderr, "a ring or its hand-off did not arrive within %lld s\n",
                     static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(Bound).count()));
        return 1;
    }
    return 0;
}
