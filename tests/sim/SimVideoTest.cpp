// The simulated camera: the part framing the console's client relies on, the
// pictures, and the fault modes that other tests use to break the stream.
#include "SimTestSupport.h"
#include "doorphone-sim/Simulator.h"
#include <chrono>

#include <functional>
#include <gtest/gtest.h>
#include <turbojpeg.h>

using doorphonesim::Config;
using doorphonesim::Simulator;
using simtest::Client;
using simtest::Part;

namespace {

constexpr std::string_view kRequest = "GET /video.mjpg HTTP/1.1\r\nUser-Agent: 1\r\nHost: 127.0.0.1\r\n\r\n";
constexpr std::string_view kStreamHead =
    "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=tojekonec\r\n\r\n";

Config smallCamera() {
    Config c;
    c.name = "Front Door";
    c.width = 160;
    c.height = 120;
    c.fps = 25;
    return c;
}

// Reads the stream until `count` complete parts have arrived (or 5 s passed).
std::vector<Part> receiveParts(Client& client, std::string& stream, size_t count) {
    std::vector<Part> parts;
    for (int i = 0; i < 200 && parts.size() < count; ++i) {
        auto chunk = client.recvOnce(5000);
        if (!chunk || chunk->empty()) break;
        stream += *chunk;
        parts = simtest::readParts(stream);
    }
    return parts;
}

struct JpegInfo {
    int width = 0, height = 0, subsamp = -1;
};

std::optional<JpegInfo> jpegHeader(const std::string& jpeg) {
    tjhandle tj = tjInitDecompress();
    JpegInfo info;
    int colorspace = 0;
    const int rc = tjDecompressHeader3(tj, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(),
                                       &info.width, &info.height, &info.subsamp, &colorspace);
    tjDestroy(tj);
    if (rc != 0) return std::nullopt;
    return info;
}

} // namespace

TEST(SimVideo, PartsFollowTheFramingAndCarryDecodablePictures) {
    Simulator sim(smallCamera());
    ASSERT_TRUE(sim.start());
    Client client(sim.port());
    ASSERT_TRUE(client.send(kRequest));
    std::string stream;
    auto parts = receiveParts(client, stream, 4);
    ASSERT_GE(parts.size(), 4u);
    EXPECT_EQ(stream.substr(0, kStreamHead.size()), kStreamHead);

    for (const Part& p : parts) {
        EXPECT_EQ(p.after16, "\r\nX-Frame-Call: ");
        EXPECT_EQ(p.callByte, '0');
        EXPECT_EQ(p.after9, "\r\nTitle: ");
        EXPECT_EQ(p.title, "Front Door");
        EXPECT_EQ(p.after4, "\r\n\r\n");
        EXPECT_EQ(std::to_string(p.jpeg.size()), p.digits);
        ASSERT_FALSE(p.jpeg.empty());
        EXPECT_EQ(static_cast<unsigned char>(p.jpeg[0]), 0xFF);
        EXPECT_EQ(p.trailer, "\r\n--tojekonec\r\n");
        auto info = jpegHeader(p.jpeg);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->width, 160);
        EXPECT_EQ(info->height, 120);
        EXPECT_EQ(info->subsamp, TJSAMP_420);
    }
    // Parts follow one another directly: the next marker starts where the trailer ended.
    EXPECT_EQ(parts[1].begin, parts[0].end);
    // The pattern moves, so pictures several frames apart differ.
    EXPECT_NE(parts[0].jpeg, parts[3].jpeg);

    // A running call shows in the call byte of later parts.
    sim.ring();
    size_t seen = parts.size();
    parts = receiveParts(client, stream, seen + 3);
    ASSERT_GE(parts.size(), seen + 3);
    EXPECT_EQ(parts.back().callByte, '1');
    sim.hangUp();
    seen = parts.size();
    parts = receiveParts(client, stream, seen + 3);
    ASSERT_GE(parts.size(), seen + 3);
    EXPECT_EQ(parts.back().callByte, '0');

    // Once the sender is quiet, the last part we hold is the one the simulator reports.
    sim.setSilent(true);
    while (auto more = client.recvOnce(300))
        stream += *more;
    parts = simtest::readParts(stream);
    EXPECT_EQ(sim.lastFrameJpeg(), parts.back().jpeg);
    EXPECT_EQ(sim.framesSent(), static_cast<int>(parts.size()));
    EXPECT_EQ(sim.videoConnections(), 1);
}

TEST(SimVideo, RepeatedRequestAndSecondViewerDoNotDisturbTheStream) {
    Simulator sim(smallCamera());
    ASSERT_TRUE(sim.start());
    Client a(sim.port()), b(sim.port());
    ASSERT_TRUE(a.send(kRequest));
    ASSERT_TRUE(b.send(kRequest));
    std::string sa, sb;
    ASSERT_GE(receiveParts(a, sa, 2).size(), 2u);
    // The console repeats its request on the same connection after a silence.
    ASSERT_TRUE(a.send(kRequest));
    auto parts = receiveParts(a, sa, 6);
    ASSERT_GE(parts.size(), 6u);
    for (const Part& p : parts)
        EXPECT_EQ(p.trailer, "\r\n--tojekonec\r\n");
    EXPECT_GE(receiveParts(b, sb, 3).size(), 3u);
    EXPECT_EQ(sim.videoConnections(), 2);
}

TEST(SimVideo, FaultModesBreakTheFirstPartAsAsked) {
    using Faults = Simulator::VideoFaults;
    struct Case {
        const char* name;
        std::function<void(Faults&)> set;
        std::function<void(const Part&)> check;
    };
    const Case cases[] = {
        {"bad first byte", [](Faults& f) { f.badFirstByte = true; },
         [](const Part& p) {
             ASSERT_FALSE(p.jpeg.empty());
             EXPECT_EQ(p.jpeg[0], '\0');
             EXPECT_EQ(p.trailer, "\r\n--tojekonec\r\n");
         }},
        {"bad trailer", [](Faults& f) { f.badTrailer = true; },
         [](const Part& p) {
             EXPECT_EQ(static_cast<unsigned char>(p.jpeg.at(0)), 0xFF);
             EXPECT_EQ(p.trailer.size(), 15u);
             EXPECT_NE(p.trailer, "\r\n--tojekonec\r\n");
         }},
        {"zero length", [](Faults& f) { f.zeroLength = true; },
         [](const Part& p) {
             EXPECT_EQ(p.digits, "0");
             EXPECT_TRUE(p.jpeg.empty());
             EXPECT_EQ(p.trailer, "\r\n--tojekonec\r\n");
         }},
        {"length beyond 32 bits", [](Faults& f) { f.oversizedLength = true; },
         [](const Part& p) { EXPECT_EQ(p.digits, "99999999999"); }},
        {"16 MiB declared", [](Faults& f) { f.lengthText = "16777216"; },
         [](const Part& p) { EXPECT_EQ(p.digits, "16777216"); }},
        {"written in small pieces", [](Faults& f) { f.writeChunkBytes = 7; },
         [](const Part& p) {
             EXPECT_EQ(std::to_string(p.jpeg.size()), p.digits);
             EXPECT_TRUE(jpegHeader(p.jpeg));
             EXPECT_EQ(p.trailer, "\r\n--tojekonec\r\n");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Simulator sim(smallCamera());
        Faults f;
        c.set(f);
        sim.setVideoFaults(f);
        ASSERT_TRUE(sim.start());
        Client client(sim.port());
        ASSERT_TRUE(client.send(kRequest));
        std::string stream = client.recvUntil(kStreamHead.size() + 2000, 3000);
        // Small writes may arrive one by one: read until the part is whole or time is up.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!simtest::readPart(stream, 0, 1 << 20) && std::chrono::steady_clock::now() < deadline)
            if (auto more = client.recvOnce(3000); more && !more->empty()) stream += *more;
        auto part = simtest::readPart(stream, 0, 1 << 20);
        ASSERT_TRUE(part);
        EXPECT_EQ(part->after16, "\r\nX-Frame-Call: ");
        EXPECT_EQ(part->title, "Front Door");
        c.check(*part);
    }
}

TEST(SimVideo, ServerErrorAnswersInsteadOfTheStreamAndCloses) {
    Simulator sim(smallCamera());
    Simulator::VideoFaults f;
    f.serverError = true;
    sim.setVideoFaults(f);
    ASSERT_TRUE(sim.start());
    Client client(sim.port());
    ASSERT_TRUE(client.send(kRequest));
    EXPECT_EQ(client.recvUntil(1000, 3000), "HTTP/1.1 500 Server Error\r\n\r\nServer Error");
    EXPECT_TRUE(client.closedByPeer(3000));
    EXPECT_EQ(sim.framesSent(), 0);
}

TEST(SimVideo, SplitOffsetsArriveAsSeparateReceives) {
    Simulator sim(smallCamera());
    Simulator::VideoFaults f;
    f.splitAt = {10, 60};
    f.splitGapMs = 150; // long enough that the reader takes each piece by itself
    f.closeAfterFrames = 1;
    sim.setVideoFaults(f);
    ASSERT_TRUE(sim.start());
    Client client(sim.port());
    ASSERT_TRUE(client.send(kRequest));
    std::string stream;
    std::vector<size_t> ends; // stream offsets where one receive ended
    while (auto chunk = client.recvOnce(3000)) {
        if (chunk->empty()) break;
        stream += *chunk;
        ends.push_back(stream.size());
    }
    auto parts = simtest::readParts(stream);
    ASSERT_EQ(parts.size(), 1u);
    const size_t start = parts[0].begin;
    EXPECT_NE(std::find(ends.begin(), ends.end(), start + 10), ends.end());
    EXPECT_NE(std::find(ends.begin(), ends.end(), start + 60), ends.end());
    EXPECT_EQ(parts[0].trailer, "\r\n--tojekonec\r\n");
    EXPECT_TRUE(jpegHeader(parts[0].jpeg));
}

TEST(SimVideo, CloseAndSilenceAfterSomeFrames) {
    {
        Simulator sim(smallCamera());
        Simulator::VideoFaults f;
        f.closeAfterFrames = 2;
        sim.setVideoFaults(f);
        ASSERT_TRUE(sim.start());
        Client client(sim.port());
        ASSERT_TRUE(client.send(kRequest));
        std::string stream;
        while (auto chunk = client.recvOnce(3000)) {
            if (chunk->empty()) break;
            stream += *chunk;
        }
        EXPECT_EQ(simtest::readParts(stream).size(), 2u);
        EXPECT_EQ(sim.videoConnections(), 1);
    }
    {
        Simulator sim(smallCamera());
        Simulator::VideoFaults f;
        f.silenceAfterFrames = 1;
        sim.setVideoFaults(f);
        ASSERT_TRUE(sim.start());
        Client client(sim.port());
        ASSERT_TRUE(client.send(kRequest));
        std::string stream;
        ASSERT_EQ(receiveParts(client, stream, 1).size(), 1u);
        while (auto more = client.recvOnce(400)) { // the rest of that part, then nothing
            ASSERT_FALSE(more->empty()) << "the silent stream must stay open";
            stream += *more;
        }
        EXPECT_EQ(simtest::readParts(stream).size(), 1u);
        EXPECT_EQ(sim.framesSent(), 1);
        // Clearing the fault lets the same connection go on.
        sim.setVideoFaults({});
        EXPECT_GE(receiveParts(client, stream, 3).size(), 3u);
    }
}
