// Latency and CPU of live video: four simulator processes stream 640 x 480 at
// 25 fps into four panels on the window thread. For each picture it measures
// the time from the receive that brought the frame's last byte to the moment
// the window thread shows it. The baseline, measured in the same run, is four
// bare reader threads that receive the same streams and only count bytes,
// with the same hand-off to the window thread per receive that ends a frame.
// Usage: bench_panel_latency [seconds]   (loopback only)
#include "doorphone/GuardPanel.h"
#include "platform/Dispatch.h"
#include "platform/Net.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

void spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
}

struct Stats {
    std::vector<double> ms;
    double percentile(double p) {
        if (ms.empty()) return 0;
        std::sort(ms.begin(), ms.end());
        return ms[std::min(ms.size() - 1, static_cast<size_t>(p * static_cast<double>(ms.size())))];
    }
};

pid_t startSim(int n, uint16_t port) {
    const std::string address = "127.0.0." + std::to_string(n);
    const std::string portText = std::to_string(port);
    const char* argv[] = {VN_SIM_PROGRAM, "--address", address.c_str(), "--port", portText.c_str(),
                          "--size",       "640x480",   "--fps",         "25",     nullptr};
    // The simulator ends at the end of its input: it reads a pipe held open until the end.
    static int keepOpen[2] = {-1, -1};
    if (keepOpen[0] < 0 && ::pipe(keepOpen) != 0) return 0;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, keepOpen[0], 0);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ::posix_spawn(&pid, VN_SIM_PROGRAM, &fa, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// The baseline reader: receives one stream, and hands a step to the window
// thread for every receive that ends a part (it sees the trailer).
void bareReader(const std::string& address, uint16_t port, QObject* receiver, std::atomic<bool>& stop,
                std::mutex& m, Stats& stats) {
    int fd = platform::tcpConnect(address, std::to_string(port), 3000);
    if (fd < 0) return;
    const std::string request = "GET /video.mjpg HTTP/1.1\r\nUser-Agent: 1\r\nHost: " + address + "\r\n\r\n";
    platform::sendAll(fd, request.data(), request.size());
    std::vector<char> buf(50001);
    const platform::Receiver window(receiver);
    while (!stop) {
        if (platform::waitReadable(fd, 100) <= 0) continue;
        ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
        if (n <= 0) break;
        const auto t = Clock::now();
        if (memmem(buf.data(), static_cast<size_t>(n), "--tojekonec", 11)) {
            window.postAndWait(
                [t, &m, &stats] {
                    std::lock_guard l(m);
                    stats.ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t).count());
                },
                stop);
        }
    }
    ::close(fd);
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;
    const uint16_t basePort = 18080;
    std::vector<pid_t> sims;
    for (int n = 1; n <= 4; ++n)
        sims.push_back(startSim(n, static_cast<uint16_t>(basePort + n)));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    // Baseline: bare readers.
    Stats bare;
    std::mutex m;
    {
        QObject receiver;
        std::atomic<bool> stop{false};
        std::vector<std::thread> readers;
        const double cpu0 = cpuSeconds();
        for (int n = 1; n <= 4; ++n)
            readers.emplace_back(bareReader, "127.0.0." + std::to_string(n),
                                 static_cast<uint16_t>(basePort + n), &receiver, std::ref(stop), std::ref(m),
                                 std::ref(bare));
        spin(seconds * 1000);
        const double cpu = cpuSeconds() - cpu0;
        stop = true;
        spin(200);
        for (auto& t : readers)
            t.join();
        std::printf("baseline (bare readers): %zu frames, median %.3f ms, p95 %.3f ms, CPU %.3f cores\n",
                    bare.ms.size(), bare.percentile(0.5), bare.percentile(0.95), cpu / seconds);
    }

    // The panels.
    Stats ours;
    std::map<const void*, Clock::time_point> lastByte;
    std::vector<std::unique_ptr<TGuardPanel>> panels;
    for (int n = 1; n <= 4; ++n) {
        auto p = std::make_unique<TGuardPanel>();
        p->SetGuardName("YOX" + std::to_string(n));
        p->SetGuardIP("127.0.0." + std::to_string(n));
        p->SetGuardPort(std::to_string(basePort + n));
        p->SetGuardEnable(true);
        p->PingEchoOverride = [](const std::string&, int) { return true; };
        p->VideoFrameHook = [&m, &lastByte](const std::shared_ptr<const std::vector<uint8_t>>& jpeg,
                                            Clock::time_point t) {
            std::lock_guard l(m);
            lastByte[jpeg.get()] = t;
        };
        p->PictureShown = [&m, &lastByte, &ours](const std::shared_ptr<const std::vector<uint8_t>>& jpeg) {
            const auto now = Clock::now();
            std::lock_guard l(m);
            auto it = lastByte.find(jpeg.get());
            if (it == lastByte.end()) return;
            ours.ms.push_back(std::chrono::duration<double, std::milli>(now - it->second).count());
            lastByte.erase(it);
        };
        p->show();
        p->Restart();
        panels.push_back(std::move(p));
    }
    spin(2500); // ping, events and video come up
    {
        std::lock_guard l(m);
        ours.ms.clear();
    }
    const double cpu0 = cpuSeconds();
    spin(seconds * 1000);
    const double cpu = cpuSeconds() - cpu0;
    std::printf("panels: %zu frames, median %.3f ms, p95 %.3f ms, CPU %.3f cores\n", ours.ms.size(),
                ours.percentile(0.5), ours.percentile(0.95), cpu / seconds);
    std::printf("ratio panels/baseline: median latency %.2fx\n",
                bare.percentile(0.5) > 0 ? ours.percentile(0.5) / bare.percentile(0.5) : 0.0);

    panels.clear();
    spin(300);
    for (pid_t p : sims)
        ::kill(p, SIGTERM);
    for (pid_t p : sims)
        ::waitpid(p, nullptr, 0);
    return 0;
}
