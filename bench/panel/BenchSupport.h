#pragma once
// What the panel benchmarks share: figures, CPU time, the window thread's
// loop and the simulated door phones they stream from.
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace bench {

using Clock = std::chrono::steady_clock;

inline double millis(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// CPU time (user and system) of the process, or of the calling thread with RUSAGE_THREAD.
inline double cpuSeconds(int who = RUSAGE_SELF) {
    rusage ru{};
    ::getrusage(who, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// The machine's load average (1, 5, 15 minutes): the figures mean little without it.
inline std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

struct Stats {
    std::vector<double> ms;
    size_t size() const { return ms.size(); }
    // Nearest rank: the smallest sample that at least p of all samples do not exceed.
    double percentile(double p) {
        if (ms.empty()) return 0;
        std::sort(ms.begin(), ms.end());
        const auto rank = static_cast<size_t>(std::ceil(p * static_cast<double>(ms.size())));
        return ms[std::clamp<size_t>(rank, 1, ms.size()) - 1];
    }
};

// Runs the window thread's event loop for ms, as the program's own loop runs:
// it sleeps until something is posted, so hand-offs are not delayed by polling.
inline void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the loop until done() holds (looked at every 10 ms) or timeoutMs passed; done() then.
inline bool runUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && Clock::now() < until)
        runFor(10);
    return done();
}

// Simulated door phones, each a process of its own (its CPU is not ours),
// streaming 640 x 480 at 25 fps; all are ended with the object.
class Simulators {
public:
    Simulators() {
        if (::pipe2(keepOpen_, O_CLOEXEC) != 0) keepOpen_[0] = keepOpen_[1] = -1;
    }
    ~Simulators() {
        for (pid_t p : pids_)
            ::kill(p, SIGTERM);
        for (pid_t p : pids_)
            ::waitpid(p, nullptr, 0);
        for (int fd : keepOpen_)
            if (fd >= 0) ::close(fd);
    }
    Simulators(const Simulators&) = delete;
    Simulators& operator=(const Simulators&) = delete;

    bool start(const std::string& address, uint16_t port) {
        const std::string portText = std::to_string(port);
        const char* argv[] = {VN_SIM_PROGRAM, "--address", address.c_str(), "--port", portText.c_str(),
                              "--size",       "640x480",   "--fps",         "25",     nullptr};
        // The simulator ends at the end of its input: it reads a pipe held open until the end.
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, keepOpen_[0], 0);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int rc =
            ::posix_spawn(&pid, VN_SIM_PROGRAM, &fa, nullptr, const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&fa);
        if (rc != 0) return false;
        pids_.push_back(pid);
        return true;
    }

private:
    int keepOpen_[2] = {-1, -1};
    std::vector<pid_t> pids_;
};

} // namespace bench
