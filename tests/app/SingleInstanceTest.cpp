// One console per user and data folder, through the real lock file and local
// socket: a later start hands over to the running one, whatever the earlier
// ones left behind, and two starts at the same moment leave one console.
#include "app/SingleInstance.h"
#include "support/TestEnv.h"

#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int Generous = 10000;

struct Folders {
    QString data, runtime;
};

Folders makeFolders(const char* name) {
    const std::string root = testenv::makeTempDir(name);
    EXPECT_EQ(::mkdir((root + "/data").c_str(), 0700), 0);
    EXPECT_EQ(::mkdir((root + "/run").c_str(), 0700), 0);
    return {QString::fromStdString(root + "/data"), QString::fromStdString(root + "/run")};
}

// A later start on its own thread (it blocks while the running one answers on
// this thread's event loop); its role once it has decided.
SingleInstance::Role startAgain(const Folders& f, int timeoutMs = Generous) {
    std::atomic<bool> done{false};
    SingleInstance::Role role{};
    std::thread later([&] {
        SingleInstance second(f.data, f.runtime);
        QString error;
        role = second.claim(timeoutMs, &error);
        done = true;
    });
    EXPECT_TRUE(testenv::waitUntil([&] { return done.load(); }, 3 * Generous));
    later.join();
    return role;
}

// A lock file as a console leaves it when it dies: it names a process that is gone.
void leaveDeadLock(const QString& lockFile) {
    QProcess gone;
    gone.start("/bin/true");
    ASSERT_TRUE(gone.waitForStarted(Generous));
    const qint64 pid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished(Generous));
    QFile f(lockFile);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray::number(pid) + "\nvelnora-manager\n" + QSysInfo::machineHostName().toUtf8() + "\n");
}

// A socket file as a console leaves it when it dies: nobody listens there.
void leaveDeadSocket(const QString& name) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray path = name.toLocal8Bit();
    ASSERT_LT(static_cast<size_t>(path.size()), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.constData(), static_cast<size_t>(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(name));
}

} // namespace

TEST(SingleInstance, ALaterStartShowsTheRunningConsoleWhateverEarlierOnesLeft) {
    enum class Left { Nothing, LockOfADeadConsole, SocketOfADeadConsole, Both };
    const struct {
        const char* what;
        Left left;
    } cases[] = {
        {"a clean start", Left::Nothing},
        {"after a crash that left its lock", Left::LockOfADeadConsole},
        {"after a crash that left its socket", Left::SocketOfADeadConsole},
        {"after a crash that left both", Left::Both},
    };
    for (const auto& c : cases) {
        const Folders f = makeFolders("instance");
        {
            SingleInstance probe(f.data, f.runtime);
            if (c.left == Left::LockOfADeadConsole || c.left == Left::Both)
                leaveDeadLock(probe.lockFileName());
            if (c.left == Left::SocketOfADeadConsole || c.left == Left::Both)
                leaveDeadSocket(probe.serverName());
        }
        SingleInstance running(f.data, f.runtime);
        int shown = 0;
        running.OnShowRequest = [&] { ++shown; };
        QString error;
        ASSERT_EQ(running.claim(Generous, &error), SingleInstance::Role::First) << c.what;
        EXPECT_TRUE(error.isEmpty()) << c.what << ": " << error.toStdString();

        EXPECT_EQ(startAgain(f), SingleInstance::Role::HandedOver) << c.what;
        EXPECT_EQ(shown, 1) << c.what << ": the running console was asked to come to the front once";
        EXPECT_EQ(startAgain(f), SingleInstance::Role::HandedOver) << c.what << ": again";
        EXPECT_EQ(shown, 2) << c.what;
    }
}

TEST(SingleInstance, TheConsoleThatEndedLeavesTheNextStartFree) {
    const Folders f = makeFolders("ended");
    {
        SingleInstance first(f.data, f.runtime);
        ASSERT_EQ(first.claim(Generous, nullptr), SingleInstance::Role::First);
    }
    SingleInstance next(f.data, f.runtime);
    EXPECT_EQ(next.claim(Generous, nullptr), SingleInstance::Role::First);
    EXPECT_EQ(startAgain(f), SingleInstance::Role::HandedOver) << "the next one answers in turn";
}

TEST(SingleInstance, ConsolesOfOtherDataFoldersDoNotSeeEachOther) {
    const Folders a = makeFolders("a"), b = makeFolders("b");
    // One runtime folder for both, as for one user: only the data folder differs.
    const Folders bSameRuntime{b.data, a.runtime};
    SingleInstance first(a.data, a.runtime), other(bSameRuntime.data, bSameRuntime.runtime);
    EXPECT_EQ(first.claim(Generous, nullptr), SingleInstance::Role::First);
    EXPECT_EQ(other.claim(Generous, nullptr), SingleInstance::Role::First);
    EXPECT_NE(first.serverName(), other.serverName());
}

TEST(SingleInstance, AConsoleThatHoldsTheLockButDoesNotAnswerIsNotJoinedByASecond) {
    const Folders f = makeFolders("mute");
    SingleInstance probe(f.data, f.runtime);
    // A live holder of the lock that never listens (hung before its window came up).
    QLockFile held(probe.lockFileName());
    ASSERT_TRUE(held.tryLock(0));
    EXPECT_EQ(startAgain(f, 300), SingleInstance::Role::Unanswered);
}

TEST(SingleInstance, TwoStartsAtTheSameMomentLeaveOneConsole) {
    for (int round = 0; round < 5; ++round) {
        const Folders f = makeFolders("race");
        std::atomic<int> ready{0}, decided{0};
        SingleInstance::Role roles[2]{};
        auto start = [&](int i) {
            QEventLoop loop; // first, so that the winner's socket can be watched on this thread
            SingleInstance me(f.data, f.runtime);
            ++ready;
            while (ready.load() < 2) {
            }
            roles[i] = me.claim(Generous, nullptr);
            ++decided;
            // The winner answers the other until both have decided.
            while (decided.load() < 2)
                loop.processEvents(QEventLoop::AllEvents, 10);
        };
        std::thread a(start, 0), b(start, 1);
        a.join();
        b.join();
        const int first =
            (roles[0] == SingleInstance::Role::First) + (roles[1] == SingleInstance::Role::First);
        const int handed =
            (roles[0] == SingleInstance::Role::HandedOver) + (roles[1] == SingleInstance::Role::HandedOver);
        EXPECT_EQ(first, 1) << "round " << round;
        EXPECT_EQ(handed, 1) << "round " << round;
    }
}
