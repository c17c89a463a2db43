#pragma once
#include "common/SharedTypes.h"
#include "platform/Dispatch.h"

#include <QObject>
#include <QPointer>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// Time constants of the events channel.
struct EventsTimings {
    int connectTimeoutMs = 3000; // a plain blocking connect would retry for two minutes
    int loopPauseMs = 50;        // pause between two receives
    int endWaitMs = 200;         // between "Terminate thread." and the final "0"
    // The channel waits for data for hours; a door phone that loses power or
    // reboots never closes it. These end such a connection within about half a
    // minute instead of never.
    int keepAliveIdleS = 10;    // first probe after this long without traffic
    int keepAliveIntervalS = 5; // between probes
    int keepAliveProbes = 3;    // unanswered probes that end the connection
    int userTimeoutMs = 25000;  // sent data unacknowledged this long ends it too
};

// One long-lived connection to a door phone's events endpoint. Every chunk the
// device sends is handed on as received, and the request is sent again after
// it. Reports "1" once the request is out and "0" when the run ends; it never
// reconnects by itself.
class TEventsThread {
public:
    TEventsThread();
    ~TEventsThread();
    TEventsThread(const TEventsThread&) = delete;
    TEventsThread& operator=(const TEventsThread&) = delete;

    // Inputs, set before Start.
    std::string iP;                // at most 255 characters are used
    std::string Password;          // Basic-authorization token, may be empty
    std::string port;              // at most 255 characters are used
    TGetStrProc StateChangedEvent; // "1" / "0"; may be unset
    TGetStrProc LogEvent;          // log lines
    TGetStrProc IncomingEvents;    // received chunks
    platform::Receiver Receiver;   // when set, every sink call runs on its thread, in order
    EventsTimings timings;

    std::atomic<bool> endThread{false};

    // Runs the channel on a thread of its own (normal priority); the thread
    // keeps the object alive until its run ends.
    static void Start(const std::shared_ptr<TEventsThread>& self);
    // The whole run on the calling thread.
    void Run();
    // Asks the channel to end: a waiting receive returns at once, and no log
    // line or chunk is delivered from now on; the final "0" still is. Safe from
    // any thread, before the run, during it and after it has ended.
    void Stop();

private:
    void log(const std::string& text);
    void report(const std::string& text);
    void passOn(const std::string& chunk);
    bool sendRequest();
    void ReadData();
    void disconnect();

    // Worker-only state.
    std::uint8_t state = 0; // bit 0: connected
    bool laststate = false;
    bool connected = false;
    std::string Mess;
    std::string HTTPDotaz; // the request without its closing empty line
    std::array<char, 50001> buf{};

    std::mutex socketLock; // guards fd between the run and Stop()
    int fd = -1;
    // Set only by Stop(); shared with the posted calls, which check it on the
    // receiving thread so that nothing but the final "0" arrives after a stop.
    std::shared_ptr<std::atomic<bool>> stopped;
};
