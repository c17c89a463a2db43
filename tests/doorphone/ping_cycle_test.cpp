#include "doorphone/ping_thread.h"
#include "platform/Icmp.h"
#include "support/TestEnv.h"

#include <deque>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

// Drives the monitor with scripted echo answers and fast waits.
struct Scripted {
    std::deque<bool> answers;
    bool after = false; // answer once the script is used up
    int echoes = 0;
    std::vector<std::string> reports;
    std::mutex m;

    std::shared_ptr<TPingThread> make() {
        auto t = std::make_shared<TPingThread>();
        t->iP = "127.0.0.1";
        t->timings = {1, 1, 5, 1, 1, 10, 1};
        t->echo = [this](const std::string&, int timeoutMs) {
            EXPECT_EQ(timeoutMs, 10);
            std::lock_guard l(m);
            ++echoes;
            if (answers.empty()) return after;
            bool a = answers.front();
            answers.pop_front();
            return a;
        };
        t->StateChangedEvent = [this](const std::string& r) {
            std::lock_guard l(m);
            reports.push_back(r);
        };
        return t;
    }
    // Waits up to 5 s for a condition on the counters, read under the lock.
    template <class F> bool waitFor(F done) {
        return testenv::waitUntil([&] {
            std::lock_guard l(m);
            return done();
        });
    }
};

// A monitor started on its own thread. stop() ends it and waits until the thread
// has let go of it; the destructor does the same when a test ends early, so the
// thread never outlives the script it reports into.
struct RunningMonitor {
    explicit RunningMonitor(std::shared_ptr<TPingThread> monitor) : t(std::move(monitor)) {
        TPingThread::Start(t);
    }
    ~RunningMonitor() { stop(); }
    bool stop() {
        t->endThread = true;
        return testenv::waitUntil([&] { return t.use_count() == 1; }, 30000);
    }
    std::shared_ptr<TPingThread> t;
};

} // namespace

TEST(PingCycle, TableOfCases) {
    struct Case {
        const char* name;
        std::vector<std::vector<bool>> cycles; // echo answers per cycle
        std::vector<std::string> reports;      // after all cycles
        std::vector<int> echoesPerCycle;
    } cases[] = {
        {"answers from the start", {{true}, {true}, {true}}, {"1"}, {1, 1, 1}},
        {"never answers",
         {{false, false, false, false, false}, {false, false, false, false, false}},
         {},
         {5, 5}},
        {"stops answering", {{true}, {false, false, false, false, false}}, {"1", "0"}, {1, 5}},
        {"one lost reply in between", {{true}, {false, true}, {true}}, {"1"}, {1, 2, 1}},
        {"answers on the fifth try", {{false, false, false, false, true}}, {"1"}, {5}},
        {"comes back", {{true}, {false, false, false, false, false}, {true}}, {"1", "0", "1"}, {1, 5, 1}},
    };
    for (const auto& c : cases) {
        Scripted s;
        auto t = s.make();
        for (size_t i = 0; i < c.cycles.size(); ++i) {
            s.answers.assign(c.cycles[i].begin(), c.cycles[i].end());
            s.echoes = 0;
            t->Cycle();
            EXPECT_EQ(s.echoes, c.echoesPerCycle[i]) << c.name << " cycle " << i;
        }
        EXPECT_EQ(s.reports, c.reports) << c.name;
    }
}

TEST(PingCycle, AnEchoThatFailsChangesNothing) {
    Scripted s;
    auto t = s.make();
    s.answers = {true};
    t->Cycle();
    t->echo = [](const std::string&, int) -> bool { throw std::runtime_error("socket"); };
    t->Cycle();
    EXPECT_TRUE(t->State);
    EXPECT_EQ(s.reports, std::vector<std::string>{"1"});
}

TEST(PingRun, ReportsOnlyChangesAndAFinalZero) {
    Scripted s;
    s.after = true;
    RunningMonitor run{s.make()};
    EXPECT_TRUE(s.waitFor([&] { return s.echoes > 3; })) << "cycles keep going";
    ASSERT_TRUE(run.stop());
    std::lock_guard l(s.m);
    EXPECT_EQ(s.reports, (std::vector<std::string>{"1", "0"}));
}

TEST(PingRun, NeverAnsweringDeviceOnlyGetsTheFinalZero) {
    Scripted s;
    RunningMonitor run{s.make()};
    EXPECT_TRUE(s.waitFor([&] { return s.echoes >= 10; })) << "two whole cycles";
    ASSERT_TRUE(run.stop());
    std::lock_guard l(s.m);
    EXPECT_EQ(s.reports, std::vector<std::string>{"0"});
}

TEST(PingRun, StopDuringAFailingCycleReportsNothingNew) {
    Scripted s;
    auto t = s.make();
    t->timings.retryWaitMs = 50;
    s.answers = {true};
    t->Cycle(); // reported "1"
    // The stop arrives while the first echo of the cycle fails.
    t->echo = [&t, echo = t->echo](const std::string& ip, int timeoutMs) {
        const bool answered = echo(ip, timeoutMs);
        t->endThread = true;
        return answered;
    };
    s.echoes = 0;
    t->Cycle();
    EXPECT_EQ(s.echoes, 1) << "the cycle ends after the current wait";
    EXPECT_EQ(s.reports, std::vector<std::string>{"1"});
}

TEST(PingRun, AStopBeforeTheThreadRunsIsHonoured) {
    Scripted s;
    s.after = true;
    auto t = s.make();
    t->endThread = true;
    t->Run();
    EXPECT_EQ(s.echoes, 0);
    EXPECT_EQ(s.reports, std::vector<std::string>{"0"});
}

TEST(PingRun, RealTimingsAreTheDesignOnes) {
    TPingThread t;
    EXPECT_EQ(t.timings.startBaseMs, 500);
    EXPECT_EQ(t.timings.startRangeMs, 500);
    EXPECT_EQ(t.timings.idleSteps * t.timings.idleStepMs, 4000);
    EXPECT_EQ(t.timings.retryWaitMs, 200);
    EXPECT_EQ(t.timings.echoTimeoutMs, 2000);
}

TEST(IcmpEcho, LoopbackAnswersAndAnUnusedNameDoesNot) {
    platform::IcmpEcho echo(256);
    EXPECT_TRUE(echo.ping("127.0.0.1", 2000));
    EXPECT_FALSE(echo.ping("", 100));
    EXPECT_FALSE(echo.ping("no-such-host.invalid", 100));
    const uint8_t bytes[] = {0x45, 0x00, 0x00, 0x73, 0x00, 0x00, 0x40, 0x00, 0x40, 0x11,
                             0x00, 0x00, 0xc0, 0xa8, 0x00, 0x01, 0xc0, 0xa8, 0x00, 0xc7};
    EXPECT_EQ(platform::internetChecksum(bytes, sizeof bytes), 0xb861);
}
