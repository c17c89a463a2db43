#pragma once
#include "common/SharedTypes.h"
#include "platform/Dispatch.h"

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

// Watches whether one door phone answers ICMP echo. Reports "1" or "0" only
// when the answer changes, and a last "0" when it ends.
struct PingTimings {
    int startBaseMs = 500; // first cycle after base + random(range)
    int startRangeMs = 500;
    int idleSteps = 100; // idle wait between cycles: steps x stepMs
    int idleStepMs = 40;
    int retryWaitMs = 200; // two of these between the echoes of a failing cycle
    int echoTimeoutMs = 2000;
    int endWaitMs = 50;
};

class TPingThread {
public:
    // One echo request: true when answered. May throw; a throwing cycle changes nothing.
    using EchoFunction = std::function<bool(const std::string& ip, int timeoutMs)>;

    TPingThread();

    // Inputs, set before Start.
    std::string iP;                // at most 255 characters are used
    TGetStrProc StateChangedEvent; // "1" / "0"
    platform::Receiver Receiver;   // when set, reports run on its thread, in order
    EchoFunction echo;             // defaults to a 256-byte ICMP echo
    PingTimings timings;

    std::atomic<bool> endThread{false};

    // Runs the monitor on a thread of its own at idle priority; the thread
    // keeps the object alive until its run ends.
    static void Start(const std::shared_ptr<TPingThread>& self);
    // The whole run on the calling thread.
    void Run();
    // One cycle of up to five echo requests; reports a change. Returns State.
    bool Cycle();

    bool State = false;
    bool laststate = false;

private:
    void report(const std::string& text);
};
