// The simulated events channel, the lock relays and the authorization check.
#include "SimTestSupport.h"
#include "doorphone-sim/Simulator.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using doorphonesim::Config;
using doorphonesim::Simulator;
using simtest::Client;
using simtest::kEvents;

namespace {

constexpr std::string_view kLock1 = "GET /cgi-bin/remctrl.sh?id=relay1 HTTP/1.1\r\n\r\n";
constexpr std::string_view kRefused = "HTTP/1.1 500 Server Error\r\n\r\nServer Error";
constexpr std::string_view kLockOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK";
constexpr int kQuietMs = 250; // how long "nothing arrives" is watched

// An events client past the settings answer, with its next request held.
struct EventsClient {
    explicit EventsClient(const Simulator& sim) : c(sim.port()) {
        EXPECT_TRUE(c.send(kEvents));
        settings = c.recvOnce(3000).value_or("");
        EXPECT_TRUE(c.send(kEvents));
    }
    // The answer to the held request, then the next request, as the console does.
    std::string next(int timeoutMs = 3000) {
        auto chunk = c.recvOnce(timeoutMs);
        if (chunk && !chunk->empty()) c.send(kEvents);
        return chunk.value_or("<nothing>");
    }
    Client c;
    std::string settings;
};

} // namespace

TEST(SimEvents, SettingsFirstThenHeldRequestsAnsweredByReports) {
    Config cfg;
    cfg.name = "Gate";
    cfg.sipAccount = "301";
    cfg.timeBeforeCall = "30";
    cfg.sensor1 = true;
    Simulator sim(cfg);
    ASSERT_TRUE(sim.start());

    Client c(sim.port());
    ASSERT_TRUE(c.send(kEvents));
    EXPECT_EQ(c.recvOnce(3000).value_or(""),
              "[setting]\r\nNET_HOSTNAME=\"Gate\"\r\nSIP_ACCOUNT_NAME=\"301\"\r\n"
              "TIME_BEFORE_CALL=\"30\"\r\nSENSOR1_ENABLE=\"1\"\r\n"
              "SENSOR2_ENABLE=\"0\"\r\n");
    ASSERT_TRUE(c.send(kEvents));
    EXPECT_FALSE(c.recvOnce(kQuietMs)) << "a request is held until there is something to report";
    sim.ring();
    EXPECT_EQ(c.recvOnce(3000).value_or(""), "[event]\r\nEVENT=\"CALL\"\r\nCALL=\"O\"\r\n");

    // Reports that pile up while no request waits go out in one receive.
    sim.door(1, true);
    sim.relay(2, false);
    ASSERT_TRUE(c.send(kEvents));
    EXPECT_EQ(c.recvOnce(3000).value_or(""), "[event]\r\nMESSAGE=\"1D1\"\r\n[event]\r\nMESSAGE=\"2S0\"\r\n");

    // So do reports held back on purpose while a request waits.
    ASSERT_TRUE(c.send(kEvents));
    sim.holdEvents(true);
    sim.deskCall();
    sim.hangUp();
    EXPECT_FALSE(c.recvOnce(kQuietMs));
    sim.holdEvents(false);
    EXPECT_EQ(c.recvOnce(3000).value_or(""),
              "[event]\r\nEVENT=\"CALL\"\r\nCALL=\"I\"\r\n[event]\r\nEVENT=\"CALL\"\r\nCALL=\"\"\r\n");

    EXPECT_EQ(sim.eventsRequests(), 4);
    EXPECT_EQ(sim.eventsConnections(), 1);
}

TEST(SimEvents, EachReportHasItsText) {
    struct Case {
        std::function<void(Simulator&)> act;
        const char* chunk;
    };
    const Case cases[] = {
        {[](Simulator& s) { s.ring(); }, "[event]\r\nEVENT=\"CALL\"\r\nCALL=\"O\"\r\n"},
        {[](Simulator& s) { s.deskCall(); }, "[event]\r\nEVENT=\"CALL\"\r\nCALL=\"I\"\r\n"},
        {[](Simulator& s) { s.hangUp(); }, "[event]\r\nEVENT=\"CALL\"\r\nCALL=\"\"\r\n"},
        {[](Simulator& s) { s.door(1, true); }, "[event]\r\nMESSAGE=\"1D1\"\r\n"},
        {[](Simulator& s) { s.door(1, false); }, "[event]\r\nMESSAGE=\"1D0\"\r\n"},
        {[](Simulator& s) { s.door(2, true); }, "[event]\r\nMESSAGE=\"2D1\"\r\n"},
        {[](Simulator& s) { s.door(2, false); }, "[event]\r\nMESSAGE=\"2D0\"\r\n"},
        {[](Simulator& s) { s.relay(1, true); }, "[event]\r\nMESSAGE=\"1S1\"\r\n"},
        {[](Simulator& s) { s.relay(1, false); }, "[event]\r\nMESSAGE=\"1S0\"\r\n"},
        {[](Simulator& s) { s.relay(2, true); }, "[event]\r\nMESSAGE=\"2S1\"\r\n"},
        {[](Simulator& s) { s.relay(2, false); }, "[event]\r\nMESSAGE=\"2S0\"\r\n"},
        {[](Simulator& s) { s.setEventsKind("[evstat]"), s.door(2, true); },
         "[evstat]\r\nMESSAGE=\"2D1\"\r\n"},
        {[](Simulator& s) { s.sendRaw("x"); }, "x"},
        {[](Simulator& s) { s.sendRaw("HTTP/1.1 500 Server Error\r\n\r\nServer Error"); },
         "HTTP/1.1 500 Server Error\r\n\r\nServer Error"},
    };
    Simulator sim(Config{});
    ASSERT_TRUE(sim.start());
    EventsClient ev(sim);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chunk);
        c.act(sim);
        EXPECT_EQ(ev.next(), c.chunk);
    }
}

TEST(SimEvents, RawAnswersGoAloneAndSplitAnswersArriveInTwoReceives) {
    Simulator sim(Config{});
    ASSERT_TRUE(sim.start());
    EventsClient ev(sim);

    sim.holdEvents(true);
    sim.ring();
    sim.sendRaw("RAW");
    sim.hangUp();
    sim.holdEvents(false);
    EXPECT_EQ(ev.next(), "[event]\r\nEVENT=\"CALL\"\r\nCALL=\"O\"\r\n");
    EXPECT_EQ(ev.next(), "RAW");
    EXPECT_EQ(ev.next(), "[event]\r\nEVENT=\"CALL\"\r\nCALL=\"\"\r\n");

    sim.sendRawSplit("[event]\r\nMESSAGE=\"1S1\"\r\n", 12, 150);
    EXPECT_EQ(ev.c.recvOnce(3000).value_or(""), "[event]\r\nMES");
    EXPECT_EQ(ev.c.recvOnce(3000).value_or(""), "SAGE=\"1S1\"\r\n");
}

TEST(SimEvents, SilentChannelAnswersNothingUntilSpokenAgain) {
    Simulator sim(Config{});
    sim.setSilent(true);
    ASSERT_TRUE(sim.start());
    Client c(sim.port());
    ASSERT_TRUE(c.send(kEvents));
    EXPECT_FALSE(c.recvOnce(kQuietMs));
    sim.setSilent(false);
    auto settings = c.recvOnce(3000);
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->rfind("[setting]\r\n", 0), 0u);
}

TEST(SimLocks, RequestBytesAreRecordedAndTheRelayReportsOpenThenBack) {
    Config cfg;
    cfg.relayHoldMs = 800;
    Simulator sim(cfg);
    ASSERT_TRUE(sim.start());
    EventsClient ev(sim);

    struct Case {
        std::string request;
        std::string_view answer;
    };
    const Case cases[] = {
        {std::string(kLock1), kLockOk},
        {"GET /cgi-bin/remctrl.sh?id=relay2 HTTP/1.1\r\nX-Extra: 1\r\n\r\n", kLockOk},
        {"GET /cgi-bin/remctrl.sh?id=relay3 HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
        {"GET /index.html HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        Client lock(sim.port());
        ASSERT_TRUE(lock.send(c.request));
        const std::string answer = lock.recvUntil(c.answer.size(), 3000);
        EXPECT_EQ(answer.substr(0, c.answer.size()), c.answer);
    }
    const std::vector<std::string> recorded = sim.lockRequests();
    ASSERT_EQ(recorded.size(), 3u); // only requests to the lock script
    EXPECT_EQ(recorded[0], cases[0].request);
    EXPECT_EQ(recorded[1], cases[1].request);
    EXPECT_EQ(recorded[2], cases[2].request);

    // Each relay opens and falls back after the hold time; an answer may
    // carry one report or several. The two relays' reports may interleave in
    // any order: the lock answer goes out before the relay moves, so on a
    // busy machine relay 2 can move first, and relay 1 can fall back before
    // relay 2 opens.
    std::string reports;
    for (int i = 0;
         i < 8 && (reports.find("1S0") == std::string::npos || reports.find("2S0") == std::string::npos); ++i)
        reports += ev.next();
    std::vector<std::string> messages;
    for (size_t at = reports.find("MESSAGE=\""); at != std::string::npos;
         at = reports.find("MESSAGE=\"", at + 1))
        messages.push_back(reports.substr(at + 9, 3));
    for (const char* relay : {"1", "2"}) {
        std::vector<std::string> own;
        for (const std::string& m : messages)
            if (m.rfind(relay, 0) == 0) own.push_back(m);
        EXPECT_EQ(own, (std::vector<std::string>{std::string(relay) + "S1", std::string(relay) + "S0"}))
            << "relay " << relay << " in " << reports;
    }
    // Nothing else, and each report whole.
    std::string whole;
    for (const std::string& m : messages)
        whole += "[event]\r\nMESSAGE=\"" + m + "\"\r\n";
    EXPECT_EQ(messages.size(), 4u) << reports;
    EXPECT_EQ(reports, whole);
}

TEST(SimLocks, PulseDuringTheHoldOnlyExtendsIt) {
    Config cfg;
    // Long enough that the second pulse surely comes while the relay is
    // still held, even on a busy machine under a sanitizer.
    cfg.relayHoldMs = 3000;
    Simulator sim(cfg);
    ASSERT_TRUE(sim.start());
    EventsClient ev(sim);
    sim.pulseRelay(1);
    EXPECT_EQ(ev.next(), "[event]\r\nMESSAGE=\"1S1\"\r\n");
    sim.pulseRelay(1);
    EXPECT_EQ(ev.next(10000), "[event]\r\nMESSAGE=\"1S0\"\r\n");
    EXPECT_EQ(ev.next(kQuietMs), "<nothing>");
}

TEST(SimAuth, RequestsWithoutTheExactCredentialAreRefusedAndClosed) {
    Config cfg;
    cfg.user = "admin";
    cfg.password = "1234";
    Simulator sim(cfg);
    ASSERT_TRUE(sim.start());
    const std::string good = "Authorization: Basic YWRtaW46MTIzNA==\r\n";  // admin:1234
    const std::string wrong = "Authorization: Basic YWRtaW46MTIzNQ==\r\n"; // admin:1235

    struct Case {
        std::string request;
        std::string_view answerStart; // empty: refused
    };
    const Case cases[] = {
        {"GET /video.mjpg HTTP/1.1\r\nUser-Agent: 1\r\nHost: 127.0.0.1\r\n\r\n", ""},
        {"GET /video.mjpg HTTP/1.1\r\nUser-Agent: 1\r\nHost: 127.0.0.1\r\n" + wrong + "\r\n", ""},
        {"GET /video.mjpg HTTP/1.1\r\nUser-Agent: 1\r\nHost: 127.0.0.1\r\n" + good + "\r\n",
         "HTTP/1.1 200 OK\r\n"},
        {"GET /events.txt HTTP/1.1\r\n\r\n", ""},
        {"GET /events.txt HTTP/1.1\r\nauthorization: basic YWRtaW46MTIzNA==\r\n\r\n", ""},
        {"GET /events.txt HTTP/1.1\r\n" + good + "\r\n", "[setting]\r\n"},
        {std::string(kLock1), ""},
        {"GET /cgi-bin/remctrl.sh?id=relay1 HTTP/1.1\r\n" + good + "\r\n", kLockOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        Client client(sim.port());
        ASSERT_TRUE(client.send(c.request));
        if (c.answerStart.empty()) {
            EXPECT_EQ(client.recvUntil(kRefused.size() + 1, 3000), kRefused);
            EXPECT_TRUE(client.closedByPeer(3000));
        } else {
            const std::string got = client.recvUntil(c.answerStart.size(), 3000);
            EXPECT_EQ(got.substr(0, c.answerStart.size()), c.answerStart);
        }
    }
    EXPECT_EQ(sim.videoConnections(), 1);
    EXPECT_EQ(sim.eventsConnections(), 1);
    // Both lock requests are recorded; only the authorized one moved the relay.
    EXPECT_EQ(sim.lockRequests().size(), 2u);
    Client events(sim.port());
    ASSERT_TRUE(events.send("GET /events.txt HTTP/1.1\r\n" + good + "\r\n"));
    ASSERT_TRUE(events.recvOnce(3000));
    ASSERT_TRUE(events.send("GET /events.txt HTTP/1.1\r\n" + good + "\r\n"));
    EXPECT_EQ(events.recvOnce(3000).value_or(""), "[event]\r\nMESSAGE=\"1S1\"\r\n");
}
