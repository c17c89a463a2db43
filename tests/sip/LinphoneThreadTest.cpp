#include "sip/LinphoneThread.h"

#include "SipTestSupport.h"
#include "support/TestEnv.h"

#include <QObject>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace {

// A client made of a shell script.
std::string script(const std::string& body) {
    const std::string path = testenv::makeTempDir("client") + "/client.sh";
    testenv::writeFile(path, "#!/bin/sh\n" + body + "\n");
    ::chmod(path.c_str(), 0755);
    return path;
}

struct ClientRun {
    QObject receiver;
    std::shared_ptr<TLinphoneThread> thread = std::make_shared<TLinphoneThread>();
    std::vector<std::string> pieces, logs;

    explicit ClientRun(const std::string& program, bool viaWindowThread = true) {
        thread->ClientProgram = program;
        if (viaWindowThread) thread->Receiver = &receiver;
        thread->LogEvent = [this](const std::string& s) { logs.push_back(s); };
        thread->OnResponseEvent = [this](const std::string& s) { pieces.push_back(s); };
    }
    bool finish(int ms = 8000) {
        const bool ended = testenv::waitUntil([&] { return thread->Ended.load(); }, ms);
        testenv::spin(50); // the last posted lines
        return ended;
    }
    bool logged(const std::string& line) const {
        return std::find(logs.begin(), logs.end(), "LINPHONE_THREAD: " + line) != logs.end();
    }
};

} // namespace

TEST(LinphoneThread, HandsOverEachNewPieceUnchangedIncludingTheLastOne) {
    ClientRun r(
        script("read x; printf Rea; sleep 0.7; printf dy; sleep 0.7; printf 'one\\ntwo\\n'; echo err >&2; "
               "sleep 0.7; printf last"));
    TLinphoneThread::Start(r.thread);
    ASSERT_TRUE(r.finish());
    // "Ready" split over two steps stays split; lines written within one step stay together
    // (standard error joins them, possibly one step later); what came just before the end is
    // still handed over.
    ASSERT_GE(r.pieces.size(), 4u);
    EXPECT_EQ(r.pieces[0], "Rea");
    EXPECT_EQ(r.pieces[1], "dy");
    EXPECT_EQ(r.pieces[2].substr(0, 8), "one\ntwo\n");
    std::string middle;
    for (size_t i = 2; i + 1 < r.pieces.size(); ++i)
        middle += r.pieces[i];
    EXPECT_EQ(middle, "one\ntwo\nerr\n");
    EXPECT_EQ(r.pieces.back(), "last");
    EXPECT_EQ(r.thread->LastPosition(), 3u + 2u + 12u + 4u);
    EXPECT_TRUE(r.logged(">>>\r\n"));
    EXPECT_TRUE(r.logged("starting linphonec "));
    EXPECT_TRUE(r.logged("Rea"));
    EXPECT_TRUE(r.logged("MESSAGE: linhonec.exe process ends. "));
    EXPECT_EQ(r.logs.back(), "LINPHONE_THREAD: MESSAGE: linhonec.exe process ends. ");
}

TEST(LinphoneThread, CommandsReachTheClientWithCrLfAndPasswordsAreMaskedInTheLog) {
    const std::string out = testenv::makeTempDir("got") + "/stdin";
    ClientRun r(
        script("head -c 43 > " + out + "; printf 'register sip:1@h p sec'; sleep 0.7; printf 'ret\\nok\\n'"));
    TLinphoneThread::Start(r.thread);
    r.thread->WriteToInputPipe("answer");
    r.thread->WriteToInputPipe("register sip:1@h p secret");
    r.thread->WriteToInputPipe("quit");
    ASSERT_TRUE(r.finish());
    EXPECT_EQ(testenv::readFile(out), "\r\nanswer\r\nregister sip:1@h p secret\r\nquit\r\n");
    EXPECT_TRUE(r.logged(">>>answer\r\n"));
    EXPECT_TRUE(r.logged(">>>register sip:1@h p ******\r\n"));
    EXPECT_TRUE(r.logged("register sip:1@h p ***"));
    EXPECT_TRUE(r.logged("***\nok\n"));
    for (const auto& l : r.logs)
        EXPECT_EQ(l.find("secret"), std::string::npos) << l;
    // The handed-over output itself is unchanged.
    EXPECT_EQ(r.pieces.front(), "register sip:1@h p sec");
}

TEST(LinphoneThread, FailedEvaluationHandsTheSameOutputOverAgain) {
    ClientRun r(script("printf abc; sleep 0.7; printf def"));
    int calls = 0;
    r.thread->OnResponseEvent = [&](const std::string& s) {
        if (calls++ == 0) throw std::runtime_error("evaluation failed");
        r.pieces.push_back(s);
    };
    TLinphoneThread::Start(r.thread);
    ASSERT_TRUE(r.finish());
    EXPECT_TRUE(r.logged("error 3751122: TForm1.ResponseTimerTimer."));
    ASSERT_FALSE(r.pieces.empty());
    EXPECT_EQ(r.pieces.front().substr(0, 3), "abc");
    std::string all;
    for (const auto& p : r.pieces)
        all += p;
    EXPECT_EQ(all, "abcdef");
}

TEST(LinphoneThread, MissingClientIsLogged) {
    ClientRun r("/no/such/linphonec");
    TLinphoneThread::Start(r.thread);
    ASSERT_TRUE(r.finish());
    EXPECT_TRUE(r.logged("error 344: run  linphonec.exe,  method TForm1.LinphoneInitializationTimerTimer"));
    EXPECT_TRUE(r.logged("MESSAGE: linhonec.exe process ends. "));
    EXPECT_TRUE(r.pieces.empty());
}

TEST(LinphoneThread, WaitsForTheWindowThreadButNeverPastAStop) {
    ClientRun r(script("echo hello; sleep 0.3"));
    TLinphoneThread::Start(r.thread);
    // The window thread does not serve: the client thread waits with its piece.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_FALSE(r.thread->Ended);
    r.thread->RequestStop();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!r.thread->Ended && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(r.thread->Ended);
    testenv::spin(100);
    EXPECT_TRUE(r.pieces.empty()); // nothing is delivered after the stop
    EXPECT_TRUE(r.logs.size() <= 1u);
}

TEST(LinphoneThread, WritingNeverBlocksWhenTheClientDoesNotRead) {
    ClientRun r(script("sleep 1; head -c 300602 > /dev/null; echo done"));
    TLinphoneThread::Start(r.thread);
    const std::string line(1000, 'x');
    for (int i = 0; i < 300; ++i)
        r.thread->WriteToInputPipe(line); // far more than a pipe holds
    r.logs.clear();
    ASSERT_TRUE(r.finish());
    // The rest went in from the output steps once the client read.
    EXPECT_EQ(r.pieces.back(), "done\n");
}
