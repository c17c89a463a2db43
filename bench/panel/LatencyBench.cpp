// Latency and CPU of live video: four simulator processes stream 640 x 480 at
// 25 fps into four panels on the window thread. For each picture it measures
// the time from the receive that brought the frame's last byte to the moment
// the window thread shows it. The baseline, measured in the same run, is four
// bare reader threads that receive the same streams and only count bytes,
// with the same hand-off to the window thread per receive that ends a frame.
// The panels' CPU is also set against decoding the pictures they showed, and
// nothing else, at the same pace.
// Usage: bench_panel_latency [seconds]   (loopback only)
#include "BenchSupport.h"
#include "doorphone/GuardPanel.h"
#include "platform/Dispatch.h"
#include "platform/Net.h"
#include "video/JpegDecoder.h"
#include "video/video.h"

#include <QApplication>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <turbojpeg.h>
#include <vector>

namespace {

using bench::Clock;
using bench::Stats;

// Pictures a panel keeps for decoding alone (20 s of its stream).
constexpr size_t MaxKeptPerPanel = 500;

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
                    stats.ms.push_back(bench::millis(Clock::now() - t));
                },
                stop);
        }
    }
    ::close(fd);
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;
    const uint16_t basePort = 18080;
    std::printf("load average at start: %s\n", bench::loadAverage().c_str());
    bench::Simulators sims;
    for (int n = 1; n <= 4; ++n)
        if (!sims.start("127.0.0." + std::to_string(n), static_cast<uint16_t>(basePort + n))) {
            std::fprintf(stderr, "cannot start the simulator %s\n", VN_SIM_PROGRAM);
            return 1;
        }
    bench::runFor(500);

    // Baseline: bare readers.
    Stats bare;
    std::mutex m;
    {
        QObject receiver;
        std::atomic<bool> stop{false};
        std::vector<std::thread> readers;
        const double cpu0 = bench::cpuSeconds();
        for (int n = 1; n <= 4; ++n)
            readers.emplace_back(bareReader, "127.0.0." + std::to_string(n),
                                 static_cast<uint16_t>(basePort + n), &receiver, std::ref(stop), std::ref(m),
                                 std::ref(bare));
        bench::runFor(seconds * 1000);
        const double cpu = bench::cpuSeconds() - cpu0;
        stop = true;
        bench::runFor(200);
        for (auto& t : readers)
            t.join();
        std::printf("baseline (bare readers): %zu frames, median %.3f ms, p95 %.3f ms, CPU %.3f cores\n",
                    bare.size(), bare.percentile(0.5), bare.percentile(0.95), cpu / seconds);
    }

    // The panels.
    Stats ours;
    std::map<const void*, Clock::time_point> lastByte;
    bool measuring = false; // window thread only
    // The pictures each panel showed while measuring (window thread only).
    std::vector<std::vector<TMJPEG::JpegBytes>> shown(4);
    long decodedWhileMeasuring = 0; // under m
    std::vector<std::unique_ptr<TGuardPanel>> panels;
    for (int n = 1; n <= 4; ++n) {
        auto p = std::make_unique<TGuardPanel>();
        p->SetGuardName("YOX" + std::to_string(n));
        p->SetGuardIP("127.0.0." + std::to_string(n));
        p->SetGuardPort(std::to_string(basePort + n));
        p->SetGuardEnable(true);
        p->PingEchoOverride = [](const std::string&, int) { return true; };
        p->VideoFrameHook = [&m, &lastByte, &decodedWhileMeasuring](const TMJPEG::JpegBytes& jpeg,
                                                                    Clock::time_point t) {
            std::lock_guard l(m);
            lastByte[jpeg.get()] = t;
            ++decodedWhileMeasuring;
        };
        p->PictureShown = [&m, &lastByte, &ours, &measuring,
                           &kept = shown[static_cast<size_t>(n - 1)]](const TMJPEG::JpegBytes& jpeg) {
            const auto now = Clock::now();
            if (measuring && kept.size() < MaxKeptPerPanel) kept.push_back(jpeg);
            std::lock_guard l(m);
            auto it = lastByte.find(jpeg.get());
            if (it == lastByte.end()) return;
            ours.ms.push_back(bench::millis(now - it->second));
            lastByte.erase(it);
        };
        p->show();
        p->Restart();
        panels.push_back(std::move(p));
    }
    bench::runFor(2500); // ping, events and video come up
    {
        std::lock_guard l(m);
        ours.ms.clear();
        decodedWhileMeasuring = 0;
    }
    measuring = true;
    const double cpu0 = bench::cpuSeconds();
    const double window0 = bench::cpuSeconds(RUSAGE_THREAD);
    bench::runFor(seconds * 1000);
    const double cpu = bench::cpuSeconds() - cpu0;
    const double windowCpu = bench::cpuSeconds(RUSAGE_THREAD) - window0;
    measuring = false;
    long decoded = 0;
    {
        std::lock_guard l(m);
        decoded = decodedWhileMeasuring;
    }
    std::printf("panels: %zu frames, median %.3f ms, p95 %.3f ms, CPU %.3f cores (window thread %.3f)\n",
                ours.size(), ours.percentile(0.5), ours.percentile(0.95), cpu / seconds, windowCpu / seconds);
    std::printf("ratio panels/baseline: median latency %.2fx\n",
                bare.percentile(0.5) > 0 ? ours.percentile(0.5) / bare.percentile(0.5) : 0.0);
    panels.clear();
    bench::runFor(300);

    // The same pictures decoded alone, and nothing else (no receive, parse,
    // hand-off or display): four threads, each taking its panel's pictures at
    // the stream's 25 a second. Two baselines: the bare decode at the DCT scale
    // the clients use, and the clients' whole picture step (that decode and
    // the resize to the panel's size).
    const auto decodeAlone = [&shown](bool bare, long& decodedAlone) {
        std::atomic<long> count{0}, failed{0};
        const double cpu0 = bench::cpuSeconds();
        std::vector<std::thread> decoders;
        for (const auto& pictures : shown)
            decoders.emplace_back([&pictures, &count, &failed, bare] {
                video::JpegDecoder decoder;
                QImage picture;
                std::vector<uint8_t> pixels;
                auto next = Clock::now();
                for (const auto& jpeg : pictures) {
                    std::this_thread::sleep_until(next);
                    next += std::chrono::milliseconds(40);
                    bool ok = false;
                    if (!bare) {
                        ok = TMJPEG::DecodePicture(decoder, jpeg->data(), jpeg->size(), picture);
                    } else if (const auto full = decoder.header(jpeg->data(), jpeg->size())) {
                        const auto s = video::JpegDecoder::scaledCovering(
                            *full, {TMJPEG::PanelWidth, TMJPEG::PanelHeight});
                        pixels.resize(static_cast<size_t>(s.width) * 4 * static_cast<size_t>(s.height));
                        ok = decoder.decode(jpeg->data(), jpeg->size(), pixels.data(), s, s.width * 4,
                                            TJPF_BGRX);
                    }
                    ++(ok ? count : failed);
                }
            });
        for (auto& t : decoders)
            t.join();
        decodedAlone = count;
        return failed == 0 && count > 0 ? (bench::cpuSeconds() - cpu0) / static_cast<double>(count) : -1.0;
    };
    long bareCount = 0, stepCount = 0;
    const double bareEach = decodeAlone(true, bareCount);
    const double stepEach = decodeAlone(false, stepCount);
    if (bareEach <= 0 || stepEach <= 0 || decoded == 0) {
        std::printf("decoding alone failed: %ld bare, %ld with resize decoded\n", bareCount, stepCount);
        return 1;
    }
    const double panelsEach = cpu / static_cast<double>(decoded);
    std::printf(
        "CPU a picture: panels %.3f ms (%ld pictures), bare decode %.3f ms, decode and resize %.3f ms "
        "(%ld pictures)\n",
        panelsEach * 1e3, decoded, bareEach * 1e3, stepEach * 1e3, bareCount);
    std::printf("ratio panels/bare decode: CPU %.2fx (target: at most 1.5x)\n", panelsEach / bareEach);
    std::printf("ratio panels/decode and resize: CPU %.2fx\n", panelsEach / stepEach);
    std::printf("load average at end: %s\n", bench::loadAverage().c_str());
    return 0;
}
