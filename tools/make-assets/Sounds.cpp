// Sounds are synthesised sample by sample so that the files come out the same on
// every run: no external tool, no random seed from the clock.
#include "Sounds.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

using Samples = std::vector<double>;

void putLe(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Canonical 44-byte RIFF header, PCM 16-bit mono.
bool writeWav(const std::string& path, const Samples& s) {
    const uint32_t dataBytes = static_cast<uint32_t>(s.size() * 2);
    std::vector<uint8_t> out;
    out.reserve(44 + dataBytes);
    for (char c : std::string("RIFF"))
        out.push_back(static_cast<uint8_t>(c));
    putLe(out, 36 + dataBytes, 4);
    for (char c : std::string("WAVEfmt "))
        out.push_back(static_cast<uint8_t>(c));
    putLe(out, 16, 4);        // fmt chunk size
    putLe(out, 1, 2);         // PCM
    putLe(out, 1, 2);         // mono
    putLe(out, kRate, 4);     // sample rate
    putLe(out, kRate * 2, 4); // byte rate
    putLe(out, 2, 2);         // block align
    putLe(out, 16, 2);        // bits per sample
    for (char c : std::string("data"))
        out.push_back(static_cast<uint8_t>(c));
    putLe(out, dataBytes, 4);
    for (double v : s) {
        const long q = std::lround(std::clamp(v, -1.0, 1.0) * 32767.0);
        putLe(out, static_cast<uint32_t>(static_cast<int16_t>(q)), 2);
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

void normalise(Samples& s, double peak) {
    double m = 0;
    for (double v : s)
        m = std::max(m, std::abs(v));
    if (m > 0)
        for (double& v : s)
            v *= peak / m;
}

// Raised-cosine edge: 0 at x <= 0, 1 at x >= 1.
double smoothStep(double x) {
    if (x <= 0) return 0;
    if (x >= 1) return 1;
    return 0.5 - 0.5 * std::cos(std::numbers::pi * x);
}

// Two bell-like notes, a rising fifth-ish interval, each with a soft attack and
// a long decay so that the chime never clicks.
Samples dialTone() {
    const double length = 1.5;
    Samples s(static_cast<size_t>(length * kRate), 0.0);
    struct Note {
        double freq, start, dur;
    };
    for (const Note n : {Note{660, 0.0, 0.8}, Note{880, 0.62, 0.88}}) {
        const size_t first = static_cast<size_t>(n.start * kRate);
        const size_t count = static_cast<size_t>(n.dur * kRate);
        for (size_t i = 0; i < count && first + i < s.size(); ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double env = smoothStep(t / 0.012) * std::exp(-t / 0.32) * smoothStep((n.dur - t) / 0.06);
            const double w = kTwoPi * n.freq * t;
            s[first + i] += env * (std::sin(w) + 0.22 * std::sin(2 * w) + 0.06 * std::sin(3 * w));
        }
    }
    normalise(s, 0.5);
    return s;
}

// Band-pass biquad (constant peak gain), enough to turn white noise into a click.
struct BandPass {
    double b0, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    BandPass(double f0, double q) {
        const double w = kTwoPi * f0 / kRate, alpha = std::sin(w) / (2 * q), a0 = 1 + alpha;
        b0 = alpha / a0;
        b2 = -alpha / a0;
        a1 = -2 * std::cos(w) / a0;
        a2 = (1 - alpha) / a0;
    }
    double operator()(double x) {
        const double y = b0 * x + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Shutter: opening snap, a short low thump of the mirror, closing snap.
Samples cameraClick() {
    const double length = 0.3;
    Samples s(static_cast<size_t>(length * kRate), 0.0);
    uint32_t seed = 0x1234567u;
    auto noise = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<double>(seed >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0;
    };
    BandPass hi(3200, 0.9), mid(1200, 1.2);
    struct Burst {
        double at, decay, gain;
    };
    const Burst bursts[] = {
        {0.004, 0.006, 1.0}, {0.012, 0.004, 0.5}, {0.105, 0.009, 0.75}, {0.118, 0.005, 0.35}};
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        double env = 0;
        for (const Burst& b : bursts)
            if (t >= b.at) env += b.gain * smoothStep((t - b.at) / 0.0008) * std::exp(-(t - b.at) / b.decay);
        const double n = noise() * env;
        const double thumpT = t - 0.006;
        const double thump =
            thumpT > 0 ? 0.35 * std::sin(kTwoPi * 140 * thumpT) * std::exp(-thumpT / 0.018) : 0.0;
        s[i] = hi(n) + 0.6 * mid(n) + thump;
    }
    // Silence the tail completely so that no filter ringing is cut off mid-wave.
    for (size_t i = 0; i < s.size(); ++i)
        s[i] *= smoothStep((length - static_cast<double>(i) / kRate) / 0.03);
    normalise(s, 0.8);
    return s;
}

// Ring-ring, pause: the 440 + 480 Hz pair trilled at 20 Hz. The file starts with
// a burst and ends in silence, so playing it in a loop gives a steady cadence.
Samples ring() {
    const double length = 2.0;
    Samples s(static_cast<size_t>(length * kRate), 0.0);
    const double bursts[][2] = {{0.0, 0.4}, {0.6, 1.0}};
    const double edge = 0.01;
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        double env = 0;
        for (const auto& b : bursts)
            if (t >= b[0] && t < b[1]) env = smoothStep((t - b[0]) / edge) * smoothStep((b[1] - t) / edge);
        if (env == 0) continue;
        const double trill = 0.65 + 0.35 * std::sin(kTwoPi * 20 * t);
        s[i] = env * trill * 0.5 * (std::sin(kTwoPi * 440 * t) + std::sin(kTwoPi * 480 * t));
    }
    normalise(s, 0.5);
    return s;
}

} // namespace

bool makeSounds(const std::string& dir) {
    bool ok = true;
    for (const auto& [name, samples] :
         {std::pair{"dialtone.wav", dialTone()}, std::pair{"camera1.wav", cameraClick()},
          std::pair{"ring.wav", ring()}}) {
        const std::string path = dir + "/" + name;
        if (!writeWav(path, samples)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            ok = false;
        }
    }
    return ok;
}
