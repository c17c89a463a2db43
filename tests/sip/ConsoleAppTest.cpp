#include "sip/ConsoleApp.h"
#include "sip/Pipe.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

bool alive(pid_t pid) {
    return pid > 0 && ::kill(pid, 0) == 0;
}

struct Trace {
    std::vector<std::string> events;
    void attach(TConsoleApp& app) {
        app.OnStart = [this](TCustomConsoleApp&) { events.push_back("start"); };
        app.OnWork = [this](TCustomConsoleApp&) { events.push_back("work"); };
        app.OnComplete = [this](TCustomConsoleApp&) { events.push_back("complete"); };
    }
};

std::string drain(TPipe& p) {
    std::string s;
    p.CopyToString(s);
    return s;
}

} // namespace

TEST(ConsoleApp, DefaultsAndZeroSettings) {
    TConsoleApp app;
    EXPECT_EQ(app.MaxExecTime(), 60000u);
    EXPECT_EQ(app.TimeSlice(), 50u);
    EXPECT_TRUE(app.KillTimedOutProcess);
    EXPECT_FALSE(app.Visible);
    EXPECT_EQ(app.ConsoleColors.Foreground, ccWhite);
    EXPECT_EQ(app.ConsoleColors.Background, ccBlack);
    app.SetMaxExecTime(0);
    app.SetTimeSlice(0);
    EXPECT_EQ(app.MaxExecTime(), 60000u);
    EXPECT_EQ(app.TimeSlice(), 50u);
}

TEST(ConsoleApp, QuickChildGetsOneWorkNotificationBeforeCompletion) {
    TConsoleApp app;
    Trace t;
    t.attach(app);
    app.SetTimeSlice(2000);
    ASSERT_TRUE(app.Execute("/bin/sh -c 'exit 3'", ""));
    EXPECT_EQ(app.ExitCode(), 3u);
    EXPECT_EQ(app.ErrorCode(), 0u);
    EXPECT_EQ(t.events, (std::vector<std::string>{"start", "work", "complete"}));
    EXPECT_EQ(app.TimeToLive(), 0u);
    EXPECT_EQ(app.ProcessInfo().ProcessId, 0);
}

TEST(ConsoleApp, MissingProgramFailsWithTheSystemErrorAndNoNotification) {
    TConsoleApp app;
    Trace t;
    t.attach(app);
    EXPECT_FALSE(app.Execute("no-such-program-velnora --x", ""));
    EXPECT_EQ(app.ErrorCode(), static_cast<uint32_t>(ENOENT));
    EXPECT_EQ(app.ErrorMessage(), "No such file or directory");
    EXPECT_TRUE(t.events.empty());
    // A working folder that does not exist is reported the same way.
    EXPECT_FALSE(app.Execute("/bin/true", "/no/such/folder"));
    EXPECT_EQ(app.ErrorCode(), static_cast<uint32_t>(ENOENT));
    EXPECT_TRUE(t.events.empty());
}

TEST(ConsoleApp, TimeOutAndTerminateEndTheChild) {
    struct Case {
        bool terminate;
        uint32_t code;
        const char* message;
    };
    for (const Case c : {Case{false, 0x20000001u, "Application timed out"},
                         Case{true, 0x20000002u, "Application terminated"}}) {
        TConsoleApp app;
        Trace t;
        t.attach(app);
        std::atomic<pid_t> child{0};
        app.OnStart = [&](TCustomConsoleApp&) { child = app.ProcessInfo().ProcessId; };
        app.SetTimeSlice(20);
        app.SetMaxExecTime(c.terminate ? TConsoleApp::NoLimit : 150);
        std::thread stopper;
        if (c.terminate) // once the child runs
            stopper = std::thread([&] {
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (child == 0 && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                app.Terminate();
            });
        EXPECT_FALSE(app.Execute("sleep 30", ""));
        if (stopper.joinable()) stopper.join();
        EXPECT_EQ(app.ErrorCode(), c.code);
        EXPECT_EQ(app.ErrorMessage(), c.message);
        EXPECT_EQ(t.events.back(), "complete");
        EXPECT_FALSE(alive(child));
    }
}

TEST(ConsoleApp, UnlimitedRunKeepsItsTimeToLiveAndNoSliceMeansNoWork) {
    TConsoleApp app;
    app.SetMaxExecTime(TConsoleApp::NoLimit);
    app.SetTimeSlice(20);
    std::vector<uint32_t> ttl;
    app.OnWork = [&](TCustomConsoleApp&) { ttl.push_back(app.TimeToLive()); };
    ASSERT_TRUE(app.Execute("sleep 0.2", ""));
    ASSERT_GE(ttl.size(), 3u);
    for (auto v : ttl)
        EXPECT_EQ(v, TConsoleApp::NoLimit);

    TConsoleApp quiet;
    quiet.SetTimeSlice(TConsoleApp::NoLimit);
    int works = 0;
    quiet.OnWork = [&](TCustomConsoleApp&) { ++works; };
    ASSERT_TRUE(quiet.Execute("sleep 0.1", ""));
    EXPECT_EQ(works, 0);
}

TEST(ConsoleApp, StandardHandlesFolderEnvironmentAndPriority) {
    TPipe out(true), in(true);
    TConsoleApp app;
    app.StdIn = in.ReadHandle();
    app.StdOut = out.WriteHandle();
    app.StdErr = out.WriteHandle();
    app.Environment = environmentWith({"VN_PROBE=seen"});
    app.Priority = TConsoleAppPriority::cpIdle;
    in.WriteData("line\n", 5);
    in.CloseWriteHandle();
    ASSERT_TRUE(
        app.Execute("/bin/sh -c 'pwd; echo $VN_PROBE; read x; echo got:$x; nice; echo oops >&2'", "/tmp"));
    EXPECT_EQ(drain(out), "/tmp\nseen\ngot:line\n19\noops\n");
}

TEST(ConsoleApp, UnsetHandleBecomesNothingAndOnlyTheStandardOnesReachTheChild) {
    TPipe out(true);
    TPipe stray(true); // close-on-exec: the child must not see it
    TConsoleApp app;
    app.StdOut = out.WriteHandle();
    ASSERT_TRUE(app.Execute("/bin/sh -c 'cat; ls /proc/self/fd | wc -l'", ""));
    // stdin is /dev/null (cat ends at once); fds 0,1,2 and the one ls opens.
    EXPECT_EQ(drain(out), "4\n");
}

TEST(ConsoleApp, ChildDiesWithTheThreadThatStartedIt) {
    pid_t child = 0;
    std::thread runner([&] {
        TConsoleApp app;
        app.KillTimedOutProcess = false;
        app.SetMaxExecTime(100);
        app.OnStart = [&](TCustomConsoleApp&) { child = app.ProcessInfo().ProcessId; };
        EXPECT_FALSE(app.Execute("sleep 30", ""));
        EXPECT_TRUE(alive(child)); // left running on time-out
    });
    runner.join();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (alive(child) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(alive(child));
}
