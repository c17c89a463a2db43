#include "video/video.h"

#include "platform/Dispatch.h"
#include "platform/Net.h"
#include "platform/ThreadPriority.h"
#include "video/AviFrame.h"
#include "video/MjpegParser.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <sys/socket.h>
#include <thread>
#include <turbojpeg.h>

namespace {

// Logged once a recording holds its first picture: until then the end of a
// call hands nothing over and the recording goes on.
constexpr char FirstFrameLine[] = "AVI: first picture recorded";

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// "Server Error" in any letter case within the chunk's text (its bytes up to
// the first zero byte).
size_t serverErrorTextLength(const uint8_t* data, size_t size) {
    const void* zero = std::memchr(data, 0, size);
    const size_t len = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : size;
    static constexpr char needle[] = "server error";
    constexpr size_t n = sizeof needle - 1;
    for (size_t i = 0; i + n <= len; ++i) {
        size_t k = 0;
        while (k < n && (data[i + k] | (data[i + k] >= 'A' && data[i + k] <= 'Z' ? 0x20 : 0)) == needle[k])
            ++k;
        if (k == n) return len;
    }
    return std::string::npos;
}

// TurboJPEG's 4-byte order that is QImage::Format_RGB32 in memory (0xffRRGGBB
// as a native word); its filler byte is 0xFF, which that format requires.
constexpr int NativePixelFormat = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB;

// A decode buffer this large is not kept for the next picture.
constexpr size_t MaxKeptScratch = size_t{4} << 20;

// Pixel buffers of the panel pictures, taken back once the window thread has let
// go of a picture: a fresh 430 KiB buffer per frame costs page faults each time.
class PictureBuffers : public std::enable_shared_from_this<PictureBuffers> {
public:
    // One worker's pool; it lives on while any of its pictures does.
    static PictureBuffers& forThisThread() {
        thread_local std::shared_ptr<PictureBuffers> pool = std::make_shared<PictureBuffers>();
        return *pool;
    }

    std::unique_ptr<uint8_t[]> take(size_t bytes) {
        {
            std::lock_guard l(m_);
            if (bytes != size_) {
                free_.clear();
                size_ = bytes;
            } else if (!free_.empty()) {
                auto b = std::move(free_.back());
                free_.pop_back();
                return b;
            }
        }
        return std::make_unique_for_overwrite<uint8_t[]>(bytes);
    }

    // A picture over the buffer; the buffer comes back here when its last copy goes.
    QImage wrap(std::unique_ptr<uint8_t[]> buffer, size_t bytes, int w, int h, qsizetype pitch) {
        auto back = std::make_unique<Return>(Return{shared_from_this(), buffer.get(), bytes});
        QImage img(buffer.get(), w, h, pitch, QImage::Format_RGB32, &PictureBuffers::returned, back.get());
        if (img.isNull()) return img; // buffer and back are freed here
        buffer.release();
        back.release();
        return img;
    }

    // The worker's buffer for a picture decoded at a size other than the
    // panel's, before it is resized (only the pool's own worker uses it).
    uint8_t* scratch(size_t bytes) {
        if (bytes > scratchSize_) {
            scratch_ = std::make_unique_for_overwrite<uint8_t[]>(bytes);
            scratchSize_ = bytes;
        }
        return scratch_.get();
    }
    void trimScratch() {
        if (scratchSize_ > MaxKeptScratch) {
            scratch_.reset();
            scratchSize_ = 0;
        }
    }

private:
    struct Return {
        std::shared_ptr<PictureBuffers> pool;
        uint8_t* data;
        size_t size;
    };
    static void returned(void* info) {
        std::unique_ptr<Return> r(static_cast<Return*>(info));
        std::unique_ptr<uint8_t[]> buffer(r->data);
        std::lock_guard l(r->pool->m_);
        if (r->size == r->pool->size_ && r->pool->free_.size() < 4)
            r->pool->free_.push_back(std::move(buffer));
    }

    std::mutex m_;
    size_t size_ = 0;
    std::vector<std::unique_ptr<uint8_t[]>> free_;
    std::unique_ptr<uint8_t[]> scratch_;
    size_t scratchSize_ = 0;
};

// Decodes at the DCT scale into scratch and resizes into dst (panel x 4 bytes a
// pixel): bilinear where that keeps the quality, an averaging scale otherwise.
bool decodeAndResize(video::JpegDecoder& decoder, const uint8_t* data, size_t size, video::PictureSize scaled,
                     video::PictureSize panel, uint8_t* dst, PictureBuffers& pool) {
    const int pitch = scaled.width * 4;
    uint8_t* scratch = pool.scratch(static_cast<size_t>(pitch) * static_cast<size_t>(scaled.height));
    bool done = decoder.decode(data, size, scratch, scaled, pitch, NativePixelFormat);
    if (done && !video::resizeBilinear(scratch, scaled, pitch, dst, panel, panel.width * 4)) {
        const QImage from(scratch, scaled.width, scaled.height, pitch, QImage::Format_RGB32);
        const QImage to =
            from.scaled(panel.width, panel.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_RGB32);
        done = to.size() == QSize(panel.width, panel.height);
        for (int y = 0; done && y < panel.height; ++y)
            std::memcpy(dst + static_cast<ptrdiff_t>(y) * panel.width * 4, to.constScanLine(y),
                        static_cast<size_t>(panel.width) * 4);
    }
    pool.trimScratch();
    return done;
}

} // namespace

void TMJPEG::Start(const std::shared_ptr<TMJPEG>& self) {
    std::thread([self] {
        platform::setCurrentThreadIdle();
        self->Run();
    }).detach();
}

std::string TMJPEG::HTTPDotaz() const {
    std::string q = "GET /video.mjpg HTTP/1.1\r\nUser-Agent: 1\r\nHost: " + DestinationAdr + "\r\n";
    if (!Password.empty()) q += "Authorization: Basic " + Password + "\r\n";
    return q;
}

void TMJPEG::BeginRecording() {
    std::lock_guard l(RecordLock);
    // Fresh slots: what an earlier recording left is given back, not kept.
    AVICollection = TAVICollection{};
    AVICollection.AVIStream.resize(TAVICollection::Capacity);
    AVIFull = false;
    AVIRecord = true;
}

std::optional<TAVICollection> TMJPEG::EndRecording() {
    std::lock_guard l(RecordLock);
    if (!AVIRecord || AVICollection.Count <= 0) return std::nullopt;
    AVIRecord = false;
    TAVICollection out;
    out.Count = AVICollection.Count;
    out.AVIStream = std::move(AVICollection.AVIStream);
    out.AVIStream.resize(static_cast<size_t>(out.Count));
    out.IsSample = std::move(AVICollection.IsSample);
    out.IsSample.resize(static_cast<size_t>(out.Count));
    AVICollection = TAVICollection{};
    AVICollection.AVIStream.resize(TAVICollection::Capacity);
    return out;
}

bool TMJPEG::IsRecording() {
    std::lock_guard l(RecordLock);
    return AVIRecord;
}

int TMJPEG::RecordedCount() {
    std::lock_guard l(RecordLock);
    return AVICollection.Count;
}

bool TMJPEG::DecodePicture(video::JpegDecoder& decoder, const uint8_t* data, size_t size, QImage& out) {
    const auto full = decoder.header(data, size);
    if (!full) return false;
    const video::PictureSize panel{PanelWidth, PanelHeight};
    const video::PictureSize s = video::JpegDecoder::scaledCovering(*full, panel);
    constexpr qsizetype pitch = qsizetype{PanelWidth} * 4;
    constexpr size_t bytes = size_t{pitch} * PanelHeight;
    PictureBuffers& pool = PictureBuffers::forThisThread();
    auto buffer = pool.take(bytes);
    const bool decoded =
        s == panel ? decoder.decode(data, size, buffer.get(), s, static_cast<int>(pitch), NativePixelFormat)
                   : decodeAndResize(decoder, data, size, s, panel, buffer.get(), pool);
    if (!decoded) return false;
    QImage img = pool.wrap(std::move(buffer), bytes, PanelWidth, PanelHeight, pitch);
    if (img.isNull()) return false;
    out = std::move(img);
    return true;
}

void TMJPEG::log(const std::string& text) {
    if (!LogEvent || KonecMJPEG) return;
    if (!Receiver) {
        LogEvent(text);
        return;
    }
    Receiver.postAndWait(
        [self = shared_from_this(), text] {
            if (!self->KonecMJPEG) self->LogEvent(text);
        },
        KonecMJPEG);
}

void TMJPEG::report(const std::string& state, bool waitTaken) {
    if (!StateChanged) return;
    if (!Receiver) {
        StateChanged(state);
        return;
    }
    if (waitTaken)
        Receiver.postAndWait([sink = StateChanged, state] { sink(state); }, KonecMJPEG);
    else
        Receiver.post([sink = StateChanged, state] { sink(state); });
}

bool TMJPEG::deliverPicture(const QImage& picture, const JpegBytes& jpeg) {
    if (!PVideoImage) return true;
    if (!Receiver) {
        try {
            PVideoImage(picture, jpeg);
            return true;
        } catch (...) {
            return false;
        }
    }
    auto failed = std::make_shared<std::atomic<bool>>(false);
    Receiver.postAndWait(
        [self = shared_from_this(), picture, jpeg, failed] {
            if (self->KonecMJPEG) return;
            try {
                self->PVideoImage(picture, jpeg);
            } catch (...) {
                *failed = true;
            }
        },
        KonecMJPEG);
    return !*failed;
}

void TMJPEG::sleepUnlessStopped(int steps, int stepMs) {
    for (int i = 0; i < steps && !KonecMJPEG; ++i)
        sleepMs(stepMs);
}

long TMJPEG::receive(int fd, uint8_t* buffer) {
    // The silence is waited for in short slices so that a stop is noticed soon.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timings.silenceMs);
    while (!KonecMJPEG) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) return 0;
        const int r = platform::waitReadable(fd, static_cast<int>(std::min<long long>(left, 100)));
        if (r < 0) return 0;
        if (r == 0) continue;
        ssize_t n;
        do {
            n = ::recv(fd, buffer, ReceiveSize, 0);
        } while (n < 0 && errno == EINTR);
        // A connection closed (or reset) by the door phone counts as no data.
        return n > 0 ? static_cast<long>(n) : 0;
    }
    return -1;
}

void TMJPEG::handlePicture(video::MjpegEvent& event, video::JpegDecoder& decoder,
                           std::chrono::steady_clock::time_point received) {
    QImage picture;
    const bool decoded = DecodePicture(decoder, event.picture.data(), event.picture.size(), picture);
    auto jpeg = std::make_shared<const std::vector<uint8_t>>(std::move(event.picture));
    if (!decoded) {
        log("MJPEG: POINT J except JPEGImage.LoadFromStream(JPEGStream)");
        return;
    }
    if (FrameReceived) FrameReceived(jpeg, received);
    if (!deliverPicture(picture, jpeg)) {
        log("MJPEG: POINT J except JPEGImage.LoadFromStream(JPEGStream)");
        return;
    }
    if (KonecMJPEG) return;
    if (jpeg->size() <= TAVICollection::SlotBytes) {
        bool first = false;
        {
            std::lock_guard l(RecordLock);
            first = appendRecordedFrame(AVICollection, AVIRecord, AVIFull, jpeg->data(), jpeg->size()) &&
                    AVICollection.Count == 1;
        }
        if (first) log(FirstFrameLine);
        return;
    }
    // Larger than the sample it becomes: keep the sample, so that a device
    // sending huge pictures cannot make a recording hold gigabytes.
    {
        std::lock_guard l(RecordLock);
        if (!AVIRecord || AVIFull) return;
    }
    std::vector<uint8_t> sample, scratch;
    bool made = false;
    try {
        made = video::jpegToAviFrame(decoder, jpeg->data(), jpeg->size(), sample, scratch);
    } catch (const std::bad_alloc&) {
        made = false;
    }
    bool first = false;
    {
        std::lock_guard l(RecordLock);
        if (made)
            first =
                appendRecordedFrame(AVICollection, AVIRecord, AVIFull, sample.data(), sample.size(), true);
        else // keeps its place; the recorder reports it and repeats the picture before it
            first = appendRecordedFrame(AVICollection, AVIRecord, AVIFull, nullptr, 0);
        first = first && AVICollection.Count == 1;
    }
    if (first) log(FirstFrameLine);
}

void TMJPEG::handleChunk(const uint8_t* data, size_t size, video::MjpegParser& parser,
                         video::JpegDecoder& decoder, std::chrono::steady_clock::time_point received) {
    const size_t textLen = serverErrorTextLength(data, size);
    if (textLen != std::string::npos) {
        log("MJPEG: ERROR HTTP: " + std::string(reinterpret_cast<const char*>(data), textLen));
        sleepUnlessStopped(timings.serverErrorSteps, timings.serverErrorStepMs);
        return;
    }
    for (video::MjpegEvent& e : parser.feed(data, size)) {
        if (KonecMJPEG) break;
        if (e.kind == video::MjpegEvent::Kind::Log)
            log(e.text);
        else
            handlePicture(e, decoder, received);
    }
}

void TMJPEG::Run() {
    // KonecMJPEG is not cleared here: a stop asked for before the thread got
    // going must still be honoured.
    log("MJPEG: start thread");
    bool slotsMade = true;
    {
        std::lock_guard l(RecordLock);
        try {
            AVICollection.AVIStream.resize(TAVICollection::Capacity);
        } catch (...) {
            slotsMade = false;
        }
    }
    if (!slotsMade) log("AVI: error to create AVICollection");

    video::MjpegParser parser;
    video::JpegDecoder decoder;
    std::vector<uint8_t> buffer(ReceiveSize);
    int Chyba_spojeni = 0; // consecutive silences; a reconnection does not reset it

    while (!KonecMJPEG) {
        int fd = platform::tcpConnect(DestinationAdr, VideoPort, timings.connectTimeoutMs);
        if (fd < 0) {
            log("MJPEG: ERROR Can not connect TCPClient to " + DestinationAdr);
            KonecMJPEG = true;
            break;
        }
        const std::string request = HTTPDotaz() + "\r\n";
        if (platform::sendAll(fd, request.data(), request.size())) {
            log("MJPEG: send question GET, Result= OK");
        } else {
            log("MJPEG: send question GET, Result= Error");
            platform::closeSocket(fd);
        }
        report("1", true);
        parser.reset();

        while (fd >= 0 && !KonecMJPEG) {
            const long got = receive(fd, buffer.data());
            if (got < 0 || KonecMJPEG) break;
            if (got == 0) {
                if (Chyba_spojeni != 0) {
                    platform::closeSocket(fd);
                    Chyba_spojeni = 0;
                    log("MJPEG: not answer, terminating thread.");
                    KonecMJPEG = true;
                    break;
                }
                // Asked again on the same connection; the parser keeps its place.
                if (platform::sendAll(fd, request.data(), request.size())) {
                    log("MJPEG: repeat question GET, Result= OK");
                } else {
                    log("MJPEG: repeat question GET, Result= Error");
                    platform::closeSocket(fd);
                }
                ++Chyba_spojeni;
                continue;
            }
            Chyba_spojeni = 0;
            handleChunk(buffer.data(), static_cast<size_t>(got), parser, decoder,
                        std::chrono::steady_clock::now());
        }
        platform::closeSocket(fd);
    }

    {
        std::lock_guard l(RecordLock);
        AVICollection = TAVICollection{};
    }
    sleepMs(timings.endPauseMs);
    report("0", false);
}
