#include "common/SystemUtils.h"
#include "app/AppUtils.h"
#include "support/TestEnv.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

TEST(Base64, EncodesAndPads) {
    struct Case {
        std::string in, out;
    } cases[] = {{"", ""},
                 {"a", "YQ=="},
                 {"ab", "YWI="},
                 {"abc", "YWJj"},
                 {"abcd", "YWJjZA=="},
                 {std::string("\xff\xfe\x00", 3), "//4A"},
                 {":", "Og=="},
                 {"admin:1234", "YWRtaW46MTIzNA=="}};
    for (const auto& c : cases)
        EXPECT_EQ(EncodeBase64(c.in), c.out) << c.in;
    EXPECT_EQ(DoorPhoneCredential("", ""), "Og==");
    EXPECT_EQ(DoorPhoneCredential("admin", "1234"), "YWRtaW46MTIzNA==");
}

TEST(Bits, TestSetClearLeaveTheArgumentAlone) {
    uint16_t v = 0;
    EXPECT_EQ(SetBit(v, 1), 2);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(SetBit(SetBit(0, 1), 3), 10);
    EXPECT_EQ(ClearBit(10, 3), 2);
    EXPECT_TRUE(TestBit(8, 3));
    EXPECT_FALSE(TestBit(8, 2));
    EXPECT_EQ(SetBit(0, 15), 0x8000);
    EXPECT_EQ(SetBit(0, 16), 0) << "bits above 15 do not exist";
}

namespace {

struct Listener {
    int fd = -1;
    int port = 0;
    Listener() {
        uint16_t p = 0;
        fd = testenv::listenLoopback(&p, 4);
        port = p;
    }
    ~Listener() { ::close(fd); }
    std::string acceptAndReadAll() {
        int c = ::accept(fd, nullptr, nullptr);
        std::string got;
        char buf[256];
        ssize_t n;
        while ((n = ::recv(c, buf, sizeof buf, 0)) > 0)
            got.append(buf, static_cast<size_t>(n));
        ::close(c);
        return got;
    }
};

int closedPort() {
    return testenv::unusedLoopbackPort();
}

} // namespace

TEST(SendTCPCommand, DeliversTheLineWithCrLfAndHoldsTheConnection) {
    Listener l;
    std::string got;
    std::thread server([&] { got = l.acceptAndReadAll(); });
    auto t0 = std::chrono::steady_clock::now();
    SendTCPCommand("127.0.0.1", std::to_string(l.port), "GET /x HTTP/1.1\r\n", 300);
    auto took = std::chrono::steady_clock::now() - t0;
    server.join();
    EXPECT_EQ(got, "GET /x HTTP/1.1\r\n\r\n");
    EXPECT_GE(took, std::chrono::milliseconds(300));
}

TEST(SendTCPCommand, ClosedPortSendsNothingButStillWaits) {
    const int port = closedPort();
    auto t0 = std::chrono::steady_clock::now();
    SendTCPCommand("127.0.0.1", std::to_string(port), "GET / HTTP/1.1\r\n", 200);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(200));
    // A port that is not a number and a name that does not resolve are no different.
    SendTCPCommand("127.0.0.1", "8O", "x", 10);
    SendTCPCommand("no-such-host.invalid", "80", "x", 10);
}

TEST(Processes, FindAndKillByNameInAnyLetterCase) {
    // A child that runs under an unusual name: a copy of sleep.
    const std::string dir = ::testing::TempDir();
    const std::string exe = dir + "/vnSleeper" + std::to_string(::getpid());
    ASSERT_EQ(std::system(("cp /bin/sleep '" + exe + "'").c_str()), 0);
    const std::string name = exe.substr(exe.rfind('/') + 1);
    EXPECT_FALSE(ProcessExists(name));
    EXPECT_FALSE(KillProcess(name)) << "nothing matched";

    pid_t pid = 0;
    const char* argv[] = {exe.c_str(), "30", nullptr};
    ASSERT_EQ(::posix_spawn(&pid, exe.c_str(), nullptr, nullptr, const_cast<char* const*>(argv), environ), 0);
    // The child carries its name once it runs the new program.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ProcessNameByPID(pid) != name && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::string upper = name;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(ProcessExists(name));
    EXPECT_TRUE(ProcessExists(upper));
    EXPECT_EQ(ProcessNameByPID(pid), name);
    EXPECT_EQ(ProcessNameByPID(-5), "");
    EXPECT_TRUE(KillProcess(upper));
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_FALSE(ProcessExists(name));
    ::unlink(exe.c_str());
}

TEST(LocalAddress, IsDottedOrEmpty) {
    const std::string ip = GetLocalIP();
    if (!ip.empty()) {
        in_addr a{};
        EXPECT_EQ(::inet_pton(AF_INET, ip.c_str(), &a), 1) << ip;
    }
}
