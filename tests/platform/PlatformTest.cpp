#include "platform/Folders.h"

#include <gtest/gtest.h>

TEST(Folders, FollowXdgVariables) {
    EXPECT_EQ(platform::commonAppDataFolder(), std::string(std::getenv("XDG_DATA_HOME")));
}

#include "platform/Dispatch.h"
#include "support/TestEnv.h"

#include <thread>

TEST(Receiver, CallsArriveInOrderOnTheTargetsThreadAndStopWithIt) {
    auto target = std::make_unique<QObject>();
    platform::Receiver r = target.get();
    std::vector<int> got;
    const auto mainThread = std::this_thread::get_id();
    bool onMain = true;
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            r.post([&, i] {
                onMain = onMain && std::this_thread::get_id() == mainThread;
                got.push_back(i);
            });
    });
    worker.join();
    testenv::waitUntil([&] { return got.size() == 50; }, 2000);
    ASSERT_EQ(got.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(got[static_cast<size_t>(i)], i);
    EXPECT_TRUE(onMain);

    // Posted but not yet run when the target goes: dropped, and later posts fail.
    bool ran = false;
    EXPECT_TRUE(r.post([&] { ran = true; }));
    target.reset();
    testenv::spin(50);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(r.post([&] { ran = true; }));
    std::atomic<bool> stop{false};
    EXPECT_FALSE(r.postAndWait([&] { ran = true; }, stop));
    EXPECT_TRUE(static_cast<bool>(r)) << "a target was given";
}

TEST(Receiver, AWaitingWorkerGivesUpWhenStoppedOrWhenTheTargetGoes) {
    auto target = std::make_unique<QObject>();
    platform::Receiver r = target.get();
    std::atomic<bool> stop{false};
    std::atomic<int> result{-1};
    std::thread worker([&] { result = r.postAndWait([] {}, stop) ? 1 : 0; });
    testenv::waitUntil([&] { return result != -1; }, 2000);
    worker.join();
    EXPECT_EQ(result, 1) << "ran once the window thread took it";

    // The window thread does not run its loop: only the stop ends the wait.
    result = -1;
    std::thread waiting([&] { result = r.postAndWait([] {}, stop) ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(result, -1);
    stop = true;
    waiting.join();
    EXPECT_EQ(result, 0);
    testenv::spin(50); // the abandoned call is not run afterwards either

    stop = false;
    result = -1;
    std::thread gone([&] { result = r.postAndWait([] {}, stop) ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    target.reset();
    gone.join();
    EXPECT_EQ(result, 0);
}
