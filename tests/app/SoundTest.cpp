// Sound through SDL's disk driver, which writes what is played in real time to a file.
#include "platform/Sound.h"
#include "common/SystemUtils.h"
#include "support/TestEnv.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace {

std::string makeWav(int ms, int freq) {
    const int rate = 22050;
    const int n = rate * ms / 1000;
    std::string data;
    for (int i = 0; i < n; ++i) {
        int16_t s = static_cast<int16_t>(std::sin(2 * M_PI * freq * i / rate) * 10000);
        data.append(reinterpret_cast<const char*>(&s), 2);
    }
    auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
    return "RIFF" + u32(36 + static_cast<uint32_t>(data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(1) +
           u32(rate) + u32(rate * 2) + u16(2) + u16(16) + "data" + u32(static_cast<uint32_t>(data.size())) +
           data;
}

long fileSize(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// Peak sample of the bytes added to the disk file since offset.
int peakSince(const std::string& p, long offset) {
    std::string all = testenv::readFile(p);
    int peak = 0;
    for (size_t i = static_cast<size_t>(offset) & ~size_t{1}; i + 1 < all.size(); i += 2) {
        int16_t s;
        std::memcpy(&s, all.data() + i, 2);
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    }
    return peak;
}

// The disk device writes what it plays in real time: its file's growth is the
// sign of how much it has played. Sounds and tones here are 22050 Hz mono 16 bit.
constexpr long BytesPerMs = 22050 * 2 / 1000;
bool waitPlayed(const std::string& p, long from, long ms) {
    return testenv::waitUntil([&] { return fileSize(p) - from >= ms * BytesPerMs; }, 20000);
}
bool waitSounding(const std::string& p, long from) {
    return testenv::waitUntil([&] { return fileSize(p) > from && peakSince(p, std::max(from, 0L)) > 5000; },
                              20000);
}

} // namespace

class DiskSound : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = testenv::makeTempDir();
        out_ = dir_ + "/out.raw";
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIOFILE", out_.c_str(), 1);
        testenv::writeFile(dir_ + "/beep.wav", makeWav(150, 440));
        testenv::writeFile(dir_ + "/broken.wav", "RIFF\x10\0\0\0WAVEjunkjunk");
    }
    static void TearDownTestSuite() { platform::SoundPlayer::instance().shutdown(); }
    static std::string dir_, out_;
};
std::string DiskSound::dir_, DiskSound::out_;

TEST_F(DiskSound, LoopKeepsSoundingUntilStopWav) {
    PlayWav(dir_ + "/beep.wav", true);
    ASSERT_TRUE(waitSounding(out_, 0)) << "the sound was not played";
    const long mark = fileSize(out_);
    ASSERT_TRUE(waitPlayed(out_, mark, 600)); // four times the sound's length
    EXPECT_GT(peakSince(out_, mark), 5000) << "still sounding after the file's own length";
    StopWav();
    const long stopped = fileSize(out_);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(peakSince(out_, std::max(stopped, 0L)), 0) << "nothing after StopWav";
}

TEST_F(DiskSound, OnceEndsByItselfAndBadFilesAreSilence) {
    PlayWav(dir_ + "/beep.wav", false);
    // The device keeps running after the sound: within a few windows of 300 ms
    // (a slow machine starts late) it must fall silent for good.
    bool silent = false;
    for (int i = 0; i < 10 && !silent; ++i) {
        const long mark = fileSize(out_);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        silent = mark > 0 && peakSince(out_, mark) == 0;
    }
    EXPECT_GT(peakSince(out_, 0), 5000) << "the sound was played";
    EXPECT_TRUE(silent) << "a sound played once does not repeat";

    for (const char* bad : {"/missing.wav", "/broken.wav"}) {
        EXPECT_FALSE(platform::SoundPlayer::instance().playWav(dir_ + bad, true)) << bad;
        const long before = fileSize(out_);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(peakSince(out_, std::max(before, 0L)), 0) << bad << " must be silence";
    }
}

TEST_F(DiskSound, ToneSoundsAndANewSoundReplacesTheOld) {
    PlayWav(dir_ + "/beep.wav", true);
    ASSERT_TRUE(waitSounding(out_, 0)) << "the loop was not played";
    PlayTone(1000, 200);
    const long mark = fileSize(out_);
    EXPECT_TRUE(waitSounding(out_, mark)) << "the tone was not played";
    ASSERT_TRUE(waitPlayed(out_, mark, 500)); // past the tone's 200 ms
    const long after = fileSize(out_);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(peakSince(out_, after), 0) << "the loop was replaced, the tone has ended";
}
