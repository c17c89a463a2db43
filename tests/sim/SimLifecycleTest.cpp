// Starting, stopping and dropping; the loopback-only rule; the program.
#include "SimTestSupport.h"
#include "doorphone-sim/Simulator.h"
#include "support/TestEnv.h"

#include <csignal>
#include <gtest/gtest.h>
#include <memory>

using doorphonesim::Config;
using doorphonesim::Simulator;
using simtest::Child;
using simtest::Client;
using simtest::kEvents;

namespace {

constexpr std::string_view kVideo = "GET /video.mjpg HTTP/1.1\r\nUser-Agent: 1\r\nHost: 127.0.0.1\r\n\r\n";

} // namespace

TEST(SimLifecycle, StopDropsConnectionsAndStartListensOnTheSamePortAgain) {
    Simulator sim(Config{});
    ASSERT_TRUE(sim.start());
    const uint16_t port = sim.port();
    ASSERT_NE(port, 0);
    Client video(port), events(port);
    ASSERT_TRUE(video.send(kVideo));
    ASSERT_TRUE(events.send(kEvents));
    ASSERT_TRUE(events.recvOnce(3000));
    ASSERT_TRUE(events.send(kEvents)); // held while the simulator stops

    sim.stop();
    EXPECT_FALSE(sim.running());
    EXPECT_TRUE(video.closedByPeer(3000));
    EXPECT_TRUE(events.closedByPeer(3000));
    EXPECT_FALSE(Client(port).connected());

    sim.ring(); // queued while down, answered after the restart
    ASSERT_TRUE(sim.start());
    EXPECT_EQ(sim.port(), port);
    Client again(port);
    ASSERT_TRUE(again.send(kEvents));
    ASSERT_TRUE(again.recvOnce(3000));
    ASSERT_TRUE(again.send(kEvents));
    EXPECT_EQ(again.recvOnce(3000).value_or(""), "[event]\r\nEVENT=\"CALL\"\r\nCALL=\"O\"\r\n");
}

TEST(SimLifecycle, DropClosesEveryConnectionButKeepsListening) {
    Simulator sim(Config{});
    ASSERT_TRUE(sim.start());
    Client video(sim.port()), events(sim.port()), idle(sim.port());
    ASSERT_TRUE(video.send(kVideo));
    ASSERT_TRUE(events.send(kEvents));
    ASSERT_TRUE(events.recvOnce(3000));
    ASSERT_TRUE(testenv::waitUntil([&] { return sim.openConnections() == 3; }, 3000));

    sim.dropConnections();
    EXPECT_TRUE(video.closedByPeer(3000));
    EXPECT_TRUE(events.closedByPeer(3000));
    EXPECT_TRUE(idle.closedByPeer(3000));
    EXPECT_TRUE(testenv::waitUntil([&] { return sim.openConnections() == 0; }, 3000));

    Client next(sim.port());
    ASSERT_TRUE(next.send(kEvents));
    EXPECT_TRUE(next.recvOnce(3000));
    EXPECT_EQ(sim.eventsConnections(), 2);
}

// A reboot as the console sees it: the connections it holds get neither data
// nor a close any more, while new ones are served, queued reports included.
TEST(SimLifecycle, ForgetAbandonsConnectionsWithoutClosingThem) {
    Simulator sim(Config{});
    ASSERT_TRUE(sim.start());
    Client video(sim.port()), events(sim.port());
    ASSERT_TRUE(video.send(kVideo));
    ASSERT_TRUE(video.recvOnce(3000));
    ASSERT_TRUE(events.send(kEvents));
    ASSERT_TRUE(events.recvOnce(3000));
    ASSERT_TRUE(events.send(kEvents)); // held: would take the next report
    ASSERT_TRUE(testenv::waitUntil([&] { return sim.openConnections() == 2; }, 3000));

    sim.forgetConnections();
    ASSERT_TRUE(testenv::waitUntil([&] { return sim.openConnections() == 0; }, 3000));
    sim.ring();
    Client next(sim.port());
    ASSERT_TRUE(next.send(kEvents));
    EXPECT_TRUE(next.recvOnce(3000).value_or("").starts_with("[setting]"));
    ASSERT_TRUE(next.send(kEvents));
    EXPECT_EQ(next.recvOnce(3000).value_or(""), "[event]\r\nEVENT=\"CALL\"\r\nCALL=\"O\"\r\n");
    EXPECT_FALSE(events.recvOnce(300)) << "a forgotten connection got data or a close";
    EXPECT_FALSE(video.closedByPeer(300)) << "a forgotten connection was closed";

    sim.stop(); // the end of the simulator closes them after all
    EXPECT_TRUE(events.closedByPeer(3000));
    EXPECT_TRUE(video.closedByPeer(3000));
}

TEST(SimLifecycle, ConnectionsBeyondTheCapAreClosedAtOnce) {
    Simulator sim(Config{});
    ASSERT_TRUE(sim.start());
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 32; ++i)
        clients.push_back(std::make_unique<Client>(sim.port()));
    ASSERT_TRUE(testenv::waitUntil([&] { return sim.openConnections() == 32; }, 3000));
    Client extra(sim.port());
    EXPECT_TRUE(extra.closedByPeer(3000));
    EXPECT_EQ(sim.openConnections(), 32);
    clients.pop_back();
    ASSERT_TRUE(testenv::waitUntil([&] { return sim.openConnections() == 31; }, 3000));
    Client now(sim.port());
    ASSERT_TRUE(now.send(kEvents));
    EXPECT_TRUE(now.recvOnce(3000).value_or("").starts_with("[setting]"));
}

TEST(SimLifecycle, OnlyLoopbackAddressesAreServed) {
    for (const char* address : {"192.168.1.250", "0.0.0.0", "10.1.2.3", "localhost", "::1", ""}) {
        SCOPED_TRACE(address);
        Config cfg;
        cfg.address = address;
        Simulator sim(cfg);
        EXPECT_FALSE(sim.start());
        EXPECT_FALSE(sim.running());
    }
    Config cfg;
    cfg.address = "127.0.0.2";
    Simulator sim(cfg);
    EXPECT_TRUE(sim.start());
}

TEST(SimProgram, RefusesAddressesOutsideLoopback) {
    for (const char* address : {"192.168.1.250", "0.0.0.0", "localhost"}) {
        SCOPED_TRACE(address);
        Child child({DOORPHONE_SIM_PROGRAM, "--address", address, "--port", "0"});
        ASSERT_GT(child.pid(), 0);
        EXPECT_EQ(child.wait(5000), 2);
        EXPECT_NE(child.readAllStderr(1000).find("loopback"), std::string::npos);
        EXPECT_FALSE(child.readLine(100)) << "it must not claim to listen";
    }
}

TEST(SimProgram, ListensAndFollowsCommandsUntilQuit) {
    Child child({DOORPHONE_SIM_PROGRAM, "--address", "127.0.0.1", "--port", "0", "--name", "Back Door",
                 "--sip", "302", "--sensor2", "--size", "64x48", "--fps", "5"});
    auto banner = child.readLine(5000);
    ASSERT_TRUE(banner);
    const std::string prefix = "doorphone-sim listening on 127.0.0.1:";
    ASSERT_EQ(banner->rfind(prefix, 0), 0u) << *banner;
    const auto port = static_cast<uint16_t>(std::stoi(banner->substr(prefix.size())));

    Client events(port);
    ASSERT_TRUE(events.send(kEvents));
    EXPECT_EQ(events.recvOnce(3000).value_or(""), "[setting]\r\nNET_HOSTNAME=\"Back Door\"\r\n"
                                                  "SIP_ACCOUNT_NAME=\"302\"\r\nTIME_BEFORE_CALL=\"25\"\r\n"
                                                  "SENSOR1_ENABLE=\"0\"\r\nSENSOR2_ENABLE=\"1\"\r\n");
    ASSERT_TRUE(events.send(kEvents));
    struct Step {
        const char* command;
        const char* answer;
        const char* report; // what the events client then receives, or null
    };
    const Step steps[] = {
        {"ring", "ok", "[event]\r\nEVENT=\"CALL\"\r\nCALL=\"O\"\r\n"},
        {"door2 open", "ok", "[event]\r\nMESSAGE=\"2D1\"\r\n"},
        {"door2 ajar", "error: door2 needs open or close", nullptr},
        {"relay1", "ok", "[event]\r\nMESSAGE=\"1S1\"\r\n"},
        {"bogus", "error: unknown command 'bogus'", nullptr},
        {"silent maybe", "error: silent needs on or off", nullptr},
        {"forget", "ok", nullptr}, // the events client gets nothing more; "http stop" closes it
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.command);
        ASSERT_TRUE(child.writeLine(s.command));
        EXPECT_EQ(child.readLine(3000).value_or("<none>"), s.answer);
        if (s.report) {
            EXPECT_EQ(events.recvOnce(3000).value_or(""), s.report);
            ASSERT_TRUE(events.send(kEvents));
        }
    }

    ASSERT_TRUE(child.writeLine("http stop"));
    EXPECT_EQ(child.readLine(3000).value_or(""), "ok");
    EXPECT_TRUE(events.closedByPeer(3000));
    EXPECT_FALSE(Client(port).connected());
    ASSERT_TRUE(child.writeLine("http start"));
    EXPECT_EQ(child.readLine(3000).value_or(""), "ok");
    EXPECT_TRUE(Client(port).connected());

    ASSERT_TRUE(child.writeLine("quit"));
    EXPECT_EQ(child.readLine(3000).value_or(""), "ok");
    EXPECT_EQ(child.wait(5000), 0);
}

TEST(SimProgram, EndsOnEndOfInputAndOnSigterm) {
    {
        Child child({DOORPHONE_SIM_PROGRAM, "--port", "0"});
        ASSERT_TRUE(child.readLine(5000));
        child.closeStdin();
        EXPECT_EQ(child.wait(5000), 0);
    }
    {
        Child child({DOORPHONE_SIM_PROGRAM, "--port", "0", "--size", "32x32"});
        auto banner = child.readLine(5000);
        ASSERT_TRUE(banner);
        const auto port = static_cast<uint16_t>(std::stoi(banner->substr(banner->rfind(':') + 1)));
        Client video(port); // a stream running while the signal arrives
        ASSERT_TRUE(video.send(kVideo));
        ASSERT_TRUE(video.recvOnce(3000));
        ::kill(child.pid(), SIGTERM);
        EXPECT_EQ(child.wait(5000), 0);
        EXPECT_TRUE(video.closedByPeer(3000));
    }
}
