#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A simulated door phone for tests and demos: HTTP/1.1 over plain TCP on a
// loopback address, with the live MJPEG video, the long-lived events channel
// and the two lock relays. One instance is one door phone.
namespace doorphonesim {

struct Config {
    std::string address = "127.0.0.1"; // must lie in 127.0.0.0/8, start() refuses anything else
    uint16_t port = 0;                 // 0: pick a free port (kept across stop() / start())
    std::string name = "Door 1";       // NET_HOSTNAME, also drawn in the picture and sent as the frame title
    std::string sipAccount = "door1";  // SIP_ACCOUNT_NAME
    std::string timeBeforeCall = "25"; // TIME_BEFORE_CALL (text, so tests can send bad values)
    bool sensor1 = false, sensor2 = false;   // SENSOR1_ENABLE / SENSOR2_ENABLE "1"/"0"
    std::string user, password;              // when both are non-empty, Basic authorization is required
    int width = 320, height = 240, fps = 10; // clamped to 8..4096 pixels and 1..100 frames a second
    int relayHoldMs = 3000;                  // relay "S1" ... "S0" after this
};

class Simulator {
public:
    explicit Simulator(Config c);
    ~Simulator(); // stops everything, joins every thread
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Listen socket up / down. stop() drops every connection and joins their threads;
    // queued reports stay queued. start() after stop() listens on the same port again.
    bool start();
    void stop();
    bool running() const;
    uint16_t port() const;
    const Config& config() const;

    // Reports for the events channel: each is the answer to the next held
    // /events.txt request, or queued until one arrives. Reports queued while no
    // request waits go out together in one answer. There is one queue: with
    // several events connections, the first that waits takes the report.
    void ring();                     // [event] EVENT="CALL" CALL="O"; the video call byte becomes '1'
    void deskCall();                 // CALL="I"; call byte '1'
    void hangUp();                   // CALL=""; call byte '0'
    void door(int n, bool open);     // MESSAGE="1D1"/"1D0"/"2D1"/"2D0"
    void relay(int n, bool on);      // MESSAGE="1S1"/"1S0"/... (a bare report, no timing)
    void pulseRelay(int n);          // what a lock request does: "nS1" now, "nS0" after relayHoldMs
                                     // (a pulse while the relay is held only extends the hold)
    void sendRaw(std::string chunk); // any bytes as one answer of their own
    void sendRawSplit(std::string chunk, size_t at, int gapMs); // one answer in two writes with a pause
    void setEventsKind(std::string kind); // "[event]" (default) or "[evstat]", for reports queued from now on
    void holdEvents(bool on); // while on, reports are queued but not sent; off sends them together
    void setSilent(bool on);  // keep connections but send nothing (video and events)
    void dropConnections();   // close every open connection now
    // What a reboot does to the device's side: every open connection is
    // abandoned at once, never read, written or closed again (its socket stays
    // open until stop()), so the peer sees neither data nor a close on it.
    // Listening goes on; new connections are served as usual.
    void forgetConnections();

    // Video faults, applied to frames from now on (all off by default). Counts
    // of frames are per connection.
    struct VideoFaults {
        // Write each part (from "Content-Type" to the trailer) split at these offsets.
        std::vector<size_t> splitAt;
        bool badFirstByte = false; // JPEG data starts with 0x00 instead of 0xFF
        bool badTrailer = false;   // "\r\n--tojekonex\r\n" instead of the boundary
        bool zeroLength = false;   // Content-Length 0 and no JPEG bytes, the trailer follows at once
        // Content-Length 99999999999 (more than 32 bits hold); the real JPEG follows.
        bool oversizedLength = false;
        std::string lengthText;      // when not empty: sent as the Content-Length digits (e.g. "16777216")
        bool serverError = false;    // answer "HTTP/1.1 500 Server Error" instead of the stream, then close
        int silenceAfterFrames = -1; // stop sending after N frames, keep the connection
        int closeAfterFrames = -1;   // close the connection right after N frames
        int writeChunkBytes = 0;     // write parts in pieces of at most this many bytes
        int splitGapMs = 30;         // pause between the pieces of splitAt
    };
    void setVideoFaults(const VideoFaults& f);

    // Observations.
    std::vector<std::string> lockRequests() const; // exact bytes of each request to /cgi-bin/remctrl.sh
    int videoConnections() const;      // video streams accepted so far (authorized /video.mjpg requests)
    int eventsConnections() const;     // connections that made an authorized /events.txt request so far
    int eventsRequests() const;        // /events.txt requests received so far
    int framesSent() const;            // parts written, all connections together
    std::string lastFrameJpeg() const; // JPEG bytes of the last part sent, as sent
    int openConnections() const;       // connections open right now (any kind)
    bool callActive() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace doorphonesim
