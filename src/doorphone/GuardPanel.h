#pragma once
#include "common/ImageButton.h"
#include "common/SharedTypes.h"
#include "doorphone/CameraPicture.h"
#include "doorphone/events_thread.h"
#include "doorphone/ping_thread.h"
#include "video/AVICollection.h"

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TMJPEG;
class TGuardPanel;
namespace doorphone {
struct EventEffect;
enum class Button;
} // namespace doorphone

using TNotifyEvent = std::function<void(QObject* sender)>;
using TAVIReadyEvent =
    std::function<void(QObject* sender, TAVICollection collection, const std::string& guardName)>;

// The one log sink shared by all panels (the main window's log).
TGetStrProc& GuardPanelLogEvent();

// Waits and hold times of the panel and of the channels it starts; tests may shorten them.
struct PanelTimings {
    int stateTimerMs = 200;
    int channelStopWaitMs = 100; // after asking a ping or video channel to stop, and in Restart
    int eventsStopWaitMs = 200;  // after asking the events channel to stop
    // An events or video channel that ends while the device answers ping is
    // opened again at once; when it fails again, after retryFirstMs, then twice
    // as long each time up to retryMaxMs. A channel that stayed up for
    // channelStableMs starts the sequence afresh.
    int retryFirstMs = 1000;
    int retryMaxMs = 30000;
    int channelStableMs = 60000;
    int lockHoldMs = 500;
    int cameraReleaseWaitMs = 500;
    PingTimings ping;
    EventsTimings events;
};

// The wait before the next attempt after `failures` ends in a row (1 for the first).
int ChannelRetryWaitMs(int failures, const PanelTimings& t);

// One door phone: its name, live picture and button strip, and the three
// channels that watch it (reachability, events, video).
class TGuardPanel : public QFrame {
    Q_OBJECT
public:
    explicit TGuardPanel(QWidget* owner = nullptr, PanelTimings timings = {});
    ~TGuardPanel() override;

    // Properties.
    bool GuardEnable() const { return FFGuardEnabled; }
    void SetGuardEnable(bool v) { FFGuardEnabled = v; }
    const std::string& GuardIP() const { return FFGuardIP; }
    void SetGuardIP(const std::string& v);
    const std::string& GuardPort() const { return FFGuardPort; }
    void SetGuardPort(const std::string& v);
    const std::string& GuardName() const { return FFGuardName; }
    void SetGuardName(const std::string& v) { FFGuardName = v; }
    const std::string& GuardCaption() const { return FFGuardCaption; }
    void SetGuardCaption(const std::string& v);
    bool BringVideo() const { return FFBringVideo; }
    void SetBringVideo(bool v);
    const std::string& GuardPassword() const { return FFGuardPassword; }
    void SetGuardPassword(const std::string& v);
    bool AVIEnable() const { return FFAVIEnable; }
    void SetAVIEnable(bool v) { FFAVIEnable = v; }
    bool JPGEnable() const { return FFJPGEnable; }
    void SetJPGEnable(bool v) { FFJPGEnable = v; }
    const std::string& JPGDirectory() const { return FFJPGDirectory; }
    void SetJPGDirectory(const std::string& v) { FFJPGDirectory = v; }

    TNotifyEvent OnCallButtonClick;
    TNotifyEvent OnPopUpActive;
    TNotifyEvent OnPopUpDeActive;
    TAVIReadyEvent AVIReady;

    // Operations.
    void Restart();
    void StartVideo();
    void StopVideo();
    void ChangeVisibilityButtons(bool state, uint16_t group);
    void CallButtonClick(QObject* sender);
    void PopUpActive(QObject* sender);
    void PopUpDeActive(QObject* sender);
    void IncomingCall(QObject* sender);
    void Lock1ButtonClick(QObject* sender);
    void Lock2ButtonClick(QObject* sender);
    void CameraImageClick(QObject* sender);
    void AVIRecordStart();
    void AVIRecordStop();
    void PanelLog(const std::string& text);

    // Channel sinks (run on the window thread).
    void PingStateChanged(const std::string& report, uint64_t channel, const std::string& ip);
    void EventsStateChanged(const std::string& report, uint64_t channel);
    void VideoStateChanged(const std::string& report, uint64_t channel);
    void ThreadLog(const std::string& text) { PanelLog(text); }
    void EventsMessage(const std::string& chunk);

    // State, readable by the main window and by tests.
    uint16_t GlobalDeviceState = 0;
    uint16_t lastGlobalDeviceState = 0x8000;
    bool OutCallInProcess = false, InCallInProcess = false;
    bool sensor1_enable = false, sensor2_enable = false, door1open = false, door2open = false;
    std::string SIPNumber;
    int32_t TimeBeforeCall = 25;
    std::string PathExeFile;
    std::string CestaKonfiguracnichSouboru;

    // Child controls.
    CameraPicture* CameraImage = nullptr;
    QWidget* ButtonPanel = nullptr;
    QLabel* ButtonPanelImage = nullptr;
    ImageButton* VratnikButton = nullptr;
    ImageButton* CameraButton = nullptr;
    ImageButton* IncomingCallButton = nullptr;
    ImageButton* Lock1Button = nullptr;
    ImageButton* Lock2Button = nullptr;
    QTimer* CheckStateTimer = nullptr;
    CaptionLabel* GuardNameLabel = nullptr;

    // Channels held now (empty when none).
    std::shared_ptr<TPingThread> PingThread;
    std::shared_ptr<TEventsThread> EventsThread;
    std::shared_ptr<TMJPEG> VideoThread;

    // Tests: replace the echo used by new reachability monitors.
    std::function<bool(const std::string&, int)> PingEchoOverride;
    // Tests and benchmarks: passed to new video clients, and called when a picture is shown.
    std::function<void(const std::shared_ptr<const std::vector<uint8_t>>&,
                       std::chrono::steady_clock::time_point)>
        VideoFrameHook;
    std::function<void(const std::shared_ptr<const std::vector<uint8_t>>&)> PictureShown;
    // The last video picture as received (JPEG bytes), empty while video is down.
    const std::vector<uint8_t>& LastPictureBytes() const;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void CheckStateTimerTimer();
    void ResponseToNewState();
    void StartPingThread();
    void StartEventsThread();
    void StartVideoThread();
    void EndVideoThread();
    void EndEventsThread();
    void EndPingThread();
    // A video client about to be stopped hands its running recording over as AVIRecordStop does.
    void handOverRecording();
    // Restarts of one kind of channel (events or video) after it ended.
    struct ChannelRetry {
        QTimer* timer = nullptr; // pending attempt, made on first use
        uint64_t channel = 0;    // the ended channel the pending attempt replaces
        int failures = 0;        // ends in a row without a stable channel
        std::chrono::steady_clock::time_point upSince;
        bool up = false;
        int loggedWaitMs = -1; // the wait last written to the log
    };
    void foldReport(int bit, const std::string& report);
    void channelReport(int bit, ChannelRetry& retry, const std::string& report);
    void scheduleRetry(int bit, ChannelRetry& retry, uint64_t channel);
    void retryNow(int bit, uint64_t channel);
    bool retryPending(const ChannelRetry& retry, uint64_t current) const;
    void showPlaceholder();
    void showPicture(const QImage& picture, const std::shared_ptr<const std::vector<uint8_t>>& jpeg);
    bool applyEffect(const doorphone::EventEffect& e);
    ImageButton* buttonOf(doorphone::Button b) const;
    void waitMs(int ms);
    void lockClick(int relay);

    bool FFGuardEnabled = false;
    std::string FFGuardIP, FFGuardPort, FFGuardName = "YOX1", FFGuardPassword;
    bool FFAVIEnable = false, FFJPGEnable = false;
    std::string FFJPGDirectory;
    bool FFBringVideo = true;
    std::string FFGuardCaption;

    PanelTimings timings_;
    uint64_t nextChannel_ = 0;
    uint64_t pingChannel_ = 0, eventsChannel_ = 0, videoChannel_ = 0;
    ChannelRetry eventsRetry_, videoRetry_;
    std::shared_ptr<const std::vector<uint8_t>> lastPicture_;
};
