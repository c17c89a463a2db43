#include "doorphone/ping_thread.h"

#include "platform/Dispatch.h"
#include "platform/Icmp.h"
#include "platform/ThreadPriority.h"

#include <chrono>
#include <random>
#include <thread>

namespace {
void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
} // namespace

TPingThread::TPingThread() {
    auto icmp = std::make_shared<platform::IcmpEcho>(256);
    echo = [icmp](const std::string& ip, int timeoutMs) { return icmp->ping(ip, timeoutMs); };
}

void TPingThread::Start(const std::shared_ptr<TPingThread>& self) {
    std::thread([self] {
        platform::setCurrentThreadIdle();
        self->Run();
    }).detach();
}

void TPingThread::report(const std::string& text) {
    if (!StateChangedEvent) return;
    Receiver.deliver([sink = StateChangedEvent, text] { sink(text); });
}

void TPingThread::Run() {
    // endThread is deliberately not cleared here: a stop requested before the
    // thread got going must still be honoured.
    State = false;
    laststate = false;
    if (iP.size() > 255) iP.resize(255);

    std::random_device rd;
    std::uniform_int_distribution<int> draw(0, std::max(0, timings.startRangeMs - 1));
    sleepMs(timings.startBaseMs + draw(rd));

    if (!endThread) Cycle();
    while (!endThread) {
        for (int i = 0; i < timings.idleSteps && !endThread; ++i)
            sleepMs(timings.idleStepMs);
        if (!endThread) Cycle();
    }
    report("0");
    sleepMs(timings.endWaitMs);
}

bool TPingThread::Cycle() {
    bool stopped = false;
    try {
        State = false;
        State = echo(iP, timings.echoTimeoutMs);
        for (int pass = 0; pass < 4; ++pass) {
            if (State) break;
            sleepMs(timings.retryWaitMs);
            if (endThread) {
                stopped = true;
                break;
            }
            sleepMs(timings.retryWaitMs);
            State = echo(iP, timings.echoTimeoutMs);
        }
    } catch (...) {
        State = laststate;
    }
    // A cycle cut short by a stop reports nothing new; the final "0" follows.
    if (!stopped && State != laststate) {
        laststate = State;
        report(State ? "1" : "0");
    }
    return State;
}
