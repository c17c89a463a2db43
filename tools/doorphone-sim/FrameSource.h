#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The simulated camera: a moving test pattern with the device name and a clock,
// encoded as a baseline JPEG (4:2:0). One picture per frame index is encoded
// and shared by every video connection that asks for that index.
namespace doorphonesim {

class FrameSource {
public:
    FrameSource(int width, int height, std::string name);
    ~FrameSource();
    FrameSource(const FrameSource&) = delete;
    FrameSource& operator=(const FrameSource&) = delete;

    // The JPEG of frame `index`; the same bytes for the same index until a later
    // index is asked for. Null only when the encoder fails.
    std::shared_ptr<const std::string> frame(int64_t index);

    int width() const { return width_; }
    int height() const { return height_; }

    // Draws the pattern of frame `index` with `clock` as the time text into an
    // RGB buffer of width x height x 3 bytes (exposed for tests and benchmarks).
    void render(int64_t index, const std::string& clock, std::vector<uint8_t>& rgb) const;

    // "HH:MM:SS.t" of the local time now.
    static std::string clockText();

private:
    const int width_, height_;
    const std::string name_;
    std::mutex mutex_;
    int64_t cachedIndex_ = -1;
    std::shared_ptr<const std::string> cached_;
    std::vector<uint8_t> rgb_;
    void* tj_ = nullptr;
    unsigned char* out_ = nullptr; // encoder output, sized once for the worst case
    unsigned long outCapacity_ = 0;
};

} // namespace doorphonesim
