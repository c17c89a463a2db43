#include "platform/Sound.h"

#include <SDL2/SDL.h>
#include <cmath>
#include <cstring>

namespace platform {

SoundPlayer& SoundPlayer::instance() {
    static SoundPlayer* player = new SoundPlayer(); // never destroyed: the audio thread may outlive statics
    return *player;
}

void SoundPlayer::callback(void* self, uint8_t* stream, int len) {
    // Runs on SDL's audio thread with the device lock held; the owner changes
    // samples_ only after closing the device, so no further lock is needed.
    auto* p = static_cast<SoundPlayer*>(self);
    size_t want = static_cast<size_t>(len);
    size_t done = 0;
    while (done < want) {
        if (p->position_ >= p->samples_.size()) {
            if (!p->loop_ || p->samples_.empty()) break;
            p->position_ = 0;
        }
        size_t n = std::min(want - done, p->samples_.size() - p->position_);
        std::memcpy(stream + done, p->samples_.data() + p->position_, n);
        p->position_ += n;
        done += n;
    }
    if (done < want) std::memset(stream + done, p->silence_, want - done);
}

void SoundPlayer::closeLocked() {
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_); // waits for a running callback
        device_ = 0;
    }
    samples_.clear();
    position_ = 0;
}

bool SoundPlayer::startLocked(std::vector<uint8_t> samples, int freq, uint16_t format, uint8_t channels,
                              bool loop) {
    closeLocked();
    if (!sdlReady_) {
        if (sdlFailed_) return false;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            sdlFailed_ = true;
            return false;
        }
        sdlReady_ = true;
    }
    if (samples.empty()) return false;
    samples_ = std::move(samples);
    loop_ = loop;
    position_ = 0;
    SDL_AudioSpec want{};
    want.freq = freq;
    want.format = format;
    want.channels = channels;
    want.samples = 1024;
    want.callback = &SoundPlayer::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
        samples_.clear();
        return false;
    }
    silence_ = have.silence;
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

bool SoundPlayer::playWav(const std::string& path, bool loop) {
    std::lock_guard lock(mutex_);
    closeLocked();
    if (!sdlReady_ && !sdlFailed_) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            sdlFailed_ = true;
        else
            sdlReady_ = true;
    }
    if (!sdlReady_) return false;
    SDL_AudioSpec spec{};
    Uint8* buf = nullptr;
    Uint32 len = 0;
    if (!SDL_LoadWAV(path.c_str(), &spec, &buf, &len)) return false;
    std::vector<uint8_t> samples(buf, buf + len);
    SDL_FreeWAV(buf);
    return startLocked(std::move(samples), spec.freq, spec.format, spec.channels, loop);
}

bool SoundPlayer::playTone(int frequencyHz, int durationMs) {
    constexpr int rate = 22050;
    const size_t count = static_cast<size_t>(rate) * static_cast<size_t>(std::max(durationMs, 0)) / 1000;
    std::vector<uint8_t> samples(count * 2);
    for (size_t i = 0; i < count; ++i) {
        double v = std::sin(2.0 * M_PI * frequencyHz * static_cast<double>(i) / rate) * 12000.0;
        auto s = static_cast<int16_t>(v);
        std::memcpy(&samples[i * 2], &s, 2);
    }
    std::lock_guard lock(mutex_);
    return startLocked(std::move(samples), rate, AUDIO_S16LSB, 1, false);
}

void SoundPlayer::stop() {
    std::lock_guard lock(mutex_);
    closeLocked();
}

void SoundPlayer::shutdown() {
    std::lock_guard lock(mutex_);
    closeLocked();
    if (sdlReady_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sdlReady_ = false;
}

} // namespace platform
