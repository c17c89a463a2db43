#include "VideoFixtures.h"
#include "support/TestEnv.h"
#include "video/AVI_do.h"
#include "video/AviFrame.h"
#include "video/AviWriter.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <unistd.h>

using video::AviWriter;

namespace {

uint32_t u32(const std::string& f, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<uint8_t>(f[at + static_cast<size_t>(i)]);
    return v;
}
uint16_t u16(const std::string& f, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(f[at]) | static_cast<uint8_t>(f[at + 1]) << 8);
}

// One sample's pixels as the file holds them (bottom row first, BGR).
std::string sample(const std::string& file, int i) {
    const size_t at = AviWriter::MoviListAt + 12 + static_cast<size_t>(i) * (8 + AviWriter::FrameBytes) + 8;
    return file.substr(at, AviWriter::FrameBytes);
}

TAVICollection collection(const std::vector<std::string>& jpegs) {
    TAVICollection c;
    for (const auto& j : jpegs) {
        const std::string framed = j + vfix::Trailer;
        c.AVIStream.emplace_back(framed.begin(), framed.end());
    }
    c.Count = static_cast<int>(jpegs.size());
    return c;
}

struct Recorded {
    std::vector<std::string> lines;
    std::string file;
};

// A recorder run on this thread, at a fixed time: 3 March 2017 14:05:09 local.
Recorded record(TAVICollection frames, const std::string& dir, const std::string& guard = "Gate") {
    auto rec = std::make_shared<TAVICreator>();
    Recorded r;
    rec->AVICollection = std::move(frames);
    rec->AVIDirectory = dir;
    rec->GuardName = guard;
    rec->LogEvent = [&r](const std::string& s) { r.lines.push_back(s); };
    rec->Now = [] {
        std::tm t{};
        t.tm_year = 117;
        t.tm_mon = 2;
        t.tm_mday = 3;
        t.tm_hour = 14;
        t.tm_min = 5;
        t.tm_sec = 9;
        t.tm_isdst = -1;
        return std::mktime(&t);
    };
    rec->Run();
    r.file = rec->fTempFileName;
    return r;
}

std::string ffprobe(const std::string& file) {
    return vfix::run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                     "stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames -of default=nw=1 '" +
                     file + "'");
}

// The first frame as ffmpeg decodes it, top row first, RGB.
std::string firstFrameRgb(const std::string& file) {
    return vfix::run("ffmpeg -v error -i '" + file + "' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
}

bool near(int a, int b) {
    return std::abs(a - b) <= 12;
}

} // namespace

TEST(AviWriter, HeaderFieldsSizesAndIndex) {
    const std::string dir = testenv::makeTempDir();
    const std::string path = dir + "/w.avi";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    AviWriter w(fd);
    ASSERT_TRUE(w.begin());
    std::vector<uint8_t> px(AviWriter::FrameBytes);
    for (int i = 0; i < 3; ++i) {
        std::memset(px.data(), 10 * (i + 1), px.size());
        ASSERT_TRUE(w.writeFrame(px.data()));
    }
    ASSERT_TRUE(w.finish());
    ::close(fd);
    const std::string f = testenv::readFile(path);

    const size_t moviData = AviWriter::MoviListAt + 12;
    const size_t idx = moviData + 3 * (8 + AviWriter::FrameBytes);
    ASSERT_EQ(f.size(), idx + 8 + 3 * 16);
    EXPECT_EQ(f.substr(0, 4), "RIFF");
    EXPECT_EQ(u32(f, 4), f.size() - 8);
    EXPECT_EQ(f.substr(8, 4), "AVI ");
    EXPECT_EQ(f.substr(12, 4) + f.substr(20, 4), "LISThdrl");
    // avih
    EXPECT_EQ(f.substr(24, 4), "avih");
    EXPECT_EQ(u32(f, 28), 56u);
    EXPECT_EQ(u32(f, 32), 166667u); // microseconds per frame at 6 fps
    EXPECT_EQ(u32(f, 44), 0x10u);   // has an index
    EXPECT_EQ(u32(f, 48), 3u);      // frames
    EXPECT_EQ(u32(f, 56), 1u);      // streams
    EXPECT_EQ(u32(f, 64), 320u);
    EXPECT_EQ(u32(f, 68), 240u);
    // strh
    EXPECT_EQ(f.substr(88, 4) + f.substr(96, 4), "LISTstrl");
    EXPECT_EQ(f.substr(100, 4), "strh");
    EXPECT_EQ(f.substr(108, 4), "vids");
    EXPECT_EQ(u32(f, 112), 0u); // no handler
    EXPECT_EQ(u32(f, 128), 1u); // scale
    EXPECT_EQ(u32(f, 132), 6u); // rate
    EXPECT_EQ(u32(f, 136), 0u); // start
    EXPECT_EQ(u32(f, 140), 3u); // length
    EXPECT_EQ(u32(f, 148), 10000u);
    EXPECT_EQ(u32(f, 152), 0u);
    EXPECT_EQ(u16(f, 160), 319);
    EXPECT_EQ(u16(f, 162), 239);
    // strf: the bitmap header
    EXPECT_EQ(f.substr(164, 4), "strf");
    EXPECT_EQ(u32(f, 168), 40u);
    EXPECT_EQ(u32(f, 172), 40u);
    EXPECT_EQ(u32(f, 176), 320u);
    EXPECT_EQ(u32(f, 180), 240u);
    EXPECT_EQ(u16(f, 184), 1);
    EXPECT_EQ(u16(f, 186), 24);
    EXPECT_EQ(u32(f, 188), 0u);
    EXPECT_EQ(u32(f, 192), 230400u);
    EXPECT_EQ(f.substr(212, 14), std::string("strn\x06\0\0\0Guard\0", 14));
    // movi and its samples
    EXPECT_EQ(f.substr(AviWriter::MoviListAt, 4), "LIST");
    EXPECT_EQ(u32(f, AviWriter::MoviListAt + 4), idx - (AviWriter::MoviListAt + 8));
    EXPECT_EQ(f.substr(AviWriter::MoviListAt + 8, 4), "movi");
    for (int i = 0; i < 3; ++i) {
        const size_t at = moviData + static_cast<size_t>(i) * (8 + AviWriter::FrameBytes);
        EXPECT_EQ(f.substr(at, 4), "00db");
        EXPECT_EQ(u32(f, at + 4), 230400u);
        EXPECT_EQ(sample(f, i), std::string(AviWriter::FrameBytes, static_cast<char>(10 * (i + 1))));
        // idx1: key frame, offset from the "movi" fourcc
        const size_t e = idx + 8 + 16 * static_cast<size_t>(i);
        EXPECT_EQ(f.substr(e, 4), "00db");
        EXPECT_EQ(u32(f, e + 4), 0x10u);
        EXPECT_EQ(u32(f, e + 8), at - (AviWriter::MoviListAt + 8));
        EXPECT_EQ(u32(f, e + 12), 230400u);
    }
    EXPECT_EQ(f.substr(idx, 4), "idx1");
    EXPECT_EQ(u32(f, idx + 4), 48u);
}

TEST(AviFrame, AnySizeBecomes320x240BottomUpBgr) {
    video::JpegDecoder d;
    std::vector<uint8_t> out, scratch;
    // Top half red, bottom half blue; in the sample the bottom row comes first.
    for (auto [w, h] :
         std::vector<std::pair<int, int>>{{320, 240}, {640, 480}, {160, 120}, {1280, 720}, {352, 288}}) {
        const std::string j = vfix::makeJpeg(w, h);
        ASSERT_TRUE(
            video::jpegToAviFrame(d, reinterpret_cast<const uint8_t*>(j.data()), j.size(), out, scratch));
        ASSERT_EQ(out.size(), AviWriter::FrameBytes);
        const uint8_t* firstStored = &out[(10 * 320 + 160) * 3];        // near the picture's bottom
        const uint8_t* lastStored = &out[((239 - 10) * 320 + 160) * 3]; // near its top
        EXPECT_TRUE(near(firstStored[0], 255) && near(firstStored[2], 0)) << w << "x" << h; // blue
        EXPECT_TRUE(near(lastStored[2], 255) && near(lastStored[0], 0)) << w << "x" << h;   // red
    }
    const std::string junk = "\xFF\xD8 not a picture";
    std::vector<uint8_t> keep = out;
    EXPECT_FALSE(
        video::jpegToAviFrame(d, reinterpret_cast<const uint8_t*>(junk.data()), junk.size(), out, scratch));
    EXPECT_EQ(out, keep);
}

TEST(AviRecorder, WritesAFilePlayersRead) {
    const std::string dir = testenv::makeTempDir();
    std::vector<std::string> jpegs(5, vfix::makeJpeg(640, 480));
    const Recorded r = record(collection(jpegs), dir);
    const std::string name = dir + "/Gate_2017-03-03 14-05-09.AVI";
    EXPECT_EQ(r.file, name);
    EXPECT_EQ(r.lines, (std::vector<std::string>{"AVICompressor: start thread", "Save AVI to " + name,
                                                 "AVICompressor: stop thread"}));
    EXPECT_EQ(ffprobe(name), "codec_name=rawvideo\nwidth=320\nheight=240\npix_fmt=bgr24\nr_frame_rate=6/1\n"
                             "nb_read_frames=5\n");
    // Rows are stored bottom-up, so a player shows red at the top.
    const std::string rgb = firstFrameRgb(name);
    ASSERT_EQ(rgb.size(), 320u * 240 * 3);
    EXPECT_TRUE(near(static_cast<uint8_t>(rgb[0]), 255) && near(static_cast<uint8_t>(rgb[2]), 0));
    const size_t bottom = (239u * 320) * 3;
    EXPECT_TRUE(near(static_cast<uint8_t>(rgb[bottom]), 0) &&
                near(static_cast<uint8_t>(rgb[bottom + 2]), 255));
}

TEST(AviRecorder, OneFrameGivesOneSample) {
    const std::string dir = testenv::makeTempDir();
    const Recorded r = record(collection({vfix::makeJpeg(320, 240)}), dir);
    EXPECT_NE(ffprobe(r.file).find("nb_read_frames=1\n"), std::string::npos);
}

TEST(AviRecorder, CorruptFrameKeepsItsPositionWithThePreviousPicture) {
    const std::string dir = testenv::makeTempDir();
    std::vector<std::string> jpegs = {vfix::makeJpeg(640, 480, 0xFF0000, 0x0000FF),
                                      vfix::makeJpeg(640, 480, 0x00FF00, 0x00FF00), "\xFF\xD8garbage",
                                      vfix::makeJpeg(640, 480, 0xFFFFFF, 0xFFFFFF),
                                      vfix::makeJpeg(640, 480, 0x000000, 0x000000)};
    const Recorded r = record(collection(jpegs), dir, "");
    EXPECT_EQ(r.file, dir + "/Guard_2017-03-03 14-05-09.AVI"); // an empty name is "Guard"
    EXPECT_EQ(r.lines, (std::vector<std::string>{"AVICompressor: start thread",
                                                 "AVICompressor: ERROR corrupted JPEG stream number of 2",
                                                 "Save AVI to " + r.file, "AVICompressor: stop thread"}));
    EXPECT_NE(ffprobe(r.file).find("nb_read_frames=5\n"), std::string::npos);
    const std::string f = testenv::readFile(r.file);
    EXPECT_EQ(sample(f, 2), sample(f, 1));
    EXPECT_NE(sample(f, 3), sample(f, 1));
    EXPECT_TRUE(near(static_cast<uint8_t>(sample(f, 3)[0]), 255));
    EXPECT_TRUE(near(static_cast<uint8_t>(sample(f, 4)[0]), 0));
}

TEST(AviRecorder, FirstFrameCorruptIsBlack) {
    const std::string dir = testenv::makeTempDir();
    const Recorded r = record(collection({"junk", vfix::makeJpeg(320, 240, 0xFFFFFF, 0xFFFFFF)}), dir);
    const std::string f = testenv::readFile(r.file);
    EXPECT_EQ(sample(f, 0), std::string(AviWriter::FrameBytes, '\0'));
    EXPECT_NE(ffprobe(r.file).find("nb_read_frames=2\n"), std::string::npos);
}

TEST(AviRecorder, NeverOverwritesAndNeverLeavesTheFolder) {
    const std::string dir = testenv::makeTempDir();
    const std::string first = dir + "/Gate_2017-03-03 14-05-09.AVI";
    testenv::writeFile(first, "an earlier recording");
    const Recorded r2 = record(collection({vfix::makeJpeg(320, 240)}), dir);
    const Recorded r3 = record(collection({vfix::makeJpeg(320, 240)}), dir);
    EXPECT_EQ(testenv::readFile(first), "an earlier recording");
    EXPECT_EQ(r2.file, dir + "/Gate_2017-03-03 14-05-09_2.AVI");
    EXPECT_EQ(r3.file, dir + "/Gate_2017-03-03 14-05-09_3.AVI");
    EXPECT_EQ(r3.lines.at(1), "Save AVI to " + r3.file);

    // A device-reported name with separators and control characters stays one file in the folder.
    const Recorded evil = record(collection({vfix::makeJpeg(320, 240)}), dir,
                                 "../..\\x\n\x1b"
                                 "Door");
    EXPECT_EQ(evil.file, dir + "/....xDoor_2017-03-03 14-05-09.AVI");
    EXPECT_TRUE(std::filesystem::exists(evil.file));
}

TEST(AviRecorder, FileNames) {
    std::tm t{};
    t.tm_year = 117;
    t.tm_mon = 2;
    t.tm_mday = 3;
    t.tm_hour = 4;
    t.tm_min = 5;
    t.tm_sec = 9;
    struct Case {
        std::string dir, guard, name;
    };
    for (const Case& c : std::vector<Case>{
             {"/rec", " Gate ", "/rec/ Gate _2017-03-03 04-05-09.AVI"}, // the caption's blanks stay
             {"C:\\rec\\cam", "Gate", "C:/rec/cam/Gate_2017-03-03 04-05-09.AVI"},
             {"/rec", "", "/rec/Guard_2017-03-03 04-05-09.AVI"},
             {"/rec", "/\\\t", "/rec/Guard_2017-03-03 04-05-09.AVI"},
             {"/rec", "Brána", "/rec/Brána_2017-03-03 04-05-09.AVI"}, // bytes above 0x7F are kept
             // C1 controls (U+0080 .. U+009F) go too: U+009B starts a terminal sequence
             {"/rec", "Gate\xC2\x9B\xC2\x85", "/rec/Gate_2017-03-03 04-05-09.AVI"},
             {"/rec", "x\xC2\x01\x9Bz", "/rec/xz_2017-03-03 04-05-09.AVI"}, // nor made by a removal
         })
        EXPECT_EQ(TAVICreator::BuildFileName(c.dir, c.guard, t), c.name) << c.guard;
    EXPECT_EQ(TAVICreator::WithSuffix("/a.b/Gate_x.AVI", 2), "/a.b/Gate_x_2.AVI");
}

// A device may report a name of any length: the file name keeps its stamp and
// room for the suffix within the 255 bytes a file name may have, and a name is
// never cut inside a UTF-8 character.
TEST(AviRecorder, LongDeviceNamesAreShortenedToFitTheFileNameLimit) {
    std::tm t{};
    t.tm_year = 117;
    t.tm_mon = 2;
    t.tm_mday = 3;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 9;
    const std::string tail = "_2017-03-03 14-05-09.AVI";
    const size_t room = 255 - 5 - tail.size(); // 226 bytes for the name
    struct Case {
        std::string guard, name;
    };
    auto times = [](const std::string& s, size_t n) {
        std::string r;
        for (size_t i = 0; i < n; ++i)
            r += s;
        return r;
    };
    for (const Case& c : std::vector<Case>{
             {std::string(room, 'a'), std::string(room, 'a')},      // fits exactly
             {std::string(room + 1, 'a'), std::string(room, 'a')},  // one byte too long
             {std::string(1000, 'b'), std::string(room, 'b')},      // far too long
             {times("\xC3\xA1", 200), times("\xC3\xA1", room / 2)}, // 2-byte letters, 226 = 113 x 2
             {"x" + times("\xC3\xA1", 200), "x" + times("\xC3\xA1", (room - 1) / 2)}, // would cut inside one
             {times("\xE9\x96\x80", 100), times("\xE9\x96\x80", room / 3)}, // 3-byte: 75 fit, 1 byte left
             {"ab" + times("\xF0\x9F\x9A\xAA", 80),
              "ab" + times("\xF0\x9F\x9A\xAA", (room - 2) / 4)}, // 4-byte
             {std::string(300, '/') + "Gate", "Gate"},           // separators go before the length counts
         }) {
        const std::string full = TAVICreator::BuildFileName("/rec", c.guard, t);
        EXPECT_EQ(full, "/rec/" + c.name + tail) << c.guard.size();
        const std::string file = full.substr(5);
        EXPECT_LE(TAVICreator::WithSuffix(file, 1000).size(), 255u) << c.guard.size();
    }

    // Real files: the first and a second of the same second (suffix) are made.
    const std::string dir = testenv::makeTempDir();
    const std::string longName = times("Vchod \xC4\x8D. ", 40); // 400 bytes
    const Recorded r1 = record(collection({vfix::makeJpeg(320, 240)}), dir, longName);
    const Recorded r2 = record(collection({vfix::makeJpeg(320, 240)}), dir, longName);
    ASSERT_TRUE(std::filesystem::exists(r1.file)) << r1.lines.at(1);
    ASSERT_TRUE(std::filesystem::exists(r2.file)) << r2.lines.at(1);
    EXPECT_EQ(r1.lines.at(1), "Save AVI to " + r1.file);
    EXPECT_EQ(r2.file, TAVICreator::WithSuffix(r1.file, 2));
    const std::string base = std::filesystem::path(r1.file).filename().string();
    EXPECT_LE(base.size(), 255u);
    EXPECT_EQ(base.substr(base.size() - tail.size()), tail);
    EXPECT_EQ(QString::fromUtf8(base.data(), static_cast<qsizetype>(base.size())).toUtf8().toStdString(),
              base)
        << "valid UTF-8";
}

TEST(AviRecorder, MissingFolderLogsTheOpenErrorWithTheFullName) {
    const std::string dir = testenv::makeTempDir() + "/not-there";
    const Recorded r = record(collection({vfix::makeJpeg(320, 240)}), dir);
    EXPECT_EQ(r.lines,
              (std::vector<std::string>{"AVICompressor: start thread",
                                        "AVICompressor: ERROR unable to create Temp AVI file. Location= \"" +
                                            dir + "/Gate_2017-03-03 14-05-09.AVI\" Error= AVIERR_FILEOPEN",
                                        "AVICompressor: stop thread"}));
}

TEST(AviRecorder, WaitingForTheRecordersNamesTheFilesOfThoseStillRunning) {
    const std::string dir = testenv::makeTempDir();
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    auto rec = std::make_shared<TAVICreator>();
    rec->AVICollection = collection({vfix::makeJpeg(320, 240)});
    rec->AVIDirectory = dir;
    rec->GuardName = "Gate";
    rec->Now = [] { return std::time_t{1488549909}; };
    rec->LogEvent = [&](const std::string& s) { // runs on the recorder's thread: hold it at its first line
        std::unique_lock l(m);
        if (s == "AVICompressor: start thread") cv.wait(l, [&] { return release; });
    };
    TAVICreator::Start(rec);
    const std::vector<std::string> left = TAVICreator::WaitForAll(100);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].rfind(dir + "/Gate_", 0), 0u) << left[0];
    EXPECT_EQ(left[0].substr(left[0].size() - 4), ".AVI");
    {
        std::lock_guard l(m);
        release = true;
    }
    cv.notify_all();
    EXPECT_TRUE(TAVICreator::WaitForAll(20000).empty());
    EXPECT_EQ(TAVICreator::RunningCount(), 0);
    EXPECT_NE(ffprobe(rec->fTempFileName).find("nb_read_frames=1\n"), std::string::npos);
}

TEST(AviRecorder, ConcurrentRecordersOnTheirOwnThreads) {
    const std::string dir = testenv::makeTempDir();
    std::mutex m;
    std::vector<std::string> lines;
    std::atomic<int> stopped{0};
    QObject receiver;
    for (int i = 0; i < 3; ++i) {
        auto rec = std::make_shared<TAVICreator>();
        rec->AVICollection = collection({vfix::makeJpeg(640, 480), vfix::makeJpeg(320, 240)});
        rec->AVIDirectory = dir;
        rec->GuardName = "Gate";
        rec->Now = [] { return std::time_t{1488549909}; };
        rec->Receiver = &receiver; // log lines arrive on this (the window) thread
        rec->LogEvent = [&](const std::string& s) {
            lines.push_back(s);
            if (s == "AVICompressor: stop thread") ++stopped;
        };
        TAVICreator::Start(rec);
    }
    EXPECT_TRUE(TAVICreator::WaitForAll(20000).empty());
    EXPECT_EQ(TAVICreator::RunningCount(), 0);
    ASSERT_TRUE(testenv::waitUntil([&] { return stopped == 3; }, 5000));
    int saved = 0;
    for (const auto& s : lines)
        if (s.rfind("Save AVI to ", 0) == 0) {
            ++saved;
            EXPECT_NE(ffprobe(s.substr(12)).find("nb_read_frames=2\n"), std::string::npos) << s;
        }
    EXPECT_EQ(saved, 3);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()),
              3);
}
