#include "doorphone/events_thread.h"

#include "doorphone/DoorPhoneRequests.h"
#include "platform/Dispatch.h"
#include "platform/Net.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
} // namespace

TEventsThread::TEventsThread() : stopped(std::make_shared<std::atomic<bool>>(false)) {}

TEventsThread::~TEventsThread() {
    platform::closeSocket(fd);
}

void TEventsThread::Start(const std::shared_ptr<TEventsThread>& self) {
    std::thread([self] { self->Run(); }).detach();
}

void TEventsThread::Stop() {
    stopped->store(true);
    endThread = true;
    std::lock_guard lock(socketLock);
    // Ends a receive that is waiting right now; the run closes the socket.
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void TEventsThread::log(const std::string& text) {
    if (!LogEvent) return;
    Receiver.deliver([sink = LogEvent, text, stop = stopped] {
        if (!stop->load()) sink(text);
    });
}

void TEventsThread::passOn(const std::string& chunk) {
    if (!IncomingEvents) return;
    Receiver.deliver([sink = IncomingEvents, chunk, stop = stopped] {
        if (!stop->load()) sink(chunk);
    });
}

// State reports are delivered even after a stop: the panel clears its bit on the final "0".
void TEventsThread::report(const std::string& text) {
    if (!StateChangedEvent) return;
    Receiver.deliver([sink = StateChangedEvent, text] { sink(text); });
}

bool TEventsThread::sendRequest() {
    const std::string request = HTTPDotaz + "\r\n";
    if (platform::sendAll(fd, request.data(), request.size())) return true;
    endThread = true; // a failed socket call ends the channel
    return false;
}

void TEventsThread::disconnect() {
    std::lock_guard lock(socketLock);
    platform::closeSocket(fd);
    connected = false;
}

void TEventsThread::ReadData() {
    try {
        ssize_t n;
        do {
            n = ::recv(fd, buf.data(), buf.size(), 0);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            endThread = true;
            return;
        }
        if (n == 0) { // the device closed the connection (or a stop shut it down)
            connected = false;
            return;
        }
        // A single byte is the device's keep-alive: neither passed on nor answered.
        if (n == 1) return;
        Mess.assign(buf.data(), ::strnlen(buf.data(), static_cast<size_t>(n)));
        passOn(Mess);
        if (Mess.find("Server Error") != std::string::npos) endThread = true;
        sendRequest();
    } catch (...) {
        log("EVENTS: error : TEventsThread.ReadData");
    }
}

void TEventsThread::Run() {
    // endThread is deliberately not cleared here: a stop requested before the
    // thread got going must still be honoured.
    log("EVENTS: Start events thread.");
    state = 0;
    laststate = false;
    if (iP.size() > 255) iP.resize(255);
    if (port.size() > 255) port.resize(255);

    int s = -1;
    if (!endThread) s = platform::tcpConnect(iP, port, timings.connectTimeoutMs);
    if (s < 0) {
        log("EVENTS: ERROR Can not connect TCPClient to " + iP);
        endThread = true;
    } else {
        platform::setKeepAlive(s, timings.keepAliveIdleS, timings.keepAliveIntervalS, timings.keepAliveProbes,
                               timings.userTimeoutMs);
        {
            std::lock_guard lock(socketLock);
            fd = s;
            connected = true;
        }
        // A stop that came during the connect found no socket to shut down.
        if (!endThread) {
            state |= 1;
            const std::string request = doorphone::eventsRequest(Password);
            HTTPDotaz = request.substr(0, request.size() - 2);
            if (sendRequest()) {
                Mess = "EVENTS: send question GET, Result= OK";
                report("1");
            } else {
                Mess = "EVENTS: send question GET, Result= Error";
                disconnect();
            }
            log(Mess);
        }
        while (!endThread && connected) {
            ReadData();
            if (!connected || endThread) break;
            sleepMs(timings.loopPauseMs);
        }
    }
    disconnect();
    endThread = true;
    log("EVENTS: Terminate thread.");
    sleepMs(timings.endWaitMs);
    report("0");
}
