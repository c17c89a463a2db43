#pragma once
#include "platform/Dispatch.h"
// The live video of one door phone: an HTTP MJPEG client on a worker thread
// that shows each picture in the panel and keeps the frames of a recording.
#include "common/SharedTypes.h"
#include "video/AVICollection.h"
#include "video/JpegDecoder.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace video {
class MjpegParser;
struct MjpegEvent;
} // namespace video

struct VideoTimings {
    int connectTimeoutMs = 3000; // a Linux SYN retry would otherwise take two minutes
    int silenceMs = 2000;        // a wait without data this long is a silence
    int serverErrorSteps = 40;   // pause after a "Server Error" reply: steps x stepMs
    int serverErrorStepMs = 100;
    int endPauseMs = 100; // before the final "0"
};

class TMJPEG : public std::enable_shared_from_this<TMJPEG> {
public:
    using JpegBytes = std::shared_ptr<const std::vector<uint8_t>>;
    // The decoded picture and the bytes it came from (JPEG data and the
    // 15-byte trailer), which the panel keeps for snapshots.
    using PictureSink = std::function<void(const QImage& picture, const JpegBytes& jpeg)>;
    // Called on the worker thread for each picture about to be handed over, with
    // the time the receive that brought its last byte returned.
    using FrameHook =
        std::function<void(const JpegBytes& jpeg, std::chrono::steady_clock::time_point lastByte)>;

    static constexpr size_t ReceiveSize = 50001;
    // The panel's camera image; pictures are handed over at exactly this size.
    static constexpr int PanelWidth = 384;
    static constexpr int PanelHeight = 288;

    // Configuration, set before Start.
    std::string DestinationAdr; // address; also the Host header
    std::string VideoPort;      // decimal
    std::string Password;       // Basic authorization token, or empty for none
    PictureSink PVideoImage;
    TGetStrProc LogEvent;
    TGetStrProc StateChanged;    // "1" on each new connection's request, "0" once at the end
    platform::Receiver Receiver; // when set, sinks run on its thread; otherwise directly
    VideoTimings timings;
    FrameHook FrameReceived; // optional; for latency figures

    // Stop request: set by the panel, or by the client when it gives up.
    std::atomic<bool> KonecMJPEG{false};

    // Recording state, shared with the panel: touch it only under RecordLock,
    // or through the recording calls below, which take it.
    std::mutex RecordLock;
    bool AVIRecord = false;
    bool AVIFull = false;
    TAVICollection AVICollection;

    // Empties the slots, Count 0, AVIFull false, AVIRecord true.
    void BeginRecording();
    // When recording with at least one frame: AVIRecord false and the frames
    // handed over (moved, so the client may record again at once). Otherwise
    // nothing changes and nothing is returned.
    std::optional<TAVICollection> EndRecording();
    bool IsRecording();
    int RecordedCount();

    // Runs the client on a detached thread at idle priority; the thread keeps
    // the object alive until its run ends.
    static void Start(const std::shared_ptr<TMJPEG>& self);

    // Decodes one picture for the panel: at the smallest DCT scale that still
    // covers the camera image (never enlarged by DCT), then resized here to the
    // camera image's size, as QImage::Format_RGB32, so that the window thread
    // shows it as it is (no conversion or scale per paint on that thread).
    // false when it does not decode.
    static bool DecodePicture(video::JpegDecoder& decoder, const uint8_t* data, size_t size, QImage& out);

    // The request as sent, without the final empty line.
    std::string HTTPDotaz() const;

private:
    void Run();
    void log(const std::string& text);
    void report(const std::string& state, bool waitTaken);
    bool deliverPicture(const QImage& picture, const JpegBytes& jpeg);
    // Bytes received, or 0 for a silence (or a closed connection); -1 on a stop.
    long receive(int fd, uint8_t* buffer);
    void handleChunk(const uint8_t* data, size_t size, video::MjpegParser& parser,
                     video::JpegDecoder& decoder, std::chrono::steady_clock::time_point received);
    void handlePicture(video::MjpegEvent& event, video::JpegDecoder& decoder,
                       std::chrono::steady_clock::time_point received);
    void sleepUnlessStopped(int steps, int stepMs);
};
