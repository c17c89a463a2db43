#pragma once
// The door phone's multipart MJPEG stream, parsed byte-exactly but in bulk.
// No Qt here: the fuzz target and the benchmarks build this file alone.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace video {

enum class THTTPOdpovedStatus { WAIT_HEAD, HEAD, DELKA, SKIP_CALL, CALL, SKIP_TITLE, TITLE, SKIP_CR, JPGF };

// What one feed produced, in stream order.
struct MjpegEvent {
    enum class Kind { Picture, Log };
    Kind kind = Kind::Log;
    std::vector<uint8_t> picture; // Picture: the JPEG data followed by the 15-byte trailer
    std::string text;             // Log: the line, with its "MJPEG: " prefix
    size_t endOffset = 0;         // offset in the fed bytes just past the event's last byte
};

class MjpegParser {
public:
    static constexpr std::string_view HLAVICKA = "Content-Type: image/jpeg\r\nContent-Length: ";
    static constexpr std::string_view Trailer = "\r\n--tojekonec\r\n";
    // A length above this is not believed: reserving it would let a device
    // (or a flipped bit) make us allocate gigabytes.
    static constexpr uint32_t MaxPictureLength = 8u * 1024u * 1024u;
    // The title is read but never used; keep only its start.
    static constexpr size_t MaxTitleLength = 256;

    MjpegParser();

    // Back to the marker search with an empty window (each (re)connection).
    void reset();

    // Parses the next received bytes. The returned list is reused by the next
    // call; take the picture buffers out of it by move. A part may be split at
    // any byte across calls and gives the same events.
    std::vector<MjpegEvent>& feed(const uint8_t* data, size_t size);

    // Hands a picture buffer back for reuse when the caller does not keep it.
    void recycle(std::vector<uint8_t>&& buffer);

    THTTPOdpovedStatus state() const { return HTTPOdpovedStatus; }
    const std::string& title() const { return HTTPTitle; }

private:
    size_t searchMarker(const uint8_t* p, size_t n);
    void pictureComplete(size_t endOffset);
    void addLog(std::string text, size_t endOffset);
    void toWaitHead();

    THTTPOdpovedStatus HTTPOdpovedStatus = THTTPOdpovedStatus::WAIT_HEAD;
    // The last bytes seen since the search began, at most 41: a marker that
    // straddles two receives is found by searching these plus the new bytes.
    uint8_t window_[64] = {};
    size_t windowLen_ = 0;
    uint64_t searched_ = 0; // bytes consumed by the marker search since it began

    uint64_t Delka_obrazku = 0; // the length digits' value (saturates above the bound)
    bool lengthTooLong_ = false;
    uint32_t HTTPDelkaObrazku = 0; // bytes of the picture still to read (length + 15)
    int Hledej_call = 0;
    int Hledej_title = 0;
    int Hledej_CR = 0;
    std::string HTTPTitle;
    std::vector<uint8_t> JPEGStream;
    std::vector<uint8_t> spare_; // a recycled buffer for the next picture

    std::vector<MjpegEvent> events_;
};

} // namespace video
