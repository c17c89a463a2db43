#include "doorphone/GuardPanel.h"

#include "common/SystemUtils.h"
#include "doorphone/DoorPhoneRequests.h"
#include "doorphone/EventInterpreter.h"
#include "doorphone/events_thread.h"
#include "doorphone/ping_thread.h"
#include "platform/Folders.h"
#include "video/AVI_do.h"
#include "video/MjpegParser.h"
#include "video/video.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QThread>

namespace {

constexpr int BitPing = 1;
constexpr int BitEvents = 2;
constexpr int BitVideo = 3;

constexpr const char* PlaceholderPicture = "camera_not present.png";

void loadSilently(QLabel* label, const char* file) {
    QPixmap pm;
    if (pm.load(QString::fromLatin1(file))) label->setPixmap(pm);
}

void loadButtonSilently(ImageButton* b, const char* file) {
    b->LoadPicture(file);
}

} // namespace

TGetStrProc& GuardPanelLogEvent() {
    static TGetStrProc sink;
    return sink;
}

TGuardPanel::TGuardPanel(QWidget* owner, PanelTimings timings) : QFrame(owner), timings_(timings) {
    resize(386, 350);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    setPalette(pal);

    CameraImage = new CameraPicture(this);
    CameraImage->setGeometry(40, 0, 384, 288);
    CameraImage->setScaledContents(true);
    if (QPixmap pm; pm.load(QString::fromLatin1(PlaceholderPicture))) CameraImage->ShowStill(pm);

    ButtonPanel = new QWidget(this);
    ButtonPanel->setGeometry(0, height() - 62, width(), 62);
    ButtonPanelImage = new QLabel(ButtonPanel);
    ButtonPanelImage->setGeometry(0, 0, ButtonPanel->width(), 62);
    ButtonPanelImage->setScaledContents(true);
    loadSilently(ButtonPanelImage, "pozadi_male.png");

    GuardNameLabel = new CaptionLabel(this);
    GuardNameLabel->move(44, 10);
    // The caption is the name the device reports: shown letter for letter,
    // never read as markup (which could load files or show a link).
    GuardNameLabel->setTextFormat(Qt::PlainText);

    auto makeButton = [this](int left, int w, const char* picture, const char* action) {
        auto* b = new ImageButton(ButtonPanel);
        b->setGeometry(left, 20, w, 41);
        loadButtonSilently(b, picture);
        b->SetActionName(QString::fromLatin1(action));
        return b;
    };
    VratnikButton = makeButton(24, 85, "button_Q7M_male.png", "Door phone");
    CameraButton = makeButton(110, 62, "button_fotak_maly.png", "Snapshot");
    IncomingCallButton = makeButton(174, 82, "button_telefon_maly.png", "Call");
    Lock1Button = makeButton(262, 90, "button_zamek1_maly.png", "Open lock 1");
    Lock2Button = makeButton(350, 90, "button_zamek2_maly.png", "Open lock 2");
    CameraImage->setAccessibleName("Camera picture");
    ButtonPanel->setAccessibleName("Buttons");
    // Names by which the window's translation finds the panel's parts; the
    // caption is the device's own name and never translated.
    VratnikButton->setObjectName("VratnikButton");
    CameraButton->setObjectName("CameraButton");
    IncomingCallButton->setObjectName("IncomingCallButton");
    Lock1Button->setObjectName("Lock1Button");
    Lock2Button->setObjectName("Lock2Button");
    GuardNameLabel->setObjectName("GuardNameLabel");
    GuardNameLabel->setProperty("lingoUserText", true);
    // A press anywhere on the panel belongs to the panel: it must not reach the
    // window behind it, where a press starts a window move.
    setAttribute(Qt::WA_NoMousePropagation);

    connect(IncomingCallButton, &ImageButton::clicked, this, [this] { CallButtonClick(IncomingCallButton); });
    connect(Lock1Button, &ImageButton::clicked, this, [this] { Lock1ButtonClick(Lock1Button); });
    connect(Lock2Button, &ImageButton::clicked, this, [this] { Lock2ButtonClick(Lock2Button); });
    connect(CameraButton, &ImageButton::pressed, this, [this](Qt::MouseButton) {
        if (!CameraButton->LoadPicture("button_fotak_maly_foti.png"))
            PanelLog("ERROR: button_fotak_maly_foti.png not found ");
    });
    connect(CameraButton, &ImageButton::released, this, [this](Qt::MouseButton) {
        waitMs(timings_.cameraReleaseWaitMs);
        if (!CameraButton->LoadPicture("button_fotak_maly.png"))
            PanelLog("ERROR: button_fotak_maly.png not found ");
    });
    connect(CameraButton, &ImageButton::clicked, this, [this] { CameraImageClick(CameraButton); });

    CheckStateTimer = new QTimer(this);
    CheckStateTimer->setInterval(timings_.stateTimerMs);
    connect(CheckStateTimer, &QTimer::timeout, this, [this] { CheckStateTimerTimer(); });
    CheckStateTimer->start();
}

TGuardPanel::~TGuardPanel() {
    handOverRecording();
    CheckStateTimer->stop();
    // Channels still running must never call into a destroyed panel: ask them
    // to stop; their queued calls to this object die with it.
    if (PingThread) PingThread->endThread = true;
    EndEventsThread();
    EndVideoThread();
}

void TGuardPanel::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    ButtonPanel->setGeometry(0, height() - 62, width(), 62);
    ButtonPanelImage->setGeometry(0, 0, width(), 62);
}

void TGuardPanel::waitMs(int ms) {
    if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
}

void TGuardPanel::PanelLog(const std::string& text) {
    const TGetStrProc& sink = GuardPanelLogEvent();
    if (sink) sink(FFGuardName + ": " + text);
}

void TGuardPanel::SetGuardIP(const std::string& v) {
    FFGuardIP = v;
    PanelLog("IP Changed to:" + v);
}

void TGuardPanel::SetGuardPort(const std::string& v) {
    FFGuardPort = v;
    PanelLog("Port Changed to:" + v);
}

void TGuardPanel::SetGuardPassword(const std::string& v) {
    FFGuardPassword = v;
    // The log is e-mailed: never write the credential itself.
    PanelLog(std::string("Password Changed to:") + (v.empty() ? "" : "********"));
}

void TGuardPanel::SetGuardCaption(const std::string& v) {
    FFGuardCaption = v;
    GuardNameLabel->setText(QString::fromStdString(" " + v + " "));
    QFont f = GuardNameLabel->font();
    f.setPixelSize(20);
    f.setBold(true);
    GuardNameLabel->setFont(f);
    QPalette pal = GuardNameLabel->palette();
    pal.setColor(QPalette::WindowText, QColor(255, 34, 34));
    GuardNameLabel->setPalette(pal);
    GuardNameLabel->setAttribute(Qt::WA_TranslucentBackground);
    GuardNameLabel->setAutoFillBackground(false);
    GuardNameLabel->setVisible(true);
    GuardNameLabel->setEnabled(true);
    GuardNameLabel->adjustSize();
    GuardNameLabel->raise();
}

void TGuardPanel::SetBringVideo(bool v) {
    FFBringVideo = v;
    EndVideoThread();
    if (v) ResponseToNewState();
    PanelLog(std::string("bring video changed to ") + (FFBringVideo ? "1" : "0"));
}

// --- state folding -------------------------------------------------------

void TGuardPanel::foldReport(int bit, const std::string& report) {
    GlobalDeviceState = report == "0" ? ClearBit(GlobalDeviceState, bit) : SetBit(GlobalDeviceState, bit);
}

int ChannelRetryWaitMs(int failures, const PanelTimings& t) {
    if (failures <= 1) return 0;
    long long wait = t.retryFirstMs;
    for (int i = 2; i < failures && wait < t.retryMaxMs; ++i)
        wait *= 2;
    return static_cast<int>(std::min<long long>(wait, t.retryMaxMs));
}

void TGuardPanel::PingStateChanged(const std::string& report, uint64_t channel, const std::string& ip) {
    // A report of a monitor this panel no longer holds must not touch the bits
    // its successor has set.
    const bool wasAway = !TestBit(GlobalDeviceState, BitPing);
    if (channel == pingChannel_) foldReport(BitPing, report);
    PanelLog("PING: ping state to IP" + ip + " changed to :" + report);
    // The device was away: whatever it did meanwhile (a reboot, a power cut),
    // connections opened before are likely dead without either end knowing.
    // New ones are opened by the next tick, as both bits are clear now.
    if (channel == pingChannel_ && wasAway && report != "0" && (EventsThread || VideoThread)) {
        PanelLog("PING: door phone answers again, opening its channels anew");
        EndEventsThread();
        EndVideoThread();
    }
}

void TGuardPanel::EventsStateChanged(const std::string& report, uint64_t channel) {
    if (channel == eventsChannel_) channelReport(BitEvents, eventsRetry_, report);
    PanelLog("EVENTS: Events thread state changed to:" + report);
}

void TGuardPanel::VideoStateChanged(const std::string& report, uint64_t channel) {
    if (channel == videoChannel_) channelReport(BitVideo, videoRetry_, report);
    PanelLog("VIDEO: Video thread state changed to:" + report);
}

void TGuardPanel::channelReport(int bit, ChannelRetry& retry, const std::string& report) {
    foldReport(bit, report);
    const auto now = std::chrono::steady_clock::now();
    if (report != "0") {
        retry.up = true;
        retry.upSince = now;
        return;
    }
    // The state timer reacts only to changes of the bits: a channel that never
    // came up, or came up and ended within one tick, leaves them as they were
    // and would never be opened again. So every end of the current channel
    // schedules its successor here.
    if (retry.up && now - retry.upSince >= std::chrono::milliseconds(timings_.channelStableMs))
        retry.failures = 0;
    retry.up = false;
    // While the device is away its return opens the channels; that is no
    // failure of the channel.
    if (!TestBit(GlobalDeviceState, BitPing)) return;
    ++retry.failures;
    scheduleRetry(bit, retry, bit == BitEvents ? eventsChannel_ : videoChannel_);
}

void TGuardPanel::scheduleRetry(int bit, ChannelRetry& retry, uint64_t channel) {
    const int wait = ChannelRetryWaitMs(retry.failures, timings_);
    if (wait != retry.loggedWaitMs) {
        // Only a change of the wait is logged: a device whose web server is
        // down must not fill the log with a line per attempt.
        retry.loggedWaitMs = wait;
        const std::string when = wait == 0          ? "at once"
                                 : wait % 1000 == 0 ? "in " + std::to_string(wait / 1000) + " s"
                                                    : "in " + std::to_string(wait) + " ms";
        PanelLog(std::string(bit == BitEvents ? "EVENTS: events" : "VIDEO: video") +
                 " channel ended, trying again " + when);
    }
    if (!retry.timer) {
        retry.timer = new QTimer(this);
        retry.timer->setSingleShot(true);
        connect(retry.timer, &QTimer::timeout, this, [this, bit] {
            retryNow(bit, bit == BitEvents ? eventsRetry_.channel : videoRetry_.channel);
        });
    }
    retry.channel = channel;
    retry.timer->start(wait);
}

void TGuardPanel::retryNow(int bit, uint64_t channel) {
    // Nothing to do when the device is away (its return opens the channels) or
    // the ended channel has been replaced or stopped meanwhile.
    if (!FFGuardEnabled || !TestBit(GlobalDeviceState, BitPing) || TestBit(GlobalDeviceState, bit)) return;
    if (bit == BitEvents && channel == eventsChannel_)
        StartEventsThread();
    else if (bit == BitVideo && channel == videoChannel_ && FFBringVideo)
        StartVideoThread();
}

bool TGuardPanel::retryPending(const ChannelRetry& retry, uint64_t current) const {
    return retry.timer && retry.timer->isActive() && retry.channel == current;
}

void TGuardPanel::CheckStateTimerTimer() {
    CheckStateTimer->stop();
    if (GlobalDeviceState != lastGlobalDeviceState) {
        lastGlobalDeviceState = GlobalDeviceState;
        ResponseToNewState();
    }
    CheckStateTimer->start();
}

void TGuardPanel::ResponseToNewState() {
    if (!FFGuardEnabled) return;
    try {
        // A channel whose successor waits for its turn (see scheduleRetry) is left to that.
        if (TestBit(GlobalDeviceState, BitPing)) {
            if (!TestBit(GlobalDeviceState, BitEvents) && !retryPending(eventsRetry_, eventsChannel_))
                StartEventsThread();
            if (!TestBit(GlobalDeviceState, BitVideo) && FFBringVideo &&
                !retryPending(videoRetry_, videoChannel_))
                StartVideoThread();
        }
        ChangeVisibilityButtons(TestBit(GlobalDeviceState, BitPing), 1);
        ChangeVisibilityButtons(TestBit(GlobalDeviceState, BitEvents), 2);
        ChangeVisibilityButtons(TestBit(GlobalDeviceState, BitVideo), 3);
    } catch (...) {
        PanelLog("eror 4678: TForm1.ResponseToNewState");
    }
}

void TGuardPanel::ChangeVisibilityButtons(bool state, uint16_t group) {
    switch (group) {
    case 1:
        VratnikButton->setVisible(state);
        IncomingCallButton->setVisible(state);
        break;
    case 2:
        Lock1Button->setVisible(state);
        Lock2Button->setVisible(state);
        break;
    case 3:
        if (!state) showPlaceholder();
        CameraButton->setVisible(state);
        break;
    default:
        break;
    }
}

void TGuardPanel::showPlaceholder() {
    // Outside construction a picture that cannot be loaded is an error of the
    // operation that loads it: it stops there and logs its own error line,
    // and the camera keeps what it showed.
    QPixmap pm;
    if (!pm.load(QString::fromLatin1(PlaceholderPicture)))
        throw std::runtime_error(std::string(PlaceholderPicture) + " not found");
    CameraImage->ShowStill(pm);
    lastPicture_.reset();
}

const std::vector<uint8_t>& TGuardPanel::LastPictureBytes() const {
    static const std::vector<uint8_t> none;
    return lastPicture_ ? *lastPicture_ : none;
}

// --- channels -------------------------------------------------------------

void TGuardPanel::Restart() {
    EndVideoThread();
    EndEventsThread();
    EndPingThread();
    waitMs(timings_.channelStopWaitMs);
    // New settings, or a new start: channel attempts begin afresh.
    eventsRetry_.failures = videoRetry_.failures = 0;
    SetGuardCaption("");
    if (FFGuardEnabled) StartPingThread();
}

void TGuardPanel::StartVideo() {
    if (FFGuardEnabled && TestBit(GlobalDeviceState, BitPing) && !TestBit(GlobalDeviceState, BitVideo) &&
        FFBringVideo)
        StartVideoThread();
}

void TGuardPanel::StopVideo() {
    EndVideoThread();
}

void TGuardPanel::StartPingThread() {
    try {
        if (PingThread) {
            PingThread->endThread = true;
            waitMs(timings_.channelStopWaitMs);
            GlobalDeviceState = ClearBit(GlobalDeviceState, BitPing);
        }
        auto t = std::make_shared<TPingThread>();
        t->iP = FFGuardIP.substr(0, 255);
        if (PingEchoOverride) t->echo = PingEchoOverride;
        t->timings = timings_.ping;
        const uint64_t id = ++nextChannel_;
        const std::string ip = t->iP;
        // Sinks run on the window thread only, posted through Receiver, which
        // drops them once this panel is gone.
        t->Receiver = this;
        t->StateChangedEvent = [this, id, ip](const std::string& report) {
            PingStateChanged(report, id, ip);
        };
        TPingThread::Start(t);
        PingThread = std::move(t);
        pingChannel_ = id;
    } catch (...) {
        PanelLog("error 6924: TForm1.startPingthread ");
    }
}

void TGuardPanel::EndPingThread() {
    if (!PingThread) return;
    PingThread->endThread = true;
    waitMs(timings_.channelStopWaitMs);
    PingThread.reset();
    pingChannel_ = 0;
    GlobalDeviceState = ClearBit(GlobalDeviceState, BitPing);
}

void TGuardPanel::StartEventsThread() {
    try {
        if (EventsThread) {
            EventsThread->Stop();
            waitMs(timings_.channelStopWaitMs);
            GlobalDeviceState = ClearBit(GlobalDeviceState, BitEvents);
        }
        auto t = std::make_shared<TEventsThread>();
        t->iP = FFGuardIP.substr(0, 255);
        t->Password = FFGuardPassword;
        t->port = FFGuardPort.substr(0, 255);
        t->timings = timings_.events;
        const uint64_t id = ++nextChannel_;
        t->Receiver = this;
        t->LogEvent = [this](const std::string& text) { ThreadLog(text); };
        t->IncomingEvents = [this, id](const std::string& chunk) {
            if (id == eventsChannel_) EventsMessage(chunk);
        };
        t->StateChangedEvent = [this, id](const std::string& report) { EventsStateChanged(report, id); };
        eventsRetry_.up = false;
        eventsChannel_ = id;
        EventsThread = t;
        TEventsThread::Start(t);
    } catch (...) {
        PanelLog("error 6929: TForm1.StartEventsThread ");
    }
}

void TGuardPanel::EndEventsThread() {
    if (!EventsThread) return;
    try {
        EventsThread->Stop();
        waitMs(timings_.eventsStopWaitMs);
        EventsThread.reset();
        eventsChannel_ = 0;
        // The stopped channel's own last "0" is not heeded (it may come after a
        // successor's "1"), so its bit is cleared here.
        GlobalDeviceState = ClearBit(GlobalDeviceState, BitEvents);
    } catch (...) {
        PanelLog("warning 5434: TGuardPanel.EndEventsThread");
    }
}

void TGuardPanel::StartVideoThread() {
    try {
        if (VideoThread) {
            handOverRecording();
            VideoThread->KonecMJPEG = true;
            waitMs(timings_.channelStopWaitMs);
            GlobalDeviceState = ClearBit(GlobalDeviceState, BitVideo);
        }
        auto t = std::make_shared<TMJPEG>();
        t->DestinationAdr = FFGuardIP.substr(0, 255);
        t->Password = FFGuardPassword;
        t->VideoPort = FFGuardPort.substr(0, 255);
        t->AVIRecord = false;
        t->AVIFull = false;
        const uint64_t id = ++nextChannel_;
        t->Receiver = this;
        t->LogEvent = [this](const std::string& text) { ThreadLog(text); };
        t->StateChanged = [this, id](const std::string& report) { VideoStateChanged(report, id); };
        t->PVideoImage = [this, id](const QImage& picture, const TMJPEG::JpegBytes& jpeg) {
            if (id == videoChannel_) showPicture(picture, jpeg);
        };
        if (VideoFrameHook) t->FrameReceived = VideoFrameHook;
        videoRetry_.up = false;
        videoChannel_ = id;
        VideoThread = t;
        TMJPEG::Start(t);
    } catch (...) {
        PanelLog("error 4276: TForm1.StartVideaButtonClick. ");
    }
}

void TGuardPanel::EndVideoThread() {
    handOverRecording();
    if (!VideoThread) return;
    try {
        VideoThread->KonecMJPEG = true;
        waitMs(timings_.channelStopWaitMs);
        VideoThread.reset();
        videoChannel_ = 0;
        GlobalDeviceState = ClearBit(GlobalDeviceState, BitVideo);
    } catch (...) {
        PanelLog("warning 5433: TGuardPanel.EndVideoThread");
    }
}

void TGuardPanel::showPicture(const QImage& picture,
                              const std::shared_ptr<const std::vector<uint8_t>>& jpeg) {
    if (PictureShown) PictureShown(jpeg);
    CameraImage->ShowLive(picture);
    lastPicture_ = jpeg;
}

// --- events ------------------------------------------------------------------

void TGuardPanel::EventsMessage(const std::string& chunk) {
    doorphone::DoorState st;
    st.sensor1_enable = sensor1_enable;
    st.sensor2_enable = sensor2_enable;
    st.door1open = door1open;
    st.door2open = door2open;
    st.OutCallInProcess = OutCallInProcess;
    st.InCallInProcess = InCallInProcess;
    // The interpreter updates the state only as its steps succeed; the panel
    // takes it over once the chunk is done (no effect reads these fields).
    doorphone::interpretChunk(
        chunk, st, [this](const doorphone::EventEffect& e) { return applyEffect(e); }, PathExeFile);
    sensor1_enable = st.sensor1_enable;
    sensor2_enable = st.sensor2_enable;
    door1open = st.door1open;
    door2open = st.door2open;
    OutCallInProcess = st.OutCallInProcess;
    InCallInProcess = st.InCallInProcess;
}

ImageButton* TGuardPanel::buttonOf(doorphone::Button b) const {
    switch (b) {
    case doorphone::Button::Vratnik:
        return VratnikButton;
    case doorphone::Button::Camera:
        return CameraButton;
    case doorphone::Button::IncomingCall:
        return IncomingCallButton;
    case doorphone::Button::Lock1:
        return Lock1Button;
    case doorphone::Button::Lock2:
        return Lock2Button;
    }
    return nullptr;
}

bool TGuardPanel::applyEffect(const doorphone::EventEffect& e) {
    using K = doorphone::EventEffect::Kind;
    switch (e.kind) {
    case K::SetPicture:
        return buttonOf(e.button)->LoadPicture(e.text);
    case K::SetCaption:
        SetGuardCaption(e.text);
        return true;
    case K::SetSIPNumber:
        SIPNumber = e.text.substr(0, 255);
        return true;
    case K::SetTimeBeforeCall:
        TimeBeforeCall = e.value;
        return true;
    case K::PlaySound:
        PlayWav(e.text, false);
        return true;
    case K::StopSound:
        StopWav();
        return true;
    case K::PopUpActive:
        PopUpActive(this);
        return true;
    case K::PopUpDeActive:
        PopUpDeActive(this);
        return true;
    case K::Snapshot:
        if (FFJPGEnable) CameraImageClick(this);
        return true;
    case K::AVIRecordStart:
        if (FFAVIEnable) AVIRecordStart();
        return true;
    case K::AVIRecordStop:
        AVIRecordStop();
        return true;
    case K::Log:
        PanelLog(e.text);
        return true;
    }
    return true;
}

// --- snapshots and recordings -------------------------------------------------

void TGuardPanel::CameraImageClick(QObject*) {
    const std::string stamp = QDateTime::currentDateTime().toString("yyyy-MM-dd hh-mm-ss").toStdString();
    std::string folder = FFJPGDirectory;
    for (char& c : folder)
        if (c == '\\') c = '/';
    // The caption comes from the device: it must not lead out of the folder,
    // and a long one is shortened so that the file name stays within its limit.
    const std::string tail = "_" + stamp + ".JPG";
    const std::string caption =
        TAVICreator::FitName(TAVICreator::SafeFileName(GuardNameLabel->text().toStdString()), tail.size());
    std::string name = folder + "/" + caption + tail;
    try {
        std::string bytes;
        if (lastPicture_ && !lastPicture_->empty()) {
            // The JPEG as received, without the stream's part trailer.
            constexpr std::string_view trailer = video::MjpegParser::Trailer;
            bytes.assign(lastPicture_->begin(), lastPicture_->end());
            if (bytes.size() >= trailer.size() &&
                bytes.compare(bytes.size() - trailer.size(), trailer.size(), trailer) == 0)
                bytes.resize(bytes.size() - trailer.size());
        } else {
            QFile placeholder(QString::fromLatin1(PlaceholderPicture));
            if (!placeholder.open(QIODevice::ReadOnly)) throw std::runtime_error("no picture");
            bytes = placeholder.readAll().toStdString();
        }
        // Never overwrite an earlier snapshot: two within one second get "_2", "_3", ...
        int fd = -1;
        const std::string base = name;
        for (int n = 2; n < 1000; ++n) {
            fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd >= 0 || errno != EEXIST) break;
            name = TAVICreator::WithSuffix(base, n);
        }
        if (fd < 0) throw std::runtime_error("open");
        bool ok = platform::writeAll(fd, bytes.data(), bytes.size());
        ok = (::close(fd) == 0) && ok;
        if (!ok) throw std::runtime_error("write");
        if (!FFJPGEnable) PlayWav("camera1.wav", false);
        PanelLog("Save snapshot to \"" + name);
    } catch (...) {
        PanelLog("ERROR save snapshot to \"" + name);
    }
}

void TGuardPanel::AVIRecordStart() {
    if (!VideoThread) return;
    VideoThread->BeginRecording();
    PanelLog("AVI: record started");
}

void TGuardPanel::AVIRecordStop() {
    if (!FFAVIEnable || !VideoThread || !VideoThread->IsRecording() || VideoThread->RecordedCount() <= 0)
        return;
    handOverRecording();
}

void TGuardPanel::handOverRecording() {
    // Whatever stops the video (the end of a call, a minimised window, a
    // replaced client, the close), the frames recorded so far become a file.
    if (!VideoThread) return;
    std::optional<TAVICollection> frames = VideoThread->EndRecording();
    if (!frames) return;
    PanelLog("AVI: record stopped with " + std::to_string(frames->Count) + " snapshots");
    if (AVIReady) AVIReady(this, std::move(*frames), GuardNameLabel->text().toStdString());
}

// --- buttons ---------------------------------------------------------------

void TGuardPanel::CallButtonClick(QObject* sender) {
    try {
        PanelLog("OUT_CALL: outgoing call to \"" + FFGuardName + " IP " + FFGuardIP +
                 " or SIP: " + SIPNumber + "\" pressed.");
        if (OnCallButtonClick) OnCallButtonClick(sender);
    } catch (...) {
        PanelLog("error 7952: procedure CallButtonClick. ");
    }
}

void TGuardPanel::PopUpActive(QObject* sender) {
    try {
        PanelLog("PopUpActive");
        if (OnPopUpActive) OnPopUpActive(sender);
    } catch (...) {
        PanelLog("error 7953: procedure PopUpActive. ");
    }
}

void TGuardPanel::PopUpDeActive(QObject* sender) {
    try {
        PanelLog("PopUpDeActive");
        if (OnPopUpDeActive) OnPopUpDeActive(sender);
    } catch (...) {
        PanelLog("error 7954: procedure PopUpDeActive. ");
    }
}

void TGuardPanel::IncomingCall(QObject*) {
    if (!IncomingCallButton->LoadPicture("button_telefon_maly_zvoni_prichozi_hovor.png")) return;
    if (FFJPGEnable) CameraImageClick(this);
    if (FFAVIEnable) AVIRecordStart();
}

void TGuardPanel::lockClick(int relay) {
    const std::string n = std::to_string(relay);
    try {
        PanelLog("LOCK" + n + ": try to unlock. IP:" + FFGuardIP);
        SendTCPCommand(FFGuardIP, FFGuardPort, doorphone::lockRequest(relay, FFGuardPassword),
                       timings_.lockHoldMs);
        for (int i = 0; i < 5; ++i)
            waitMs(10);
    } catch (...) {
        PanelLog("error 7551: procedure TForm1.Lock" + n + "ButtonClick. ");
    }
}

void TGuardPanel::Lock1ButtonClick(QObject*) {
    lockClick(1);
}
void TGuardPanel::Lock2ButtonClick(QObject*) {
    lockClick(2);
}
