#include "video/MjpegParser.h"

#include <algorithm>
#include <cstring>
#include <string.h> // memmem

namespace video {

namespace {
constexpr size_t MarkerLen = MjpegParser::HLAVICKA.size();
static_assert(MarkerLen == 42);
constexpr size_t TrailerLen = MjpegParser::Trailer.size();
static_assert(TrailerLen == 15);
} // namespace

MjpegParser::MjpegParser() {
    reset();
}

void MjpegParser::reset() {
    toWaitHead();
    Hledej_call = Hledej_title = Hledej_CR = 0;
    HTTPDelkaObrazku = 0;
    HTTPTitle.clear();
    JPEGStream.clear();
}

void MjpegParser::toWaitHead() {
    HTTPOdpovedStatus = THTTPOdpovedStatus::WAIT_HEAD;
    windowLen_ = 0;
    searched_ = 0;
}

void MjpegParser::recycle(std::vector<uint8_t>&& buffer) {
    if (buffer.capacity() > spare_.capacity()) spare_ = std::move(buffer);
}

void MjpegParser::addLog(std::string text, size_t endOffset) {
    MjpegEvent& e = events_.emplace_back();
    e.kind = MjpegEvent::Kind::Log;
    e.text = std::move(text);
    e.endOffset = endOffset;
}

// Finds the marker as a sliding 42-byte window over every byte since the search
// began would: the first place where the last 42 bytes equal it. Returns the
// bytes consumed; on a hit the state is DELKA and the marker's last byte was the
// last one consumed.
size_t MjpegParser::searchMarker(const uint8_t* p, size_t n) {
    const auto* marker = reinterpret_cast<const uint8_t*>(HLAVICKA.data());
    auto found = [this](size_t consumed) {
        HTTPOdpovedStatus = THTTPOdpovedStatus::DELKA;
        windowLen_ = 0;
        searched_ = 0;
        Delka_obrazku = 0;
        lengthTooLong_ = false;
        return consumed;
    };
    if (windowLen_ > 0) {
        // A match that starts in the kept bytes ends within the first 41 new ones,
        // so it comes before any match that lies wholly in the new bytes.
        uint8_t joined[2 * MarkerLen];
        const size_t take = std::min(n, MarkerLen - 1);
        std::memcpy(joined, window_, windowLen_);
        std::memcpy(joined + windowLen_, p, take);
        if (const void* hit = ::memmem(joined, windowLen_ + take, marker, MarkerLen)) {
            const size_t start = static_cast<size_t>(static_cast<const uint8_t*>(hit) - joined);
            return found(start + MarkerLen - windowLen_);
        }
    }
    if (const void* hit = ::memmem(p, n, marker, MarkerLen)) {
        return found(static_cast<size_t>(static_cast<const uint8_t*>(hit) - p) + MarkerLen);
    }
    // No marker yet: keep the last 41 bytes (all of them since the search began).
    constexpr size_t keep = MarkerLen - 1;
    if (n >= keep) {
        std::memcpy(window_, p + n - keep, keep);
        windowLen_ = keep;
    } else {
        const size_t total = windowLen_ + n;
        if (total > keep) {
            const size_t drop = total - keep;
            std::memmove(window_, window_ + drop, windowLen_ - drop);
            windowLen_ -= drop;
        }
        std::memcpy(window_ + windowLen_, p, n);
        windowLen_ += n;
    }
    searched_ += n;
    HTTPOdpovedStatus = searched_ >= MarkerLen ? THTTPOdpovedStatus::HEAD : THTTPOdpovedStatus::WAIT_HEAD;
    return n;
}

void MjpegParser::pictureComplete(size_t endOffset) {
    if (JPEGStream.empty() || JPEGStream.front() != 0xFF) {
        addLog("MJPEG: ERROR: The first char of picture not found", endOffset);
    } else if (std::memcmp(JPEGStream.data() + JPEGStream.size() - TrailerLen, Trailer.data(), TrailerLen) !=
               0) {
        std::string line = "MJPEG: ERROR Incorrect end of picture: \"";
        line.append(reinterpret_cast<const char*>(JPEGStream.data() + JPEGStream.size() - TrailerLen),
                    TrailerLen);
        line += '"';
        addLog(std::move(line), endOffset);
    } else {
        MjpegEvent& e = events_.emplace_back();
        e.kind = MjpegEvent::Kind::Picture;
        e.picture = std::move(JPEGStream);
        e.endOffset = endOffset;
        JPEGStream = std::move(spare_);
        spare_ = {};
    }
    JPEGStream.clear();
    toWaitHead();
}

std::vector<MjpegEvent>& MjpegParser::feed(const uint8_t* data, size_t size) {
    events_.clear();
    size_t i = 0;
    while (i < size) {
        const uint8_t* p = data + i;
        const size_t left = size - i;
        switch (HTTPOdpovedStatus) {
        case THTTPOdpovedStatus::WAIT_HEAD:
        case THTTPOdpovedStatus::HEAD:
            i += searchMarker(p, left);
            break;
        case THTTPOdpovedStatus::DELKA: {
            size_t k = 0;
            while (k < left && p[k] >= '0' && p[k] <= '9') {
                // Saturate: the digits' text is not kept, so a flood of them costs nothing.
                if (!lengthTooLong_) {
                    Delka_obrazku = Delka_obrazku * 10 + static_cast<uint64_t>(p[k] - '0');
                    if (Delka_obrazku > MaxPictureLength) lengthTooLong_ = true;
                }
                ++k;
            }
            i += k;
            if (k == left) break; // the digits may go on in the next receive
            // The byte that ends the digits is not consumed here.
            if (lengthTooLong_) {
                addLog("MJPEG: ERROR Incorrect number length of picture", i);
                toWaitHead();
            } else {
                HTTPDelkaObrazku = static_cast<uint32_t>(Delka_obrazku) + static_cast<uint32_t>(TrailerLen);
                Hledej_call = 16;
                HTTPOdpovedStatus = THTTPOdpovedStatus::SKIP_CALL;
            }
            break;
        }
        case THTTPOdpovedStatus::SKIP_CALL: {
            const size_t k = std::min(left, static_cast<size_t>(Hledej_call));
            i += k;
            Hledej_call -= static_cast<int>(k);
            if (Hledej_call == 0) HTTPOdpovedStatus = THTTPOdpovedStatus::CALL;
            break;
        }
        case THTTPOdpovedStatus::CALL:
            ++i; // the call byte, not used
            Hledej_title = 9;
            HTTPOdpovedStatus = THTTPOdpovedStatus::SKIP_TITLE;
            break;
        case THTTPOdpovedStatus::SKIP_TITLE: {
            const size_t k = std::min(left, static_cast<size_t>(Hledej_title));
            i += k;
            Hledej_title -= static_cast<int>(k);
            if (Hledej_title == 0) {
                HTTPTitle.clear();
                HTTPOdpovedStatus = THTTPOdpovedStatus::TITLE;
            }
            break;
        }
        case THTTPOdpovedStatus::TITLE: {
            size_t k = 0;
            while (k < left && p[k] != '\r' && p[k] != '\n')
                ++k;
            if (HTTPTitle.size() < MaxTitleLength)
                HTTPTitle.append(reinterpret_cast<const char*>(p),
                                 std::min(k, MaxTitleLength - HTTPTitle.size()));
            i += k;
            if (k < left) { // CR or LF reached, not consumed
                Hledej_CR = 4;
                HTTPOdpovedStatus = THTTPOdpovedStatus::SKIP_CR;
            }
            break;
        }
        case THTTPOdpovedStatus::SKIP_CR: {
            const size_t k = std::min(left, static_cast<size_t>(Hledej_CR));
            i += k;
            Hledej_CR -= static_cast<int>(k);
            if (Hledej_CR == 0) {
                if (HTTPDelkaObrazku < 1) {
                    toWaitHead();
                } else {
                    JPEGStream.clear();
                    JPEGStream.reserve(HTTPDelkaObrazku);
                    HTTPOdpovedStatus = THTTPOdpovedStatus::JPGF;
                }
            }
            break;
        }
        case THTTPOdpovedStatus::JPGF: {
            const size_t k = std::min(left, static_cast<size_t>(HTTPDelkaObrazku));
            JPEGStream.insert(JPEGStream.end(), p, p + k);
            i += k;
            HTTPDelkaObrazku -= static_cast<uint32_t>(k);
            // Completed with its last byte, not when the next one arrives: a
            // device that sends one frame per write would otherwise show every
            // picture one frame late.
            if (HTTPDelkaObrazku == 0) pictureComplete(i);
            break;
        }
        }
    }
    return events_;
}

} // namespace video
