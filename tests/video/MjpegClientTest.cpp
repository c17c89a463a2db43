#include "VideoFixtures.h"
#include "support/TestEnv.h"
#include "video/AVI_do.h"
#include "video/AviFrame.h"
#include "video/AviWriter.h"
#include "video/video.h"

#include <arpa/inet.h>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// A door phone on loopback: each accepted connection runs the test's script on
// a thread of its own; every byte the client sends is kept per connection.
class FixtureServer {
public:
    class Conn {
    public:
        Conn(int fd, FixtureServer& s, size_t index) : fd_(fd), server_(s), index_(index) {}
        // Reads until the client's request (ending in an empty line) is complete.
        bool readRequest(int timeoutMs = 5000) {
            const std::string end = "\r\n\r\n";
            for (int waited = 0; waited < timeoutMs && !server_.stopping(); waited += 20) {
                if (server_.received(index_).find(end, requestsSeen_) != std::string::npos) {
                    requestsSeen_ = server_.received(index_).find(end, requestsSeen_) + end.size();
                    return true;
                }
                pump(20);
            }
            return false;
        }
        // Keeps reading until the client closes or the test ends.
        void drainUntilClosed() {
            while (!server_.stopping() && pump(20)) {
            }
        }
        void send(const std::string& bytes) { (void)::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
        void resetConnection() { // close with RST
            linger l{1, 0};
            ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            ::close(fd_);
            fd_ = -1;
        }
        bool sleepMs(int ms) {
            for (int i = 0; i < ms && !server_.stopping(); i += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return !server_.stopping();
        }
        int fd() const { return fd_; }

    private:
        // One read of what is there; false once the client has closed.
        bool pump(int ms) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, ms) <= 0) return true;
            char buf[4096];
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return false;
            server_.append(index_, std::string(buf, static_cast<size_t>(n)));
            return true;
        }
        int fd_;
        FixtureServer& server_;
        size_t index_;
        size_t requestsSeen_ = 0;
    };
    using Script = std::function<void(Conn&, size_t connectionIndex)>;

    explicit FixtureServer(Script script) : script_(std::move(script)) {
        uint16_t port = 0;
        listen_ = testenv::listenLoopback(&port);
        port_ = std::to_string(port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }
    ~FixtureServer() {
        stop_ = true;
        acceptor_.join();
        for (auto& t : handlers_)
            t.join();
        ::close(listen_);
    }
    const std::string& port() const { return port_; }
    bool stopping() const { return stop_; }
    size_t connections() {
        std::lock_guard l(m_);
        return received_.size();
    }
    std::string received(size_t i) {
        std::lock_guard l(m_);
        return i < received_.size() ? received_[i] : std::string();
    }
    void append(size_t i, const std::string& s) {
        std::lock_guard l(m_);
        received_[i] += s;
    }

private:
    void acceptLoop() {
        while (!stop_) {
            pollfd p{listen_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            size_t index;
            {
                std::lock_guard l(m_);
                index = received_.size();
                received_.emplace_back();
            }
            handlers_.emplace_back([this, fd, index] {
                Conn c(fd, *this, index);
                script_(c, index);
                if (c.fd() >= 0) ::close(c.fd());
            });
        }
    }
    Script script_;
    int listen_ = -1;
    std::string port_;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;
    std::vector<std::thread> handlers_; // only the acceptor touches this until it is joined
    std::mutex m_;
    std::vector<std::string> received_;
};

// What a client reported, collected on this (the window) thread.
struct Reports {
    std::vector<std::string> log;
    std::vector<std::string> states;
    std::vector<QImage> pictures;
    std::vector<TMJPEG::JpegBytes> jpegs;
    bool ended() const { return !states.empty() && states.back() == "0"; }
    bool logged(const std::string& line) const {
        return std::find(log.begin(), log.end(), line) != log.end();
    }
};

VideoTimings fastTimings() {
    VideoTimings t;
    t.connectTimeoutMs = 2000;
    t.silenceMs = 300;
    t.serverErrorSteps = 3;
    t.serverErrorStepMs = 100;
    t.endPauseMs = 10;
    return t;
}

std::shared_ptr<TMJPEG> makeClient(const std::string& port, QObject* receiver, Reports& r,
                                   VideoTimings timings = fastTimings()) {
    auto c = std::make_shared<TMJPEG>();
    c->DestinationAdr = "127.0.0.1";
    c->VideoPort = port;
    c->Receiver = receiver;
    c->timings = timings;
    c->LogEvent = [&r](const std::string& s) { r.log.push_back(s); };
    c->StateChanged = [&r](const std::string& s) { r.states.push_back(s); };
    c->PVideoImage = [&r](const QImage& img, const TMJPEG::JpegBytes& jpeg) {
        r.pictures.push_back(img);
        r.jpegs.push_back(jpeg);
    };
    return c;
}

const std::string Request = "GET /video.mjpg HTTP/1.1\r\nUser-Agent: 1\r\nHost: 127.0.0.1\r\n\r\n";

} // namespace

TEST(MjpegClient, SilentDoorPhoneIsAskedAgainOnceThenGivenUp) {
    struct Case {
        std::string password, request;
    };
    for (const Case& c : std::vector<Case>{
             {"", Request},
             {"dXNlcjpwYXNz", "GET /video.mjpg HTTP/1.1\r\nUser-Agent: 1\r\nHost: 127.0.0.1\r\n"
                              "Authorization: Basic dXNlcjpwYXNz\r\n\r\n"},
         }) {
        FixtureServer server([](FixtureServer::Conn& conn, size_t) {
            conn.readRequest();
            conn.drainUntilClosed();
        });
        QObject receiver;
        Reports r;
        auto client = makeClient(server.port(), &receiver, r);
        client->Password = c.password;
        TMJPEG::Start(client);
        ASSERT_TRUE(testenv::waitUntil([&] { return r.ended(); }, 10000));
        EXPECT_EQ(r.log,
                  (std::vector<std::string>{"MJPEG: start thread", "MJPEG: send question GET, Result= OK",
                                            "MJPEG: repeat question GET, Result= OK",
                                            "MJPEG: not answer, terminating thread."}));
        EXPECT_EQ(r.states, (std::vector<std::string>{"1", "0"}));
        ASSERT_TRUE(testenv::waitUntil([&] { return server.received(0).size() >= 2 * c.request.size(); }));
        EXPECT_EQ(server.received(0), c.request + c.request); // the same request, on the same connection
        EXPECT_EQ(server.connections(), 1u);
    }
}

TEST(MjpegClient, PicturesAreHandedOverAtThePanelsSizeWithTheirBytes) {
    const std::string jpeg = vfix::makeJpeg(640, 480);
    const std::string stream =
        vfix::StreamHead + vfix::part(jpeg) + vfix::part(jpeg, "Gate", '1') + vfix::part(jpeg);
    FixtureServer server([&](FixtureServer::Conn& conn, size_t) {
        conn.readRequest();
        // Odd-sized writes with gaps, so parts straddle receives.
        for (size_t at = 0; at < stream.size(); at += 7001) {
            conn.send(stream.substr(at, 7001));
            conn.sleepMs(5);
        }
        conn.drainUntilClosed();
    });
    QObject receiver;
    Reports r;
    auto client = makeClient(server.port(), &receiver, r);
    TMJPEG::Start(client);
    ASSERT_TRUE(testenv::waitUntil([&] { return r.ended(); }, 10000));
    ASSERT_EQ(r.pictures.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(r.pictures[i].size(), QSize(TMJPEG::PanelWidth, TMJPEG::PanelHeight));
        EXPECT_EQ(r.pictures[i].format(), QImage::Format_RGB32);
        EXPECT_EQ(std::string(r.jpegs[i]->begin(), r.jpegs[i]->end()), jpeg + vfix::Trailer);
    }
    const QColor top = r.pictures[0].pixelColor(200, 10), bottom = r.pictures[0].pixelColor(200, 280);
    EXPECT_GT(top.red(), 240);
    EXPECT_GT(bottom.blue(), 240);
    EXPECT_EQ(r.states, (std::vector<std::string>{"1", "0"}));
}

// Whatever size the camera sends, the panel gets its own size, in the format
// the window draws without converting, and the whole picture: the top half
// red and the bottom half blue up to every edge.
TEST(MjpegClient, EveryCameraSizeBecomesThePanelsPicture) {
    video::JpegDecoder d;
    const QSize panel(TMJPEG::PanelWidth, TMJPEG::PanelHeight);
    struct Case {
        int w, h;
        const char* how;
    };
    for (const Case& c : std::vector<Case>{{640, 480, "5/8, then resized"},
                                           {384, 288, "decoded straight at the panel's size"},
                                           {768, 576, "1/2 is the panel's size"},
                                           {320, 240, "smaller: enlarged"},
                                           {1280, 960, "3/8, then resized"},
                                           {1920, 1080, "3/8, wider than the panel"},
                                           {2000, 200, "shrunk to a fifth across: averaged"},
                                           {96, 1200, "shrunk to a quarter down: averaged"}}) {
        const std::string j = vfix::makeJpeg(c.w, c.h);
        QImage img;
        ASSERT_TRUE(TMJPEG::DecodePicture(d, reinterpret_cast<const uint8_t*>(j.data()), j.size(), img))
            << c.how;
        ASSERT_EQ(img.size(), panel) << c.how;
        EXPECT_EQ(img.format(), QImage::Format_RGB32) << c.how;
        for (const QPoint p : {QPoint(0, 0), QPoint(panel.width() - 1, 0), QPoint(panel.width() / 2, 100)}) {
            const QColor top = img.pixelColor(p);
            EXPECT_TRUE(top.red() > 230 && top.blue() < 25 && top.green() < 25) << c.how << " top " << p.x();
        }
        for (const QPoint p : {QPoint(0, panel.height() - 1), QPoint(panel.width() - 1, panel.height() - 1),
                               QPoint(panel.width() / 2, 190)}) {
            const QColor bottom = img.pixelColor(p);
            EXPECT_TRUE(bottom.blue() > 230 && bottom.red() < 25 && bottom.green() < 25)
                << c.how << " bottom " << p.x();
        }
    }
    QImage img;
    const std::string junk = "\xFF\xD8 junk";
    EXPECT_FALSE(TMJPEG::DecodePicture(d, reinterpret_cast<const uint8_t*>(junk.data()), junk.size(), img));
}

// The resize weighs each channel on its own (no carry from one into the next),
// keeps the edge pixels, copies a picture of the same size unchanged, and
// refuses reductions below one half, which would skip source pixels.
TEST(MjpegClient, BilinearResize) {
    const auto run = [](const std::vector<uint32_t>& src, video::PictureSize from, video::PictureSize to,
                        std::vector<uint32_t>& out, video::VectorWidth width = video::VectorWidth::Widest) {
        out.assign(static_cast<size_t>(to.width) * to.height, 0xDEADBEEF);
        return video::resizeBilinear(reinterpret_cast<const uint8_t*>(src.data()), from, from.width * 4,
                                     reinterpret_cast<uint8_t*>(out.data()), to, to.width * 4, width);
    };
    std::vector<uint32_t> out;
    // Between two pixels, each channel is the rounded mean of its own pair.
    ASSERT_TRUE(run({0x11223344, 0xFF00FF00}, {2, 1}, {3, 1}, out));
    EXPECT_EQ(out, (std::vector<uint32_t>{0x11223344, 0x88119922, 0xFF00FF00}));
    ASSERT_TRUE(run({0xFFFFFFFF, 0x00000000}, {1, 2}, {1, 3}, out));
    EXPECT_EQ(out, (std::vector<uint32_t>{0xFFFFFFFF, 0x80808080, 0x00000000}));

    std::vector<uint32_t> picture(40 * 30);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<uint32_t>(i * 2654435761u);
    ASSERT_TRUE(run(picture, {40, 30}, {40, 30}, out));
    EXPECT_EQ(out, picture);

    // Against a plain model (rows first, then columns, each channel rounded
    // alone), with the widest loops and with the SSE2 ones, at sizes whose rows
    // are not a multiple of either vector width, and at the camera's 5/8 scale
    // to the panel.
    const auto tap = [](int i, int n, int m) {
        const int64_t p = std::clamp<int64_t>((2 * int64_t{i} + 1) * m * 256 / (2 * int64_t{n}) - 128, 0,
                                              int64_t{m - 1} * 256);
        return std::pair<int, int>{static_cast<int>(p >> 8), static_cast<int>(p & 255)};
    };
    const auto mix = [](uint32_t a, uint32_t b, int w) {
        uint32_t r = 0;
        for (int shift = 0; shift < 32; shift += 8)
            r |= ((((a >> shift) & 255) * (256 - w) + ((b >> shift) & 255) * w + 128) >> 8) << shift;
        return r;
    };
    std::vector<uint32_t> camera(400 * 300);
    for (size_t i = 0; i < camera.size(); ++i)
        camera[i] = static_cast<uint32_t>(i * 2246822519u ^ i >> 3);
    struct Resize {
        const std::vector<uint32_t>& src;
        video::PictureSize from, to;
    };
    for (const Resize& c : {Resize{picture, {40, 30}, {37, 29}}, Resize{picture, {40, 30}, {23, 17}},
                            Resize{camera, {400, 300}, {384, 288}}, Resize{camera, {400, 300}, {203, 151}}}) {
        const auto [w, h] = c.from;
        std::vector<uint32_t> model(static_cast<size_t>(c.to.width) * c.to.height);
        for (int y = 0; y < c.to.height; ++y) {
            const auto [row, wy] = tap(y, c.to.height, h);
            const auto at = [&](int r, int x) {
                return c.src[static_cast<size_t>(r * w + std::min(x, w - 1))];
            };
            for (int x = 0; x < c.to.width; ++x) {
                const auto [col, wx] = tap(x, c.to.width, w);
                const int next = std::min(row + 1, h - 1);
                model[static_cast<size_t>(y * c.to.width + x)] = mix(
                    mix(at(row, col), at(next, col), wy), mix(at(row, col + 1), at(next, col + 1), wy), wx);
            }
        }
        for (const auto width : {video::VectorWidth::Widest, video::VectorWidth::Sse2}) {
            ASSERT_TRUE(run(c.src, c.from, c.to, out, width));
            EXPECT_EQ(out, model) << c.to.width << "x" << c.to.height
                                  << (width == video::VectorWidth::Sse2 ? " SSE2" : "");
        }
    }

    struct Case {
        video::PictureSize to;
        bool taken;
    };
    for (const Case& c :
         std::vector<Case>{{{20, 15}, true}, {{27, 15}, true}, {{19, 30}, false}, {{40, 14}, false}})
        EXPECT_EQ(run(picture, {40, 30}, c.to, out), c.taken) << c.to.width << "x" << c.to.height;
}

// A few hundred bytes may claim any picture size, and a progressive picture
// is held whole while it decodes: a claim of 16384 x 16384 made the decoder
// take a gigabyte and seconds of work. Sizes no camera sends are refused
// before anything is allocated for them, on the panel's path and the recording's.
TEST(MjpegClient, HostilePictureSizesAreRefusedBeforeDecoding) {
    video::JpegDecoder d;
    const std::string small = vfix::makeJpeg(64, 48, 0xFF0000, 0x0000FF, 90, TJFLAG_PROGRESSIVE);
    struct Case {
        int w, h;
        bool taken;
    };
    for (const Case& c : std::vector<Case>{{16384, 16384, false},
                                           {8193, 64, false},
                                           {64, 8193, false},
                                           {4097, 4096, false},
                                           {8192, 2048, true},
                                           {2048, 8192, true},
                                           {4096, 4096, true}}) {
        const std::string j = vfix::declareSize(small, c.w, c.h);
        const auto* data = reinterpret_cast<const uint8_t*>(j.data());
        EXPECT_EQ(d.header(data, j.size()).has_value(), c.taken) << c.w << "x" << c.h;
        if (c.taken) continue; // taken sizes decode as damaged pictures; only refusals matter here
        QImage img;
        EXPECT_FALSE(TMJPEG::DecodePicture(d, data, j.size(), img)) << c.w << "x" << c.h;
        std::vector<uint8_t> frame, scratch;
        EXPECT_FALSE(video::jpegToAviFrame(d, data, j.size(), frame, scratch)) << c.w << "x" << c.h;
        EXPECT_TRUE(scratch.empty()) << c.w << "x" << c.h;
    }
}

TEST(MjpegClient, RecordingKeepsGoodPicturesAndHandsThemOver) {
    const std::string good = vfix::makeJpeg(320, 240);
    std::atomic<bool> go{false};
    FixtureServer server([&](FixtureServer::Conn& conn, size_t) {
        conn.readRequest();
        conn.send(vfix::StreamHead);
        while (!go && conn.sleepMs(10)) {
        }
        // A picture that passes the framing checks but does not decode is not recorded.
        conn.send(vfix::part(good) + vfix::part("\xFF\xD8 broken") + vfix::part(good));
        conn.drainUntilClosed();
    });
    QObject receiver;
    Reports r;
    auto client = makeClient(server.port(), &receiver, r);
    EXPECT_FALSE(client->EndRecording()); // not recording: nothing to hand over
    client->BeginRecording();
    EXPECT_FALSE(client->EndRecording()); // no frame yet: recording goes on
    EXPECT_TRUE(client->IsRecording());
    TMJPEG::Start(client);
    ASSERT_TRUE(testenv::waitUntil([&] { return r.logged("MJPEG: send question GET, Result= OK"); }));
    go = true;
    ASSERT_TRUE(testenv::waitUntil([&] { return r.pictures.size() == 2; }));
    EXPECT_TRUE(r.logged("MJPEG: POINT J except JPEGImage.LoadFromStream(JPEGStream)"));
    // A picture is recorded by the worker right after the window thread has taken it.
    EXPECT_TRUE(testenv::waitUntil([&] { return client->RecordedCount() == 2; }));
    testenv::spin(100);
    EXPECT_EQ(client->RecordedCount(), 2);
    // The first picture of a recording is the sign that the end of the call has something to hand over.
    EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "AVI: first picture recorded"), 1);
    auto frames = client->EndRecording();
    ASSERT_TRUE(frames);
    EXPECT_EQ(frames->Count, 2);
    EXPECT_EQ(std::string(frames->AVIStream[1].begin(), frames->AVIStream[1].end()), good + vfix::Trailer);
    EXPECT_FALSE(client->IsRecording());
    EXPECT_EQ(client->RecordedCount(), 0);
    EXPECT_FALSE(client->EndRecording());
    client->KonecMJPEG = true;
    ASSERT_TRUE(testenv::waitUntil([&] { return r.ended(); }));
}

TEST(MjpegClient, APictureLargerThanItsAviSampleIsRecordedAsTheSample) {
    const std::string small = vfix::makeJpeg(320, 240, 0x00FF00, 0x00FF00);
    const std::string huge = vfix::padJpeg(vfix::makeJpeg(640, 480), 8 * 1024 * 1024 - 4096);
    FixtureServer server([&](FixtureServer::Conn& conn, size_t) {
        conn.readRequest();
        conn.send(vfix::StreamHead + vfix::part(huge) + vfix::part(small));
        conn.drainUntilClosed();
    });
    QObject receiver;
    Reports r;
    auto client = makeClient(server.port(), &receiver, r);
    client->BeginRecording();
    TMJPEG::Start(client);
    ASSERT_TRUE(testenv::waitUntil([&] { return client->RecordedCount() == 2; }, 10000));
    EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "AVI: first picture recorded"), 1); // the sample counts
    auto frames = client->EndRecording();
    client->KonecMJPEG = true;
    ASSERT_TRUE(frames);
    ASSERT_EQ(frames->Count, 2);
    // The huge one as the 320 x 240 sample (red top, blue bottom; bottom row first) ...
    EXPECT_TRUE(frames->isSample(0));
    ASSERT_EQ(frames->AVIStream[0].size(), TAVICollection::SlotBytes);
    const uint8_t* bottom = &frames->AVIStream[0][(10 * 320 + 160) * 3];
    const uint8_t* top = &frames->AVIStream[0][((239 - 10) * 320 + 160) * 3];
    EXPECT_GT(bottom[0], 200); // blue
    EXPECT_GT(top[2], 200);    // red
    // ... the ordinary one as received.
    EXPECT_FALSE(frames->isSample(1));
    EXPECT_EQ(std::string(frames->AVIStream[1].begin(), frames->AVIStream[1].end()), small + vfix::Trailer);

    // The recorder writes both: the sample as it is, the JPEG decoded.
    const std::string dir = testenv::makeTempDir();
    auto rec = std::make_shared<TAVICreator>();
    const std::vector<uint8_t> sample0 = frames->AVIStream[0];
    rec->AVICollection = std::move(*frames);
    rec->AVIDirectory = dir;
    rec->GuardName = "Gate";
    std::vector<std::string> lines;
    rec->LogEvent = [&](const std::string& s) { lines.push_back(s); };
    rec->Run();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Save AVI to " + rec->fTempFileName);
    const std::string f = testenv::readFile(rec->fTempFileName);
    const size_t at = video::AviWriter::MoviListAt + 12 + 8;
    ASSERT_GE(f.size(), at + 2 * (8 + video::AviWriter::FrameBytes));
    EXPECT_EQ(f.substr(at, video::AviWriter::FrameBytes), std::string(sample0.begin(), sample0.end()));
    const std::string second = f.substr(at + 8 + video::AviWriter::FrameBytes, video::AviWriter::FrameBytes);
    EXPECT_GT(static_cast<uint8_t>(second[1]), 200); // green
    ASSERT_TRUE(testenv::waitUntil([&] { return r.ended(); }));
}

TEST(MjpegClient, ClosedStreamCountsAsSilenceAtOnce) {
    const std::string jpeg = vfix::makeJpeg(320, 240);
    FixtureServer server([&](FixtureServer::Conn& conn, size_t) {
        conn.readRequest();
        conn.send(vfix::StreamHead + vfix::part(jpeg));
        conn.sleepMs(100);
        ::shutdown(conn.fd(), SHUT_WR); // the door phone ends the stream
        conn.drainUntilClosed();
    });
    QObject receiver;
    Reports r;
    VideoTimings t = fastTimings();
    t.silenceMs = 60000; // the run must end without waiting for a silence
    auto client = makeClient(server.port(), &receiver, r, t);
    TMJPEG::Start(client);
    ASSERT_TRUE(testenv::waitUntil([&] { return r.ended(); }, 20000));
    EXPECT_EQ(r.pictures.size(), 1u);
    EXPECT_EQ(r.log, (std::vector<std::string>{"MJPEG: start thread", "MJPEG: send question GET, Result= OK",
                                               "MJPEG: repeat question GET, Result= OK",
                                               "MJPEG: not answer, terminating thread."}));
    EXPECT_EQ(r.states, (std::vector<std::string>{"1", "0"}));
    EXPECT_EQ(server.connections(), 1u);
}

TEST(MjpegClient, ResetConnectionIsMadeAgainWithinTheRun) {
    const std::string jpeg = vfix::makeJpeg(320, 240);
    std::atomic<bool> shown{false};
    FixtureServer server([&](FixtureServer::Conn& conn, size_t index) {
        conn.readRequest();
        if (index == 0) {
            conn.send(vfix::StreamHead + vfix::part(jpeg));
            while (!shown && conn.sleepMs(10)) {
            }
            conn.resetConnection(); // the repeated request then cannot go out
            return;
        }
        conn.drainUntilClosed();
    });
    QObject receiver;
    Reports r;
    auto client = makeClient(server.port(), &receiver, r);
    TMJPEG::Start(client);
    ASSERT_TRUE(testenv::waitUntil([&] { return !r.pictures.empty(); }));
    shown = true;
    ASSERT_TRUE(testenv::waitUntil([&] { return r.ended(); }, 10000));
    EXPECT_EQ(server.connections(), 2u);
    EXPECT_EQ(r.pictures.size(), 1u);
    EXPECT_EQ(r.log, (std::vector<std::string>{"MJPEG: start thread", "MJPEG: send question GET, Result= OK",
                                               "MJPEG: repeat question GET, Result= Error",
                                               "MJPEG: send question GET, Result= OK",
                                               // the silence before the reconnection still counts: the new,
                                               // silent connection is given up at its first silence
                                               "MJPEG: not answer, terminating thread."}));
    EXPECT_EQ(r.states, (std::vector<std::string>{"1", "1", "0"}));
}

TEST(MjpegClient, ServerErrorReplyIsLoggedDroppedAndPaused) {
    const std::string jpeg = vfix::makeJpeg(320, 240);
    const std::string other = vfix::makeJpeg(320, 240, 0x00FF00, 0x00FF00);
    FixtureServer server([&](FixtureServer::Conn& conn, size_t) {
        conn.readRequest();
        // The text ends at the zero byte; the part after it in the same chunk is dropped.
        conn.send(std::string("HTTP/1.1 500 Internal SERVER error\r\n\r\n\0", 40) + vfix::part(jpeg));
        conn.sleepMs(100);
        conn.send(vfix::part(other));
        conn.drainUntilClosed();
    });
    QObject receiver;
    Reports r;
    auto client = makeClient(server.port(), &receiver, r);
    TMJPEG::Start(client);
    ASSERT_TRUE(testenv::waitUntil([&] { return r.ended(); }, 10000));
    ASSERT_GE(r.log.size(), 3u);
    EXPECT_EQ(r.log[2], "MJPEG: ERROR HTTP: HTTP/1.1 500 Internal SERVER error\r\n\r\n");
    ASSERT_EQ(r.jpegs.size(), 1u);
    EXPECT_EQ(std::string(r.jpegs[0]->begin(), r.jpegs[0]->end()), other + vfix::Trailer);
}

TEST(MjpegClient, NothingIsDeliveredAfterAStop) {
    const std::string jpeg = vfix::makeJpeg(320, 240);
    FixtureServer server([&](FixtureServer::Conn& conn, size_t) {
        conn.readRequest();
        conn.send(vfix::StreamHead);
        // A steady stream, with a bad part now and then for log lines.
        for (int i = 0; i < 500 && conn.sleepMs(5); ++i)
            conn.send(i % 3 ? vfix::part(jpeg) : vfix::part("", "T", '0', "0"));
        conn.drainUntilClosed();
    });
    QObject receiver;
    Reports r;
    auto client = makeClient(server.port(), &receiver, r);
    std::vector<TMJPEG::JpegBytes> hooked;
    std::mutex hookLock;
    client->FrameReceived = [&](const TMJPEG::JpegBytes& j, std::chrono::steady_clock::time_point) {
        std::lock_guard l(hookLock);
        hooked.push_back(j);
    };
    TMJPEG::Start(client);
    ASSERT_TRUE(testenv::waitUntil([&] { return r.pictures.size() >= 5; }));
    client->KonecMJPEG = true; // the panel's stop, on the window thread
    const size_t pictures = r.pictures.size(), lines = r.log.size();
    ASSERT_TRUE(testenv::waitUntil([&] { return r.ended(); }));
    testenv::spin(200);
    EXPECT_EQ(r.pictures.size(), pictures);
    EXPECT_EQ(r.log.size(), lines);
    EXPECT_EQ(r.states, (std::vector<std::string>{"1", "0"}));
    std::lock_guard l(hookLock);
    // The hook saw each delivered picture, the same bytes, before it was handed over.
    ASSERT_GE(hooked.size(), pictures);
    for (size_t i = 0; i < pictures; ++i)
        EXPECT_EQ(hooked[i], r.jpegs[i]);
}

TEST(MjpegClient, ConnectFailureEndsTheRun) {
    const std::string port = std::to_string(testenv::unusedLoopbackPort()); // nothing listens there
    QObject receiver;
    Reports r;
    auto client = makeClient(port, &receiver, r);
    TMJPEG::Start(client);
    ASSERT_TRUE(testenv::waitUntil([&] { return r.ended(); }));
    EXPECT_EQ(r.log, (std::vector<std::string>{"MJPEG: start thread",
                                               "MJPEG: ERROR Can not connect TCPClient to 127.0.0.1"}));
    EXPECT_EQ(r.states, std::vector<std::string>{"0"});
    EXPECT_TRUE(client->KonecMJPEG);
}

TEST(MjpegClient, RealTimingsAreTheDevicesOwn) {
    const VideoTimings t;
    EXPECT_EQ(t.connectTimeoutMs, 3000);
    EXPECT_EQ(t.silenceMs, 2000);
    EXPECT_EQ(t.serverErrorSteps * t.serverErrorStepMs, 4000);
    EXPECT_EQ(t.serverErrorStepMs, 100);
    EXPECT_EQ(t.endPauseMs, 100);
}
