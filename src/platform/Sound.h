#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// One sound at a time through SDL2 audio: a WAV once or in a loop, or a sine
// tone. Starting a sound stops the one playing. A file that is missing or not
// a readable WAV, or a machine without a sound device, gives silence.
namespace platform {

class SoundPlayer {
public:
    static SoundPlayer& instance();

    // True when the sound was started (false means silence).
    bool playWav(const std::string& path, bool loop);
    bool playTone(int frequencyHz, int durationMs);
    void stop();
    // Closes the device; later calls reopen it. Called once at exit.
    void shutdown();

    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

private:
    SoundPlayer() = default;
    ~SoundPlayer() = default;
    bool startLocked(std::vector<uint8_t> samples, int freq, uint16_t format, uint8_t channels, bool loop);
    void closeLocked();
    static void callback(void* self, uint8_t* stream, int len);

    std::mutex mutex_;
    bool sdlReady_ = false;
    bool sdlFailed_ = false;
    uint32_t device_ = 0;
    std::vector<uint8_t> samples_;
    size_t position_ = 0;
    bool loop_ = false;
    uint8_t silence_ = 0;
};

} // namespace platform
