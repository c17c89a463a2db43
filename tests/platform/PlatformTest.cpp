#include "platform/Folders.h"

#include <gtest/gtest.h>

TEST(Folders, FollowXdgVariables) {
    EXPECT_EQ(platform::commonAppDataFolder(), std::string(std::getenv("XDG_DATA_HOME")));
}

#include "platform/Dispatch.h"
#include "support/TestEnv.h"

#include <sys/stat.h>
#include <thread>
#include <vector>

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

TEST(Folders, AMissingApplicationDataFolderIsCreatedPrivate) {
    const std::string savedHome = std::getenv("HOME"), savedData = std::getenv("XDG_DATA_HOME");
    struct Case {
        const char* what;
        bool viaXdg; // else through HOME
    } cases[] = {{"XDG_DATA_HOME with missing parents", true}, {"a home without .local", false}};
    for (const auto& c : cases) {
        const std::string root = testenv::makeTempDir("appdata");
        std::string expected;
        std::vector<std::string> created;
        if (c.viaXdg) {
            expected = root + "/a/b/share";
            created = {root + "/a", root + "/a/b", expected};
            ::setenv("XDG_DATA_HOME", expected.c_str(), 1);
        } else {
            expected = root + "/.local/share";
            created = {root + "/.local", expected};
            ::unsetenv("XDG_DATA_HOME");
            ::setenv("HOME", root.c_str(), 1);
        }
        EXPECT_EQ(platform::commonAppDataFolder(), expected) << c.what;
        EXPECT_FALSE(platform::directoryExists(expected)) << c.what << ": looking it up creates nothing";
        EXPECT_EQ(platform::ensureCommonAppDataFolder(), expected) << c.what;
        for (const auto& d : created) {
            struct stat st {};
            ASSERT_EQ(::stat(d.c_str(), &st), 0) << c.what << ": " << d;
            EXPECT_TRUE(S_ISDIR(st.st_mode)) << d;
            EXPECT_EQ(st.st_mode & 07777, 0700u) << d;
        }
        // An existing folder keeps its mode.
        ::chmod(expected.c_str(), 0755);
        EXPECT_EQ(platform::ensureCommonAppDataFolder(), expected);
        struct stat st {};
        ASSERT_EQ(::stat(expected.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0755u);
        ::setenv("HOME", savedHome.c_str(), 1);
        ::setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    }
}

TEST(Folders, PicturesAreFoundBesideAnInstalledProgram) {
    // An installed tree (<prefix>/bin, <prefix>/share/velnora-manager), a build
    // tree's assets folder, and a folder holding neither.
    const std::string root = testenv::makeTempDir("install");
    const std::string prefix = root + "/usr", bin = prefix + "/bin",
                      share = prefix + "/share/velnora-manager";
    const std::string assets = root + "/src/assets", elsewhere = root + "/elsewhere",
                      bare = root + "/bare/bin";
    for (const auto& d : {bin, share, assets, elsewhere, bare})
        ASSERT_TRUE(platform::createDirectories(d));
    testenv::writeFile(share + "/title_bar.png", "x");
    testenv::writeFile(assets + "/title_bar.png", "x");
    struct Case {
        const char* what;
        std::string current, program, expected;
    } cases[] = {
        {"started in the build tree's assets", assets, bin, ""},
        {"installed, started elsewhere", elsewhere, bin, bin + "/../share/velnora-manager"},
        {"installed, started in /", "/", bin + "/", bin + "/../share/velnora-manager"},
        {"installed, started in its own folder", share, bin, ""},
        {"not installed, started elsewhere", elsewhere, bare, ""},
        {"program folder unknown", elsewhere, "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::installedAssetsFolder(c.current, c.program, "title_bar.png"), c.expected)
            << c.what;
    EXPECT_TRUE(platform::fileExists(platform::executableFolder() + "/platform_tests"))
        << "the program folder is where this test program is: " << platform::executableFolder();
}
