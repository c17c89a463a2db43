#include "app/MainForm.h"

#include "app/AppUtils.h"
#include "app/DataModule.h"
#include "app/EventLog.h"
#include "app/SettingsStore.h"
#include "doorphone/GuardPanel.h"
#include "platform/Folders.h"
#include "platform/SystemFacts.h"
#include "sip/ClientHome.h"
#include "sip/LinphoneControlComponent.h"
#include "sip/PortCheck.h"

#include "video/AVI_do.h"
#include <QMessageBox>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QIcon>
#include <QScrollBar>
#include <QThread>
#include <QWindow>
#include <unistd.h>

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setWindowTitle("VELNORA Manager 3.6");
    QFont f("Tahoma");
    f.setPixelSize(11);
    setFont(f);
    resize(917, 727);

    LogMemo = new QPlainTextEdit(this);
    LogMemo->setGeometry(464, 381, 450, 344);
    LogMemo->setReadOnly(true);
    LogMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LogMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    LogMemo->setAccessibleName("Log");

    const QRect panelRects[4] = {
        {-1, 24, 459, 351}, {459, 24, 459, 351}, {0, 375, 459, 351}, {459, 374, 459, 351}};
    for (int i = 0; i < 4; ++i) {
        auto* p = new TGuardPanel(this);
        p->setGeometry(panelRects[i]);
        p->SetGuardName("YOX" + std::to_string(i + 1));
        p->setAccessibleName("Door phone " + QString::number(i + 1));
        p->SetGuardEnable(false);
        p->SetAVIEnable(true);
        p->SetJPGEnable(false);
        p->OnPopUpActive = [this](QObject* sender) { PopUpActive(sender); };
        p->OnPopUpDeActive = [this](QObject* sender) { PopUpDeActive(sender); };
        p->AVIReady = [this](QObject* sender, TAVICollection c, const std::string& name) {
            AVIReadyEvent(sender, std::move(c), name);
        };
        p->OnCallButtonClick = [this, i](QObject*) { GuardPanelCallButtonClick(i + 1); };
        GuardPanels[static_cast<size_t>(i)] = p;
    }
    GuardPanel1 = GuardPanels[0];
    GuardPanel2 = GuardPanels[1];
    GuardPanel3 = GuardPanels[2];
    GuardPanel4 = GuardPanels[3];

    InitializeTimer = new QTimer(this);
    InitializeTimer->setInterval(1000);
    connect(InitializeTimer, &QTimer::timeout, this, [this] { InitializeTimerTimer(); });

    Panel1 = new QWidget(this);
    Panel1->setGeometry(0, 0, 917, 25);
    Panel1->setCursor(Qt::PointingHandCursor);
    Image1 = new QLabel(Panel1);
    Image1->setGeometry(-3, -1, 922, 26);
    Image1->setPixmap(QPixmap("title_bar.png"));
    Image1->installEventFilter(this);
    Tlacitka = new QLabel(Panel1);
    Tlacitka->setPixmap(QPixmap("title_buttons.png"));
    Tlacitka->setGeometry(388, 0, 70, 26);
    Tlacitka->hide();

    auto clickArea = [this](int left, int top, int w, int h) {
        auto* a = new ImageButton(Panel1, false);
        a->setGeometry(left, top, w, h);
        return a;
    };
    SettingsImage = clickArea(848, 1, 27, 25);
    MinimizeImage = clickArea(874, 1, 23, 25);
    CloseImage = clickArea(898, 1, 21, 25);
    LogImageSecretButton = clickArea(92, 3, 17, 25);
    SettingsImage->SetActionName("Settings");
    MinimizeImage->SetActionName("Minimize");
    CloseImage->SetActionName("Close");
    LogImageSecretButton->SetActionName("Show or hide the log");
    Panel1->setAccessibleName("Title bar");
    Image1->setAccessibleName("VELNORA Manager");
    connect(SettingsImage, &ImageButton::clicked, this, [this] { SettingsImageClick(); });
    connect(MinimizeImage, &ImageButton::clicked, this, [this] { MinimizeImageClick(); });
    connect(CloseImage, &ImageButton::clicked, this, [this] { CloseImageClick(); });
    connect(LogImageSecretButton, &ImageButton::clicked, this, [this] { LogImageSecretButtonClick(); });

    SIPModeLabel = new QLabel("Mode P2P", Panel1);
    SIPModeLabel->setObjectName("SIPModeLabel");
    SIPModeLabel->setGeometry(240, 4, 153, 16);
    SIPModeLabel->setAlignment(Qt::AlignCenter);
    QFont lf("Tahoma");
    lf.setPixelSize(13);
    lf.setBold(true);
    SIPModeLabel->setFont(lf);
    QPalette lp = SIPModeLabel->palette();
    lp.setColor(QPalette::WindowText, Qt::white);
    SIPModeLabel->setPalette(lp);

    SIPInitializationTimer = new QTimer(this);
    SIPInitializationTimer->setInterval(2000);
    SIPcontrolTimer = new QTimer(this);
    SIPcontrolTimer->setInterval(5000);
    PortCheck = std::make_unique<TPortCheck>();
    PortCheck->WriteLog = [](const std::string& line) { WriteToLogFile(line); };
    PortCheck->MessageBefore = LexiconItem(Lexicon::PortBlockedBefore).toStdString();
    PortCheck->MessageAfter = LexiconItem(Lexicon::PortBlockedAfter).toStdString();
    PortCheck->ShowError = [this](const std::string& text) {
        QMessageBox::critical(this, "VELNORA Manager", QString::fromStdString(text), QMessageBox::Ok);
    };
    connect(SIPcontrolTimer, &QTimer::timeout, this, [this] {
        SIPcontrolTimer->stop();
        PortCheck->Check(true);
    });
    TimeBeforeCall_Timer = new QTimer(this);
    TimeBeforeCall_Timer->setInterval(10000);
    connect(TimeBeforeCall_Timer, &QTimer::timeout, this, [this] { TimeBeforeCall_TimerTimer(); });
    TimeBeforeCall_Timer->start();
    connect(SIPInitializationTimer, &QTimer::timeout, this, [this] {
        SIPInitializationTimer->stop();
        SIPRegister();
    });

    // The SIP controller; its own start (the client, 700 ms from now) begins here.
    LinphoneControl1 = new TLinphoneControl(this);
    LinphoneControl1->OnInitializationSuccesful = [this] { LinphoneControl1InitializationSuccesful(); };
    LinphoneControl1->OnIncomingCall = [this] { LinphoneControl1IncomingCall(); };
    LinphoneControl1->OnIncomingCallAcepted = [this](const std::string& s) {
        LinphoneControl1IncomingCallAcepted(s);
    };
    LinphoneControl1->OnError = [this](const std::string& s) { LinphoneControl1Error(s); };
    LinphoneControl1->OnSIPEvent = [this](const std::string& s) { LinphoneControl1SIPEvent(s); };
    RingTimerActive = [this] { return LinphoneControl1->RingTimer->isActive(); };
    RunRingTimer = [this] { LinphoneControl1->OnRingTimer(); };

    TrayIcon = new QSystemTrayIcon(QIcon("app_icon.png"), this);
    TrayIcon->setToolTip("VELNORA Manager");
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        switch (r) {
        case QSystemTrayIcon::Trigger:
            OnIconMessage(513);
            break; // left button
        case QSystemTrayIcon::Context:
            OnIconMessage(516);
            break; // right button
        case QSystemTrayIcon::MiddleClick:
            OnIconMessage(519);
            break;
        case QSystemTrayIcon::DoubleClick:
            OnIconMessage(515);
            break;
        default:
            break;
        }
    });

    nameComponents();
    // The window as designed, recorded before its start-up changes any text.
    LingoClient1 = new TLingoClient(this, DataModule1().LingoEngine1);
    // Texts that program code shows follow the language too.
    LingoClient1->OnChangeLanguage = [this](QObject*) {
        ShowSIPMode();
        PortCheck->MessageBefore = LexiconItem(Lexicon::PortBlockedBefore).toStdString();
        PortCheck->MessageAfter = LexiconItem(Lexicon::PortBlockedAfter).toStdString();
    };
    FormCreate();
    LingoClient1->OwnerCreated();
}

void TForm2::nameComponents() {
    setObjectName("Form2");
    LogMemo->setObjectName("LogMemo");
    lingo::KeepUserText(LogMemo); // the log
    Panel1->setObjectName("Panel1");
    Image1->setObjectName("Image1");
    Tlacitka->setObjectName("Tlacitka");
    SettingsImage->setObjectName("SettingsImage");
    MinimizeImage->setObjectName("MinimizeImage");
    CloseImage->setObjectName("CloseImage");
    LogImageSecretButton->setObjectName("LogImageSecretButton");
    // The mode label shows a lexicon text chosen by the mode, never its design caption.
    lingo::KeepUserText(SIPModeLabel);
    TrayIcon->setObjectName("TrayIcon");
    for (size_t i = 0; i < GuardPanels.size(); ++i) {
        GuardPanels[i]->setObjectName(QStringLiteral("GuardPanel%1").arg(i + 1));
        lingo::MarkComposite(GuardPanels[i]);
    }
}

TForm2::~TForm2() {
    // The panels outlive this object's members: a recording they hand over
    // from now on has nowhere to go (the close has taken every one already).
    for (TGuardPanel* p : GuardPanels)
        p->AVIReady = nullptr;
    // Nothing may log into the window while its parts go: the SIP controller
    // shuts its client down (and would log) before the log list is released.
    GuardPanelLogEvent() = nullptr;
    LinphoneControl1->LogEvent = nullptr;
    delete LinphoneControl1;
    LinphoneControl1 = nullptr;
}

TGetStrProc TForm2::LogSink() {
    // Runs on the window thread only: workers post through a Receiver, which
    // drops their calls once the window is gone, and the window clears the
    // sinks it handed out before it goes.
    return [this](const std::string& text) { onLog(text); };
}

void TForm2::addLogMemoLine(const QString& line) {
    LogMemo->appendPlainText(line);
    if (LogMemo->blockCount() > 4000) LogMemo->clear(); // the list holds at most 4000 lines
}

void TForm2::onLog(const std::string& text) {
    try {
        WriteToLogFile(text);
        addLogMemoLine(QString::fromStdString(LogDateTimeText() + ": " + EscapeControlCharacters(text)));
    } catch (...) {
        // the log never fails towards its caller
    }
}

void TForm2::FormCreate() {
    SipMode = false;

    // Data folder: the shared application-data folder, created when missing. It
    // never moves to another folder: once something created the missing one, the
    // next start would read an empty folder and the settings would look lost.
    std::string folder = platform::ensureCommonAppDataFolder() + "/VELNORA Manager";
    platform::createDirectories(folder);

    // Stale SIP client settings: the client runs with a private home in the
    // data folder; its settings file there is removed before the client starts.
    const std::string clientHome = folder + "/" + ClientHomeName;
    RemoveStaleClientSettings(clientHome);
    LinphoneControl1->ClientHome = clientHome;

    DataFolder() = folder + "/";
    // The desk's own languages live in the data folder.
    DataModule1().LingoEngine1->SetBaseDirectory(QString::fromStdString(folder));
    LinphoneControl1->LogEvent = LogSink();

    // The banner.
    onLog("----------------------------------------");
    onLog("---------- START NEW INSTANCE ----------");
    onLog(std::string("---------- ") + VersionName + " ----------");
    onLog("----------------------------------------");
    std::string ip = GetLocalIP();
    onLog(ip.empty() ? "No. IP Address" : "IP Address: " + ip);
    onLog("OS Version = " + platform::osVersionText());
    const platform::MemoryFacts m = platform::memoryFacts();
    onLog("TotalPhys = " + std::to_string(m.totalPhys));
    onLog("AvailPhys = " + std::to_string(m.availPhys));
    onLog("TotalVirtual = " + std::to_string(m.totalVirtual));
    onLog("AvailVirtual = " + std::to_string(m.availVirtual));
    onLog("DiskSize = " + std::to_string(platform::currentDiskSize()));
    onLog("DiskFree = " + std::to_string(platform::currentDiskFree()));

    GuardPanelLogEvent() = LogSink();

    move(100, 100);
    SetDesign(1);
    InitializeTimer->start();
    SIPcontrolTimer->start();
}

void TForm2::SetDesign(int n) {
    int height = 725, width = 920;
    const char* line = "DESIGN: set 4 windows";
    if (n == 1) {
        Tlacitka->show();
        SettingsImage->move(386, SettingsImage->y());
        MinimizeImage->move(412, MinimizeImage->y());
        CloseImage->move(434, CloseImage->y());
        height = 375;
        width = 460;
        line = "DESIGN: set 1 window";
    } else {
        Tlacitka->hide();
        SettingsImage->move(848, SettingsImage->y());
        MinimizeImage->move(874, MinimizeImage->y());
        CloseImage->move(898, CloseImage->y());
        if (n == 2) {
            height = 375;
            line = "DESIGN: set 2 windows";
        }
    }
    // Click areas lie above the pictures they sit on.
    for (QWidget* w : {static_cast<QWidget*>(SettingsImage), static_cast<QWidget*>(MinimizeImage),
                       static_cast<QWidget*>(CloseImage), static_cast<QWidget*>(LogImageSecretButton)})
        w->raise();
    setFixedSize(width, height);
    Panel1->setGeometry(0, 0, width, 25);
    onLog(line);
}

void TForm2::InitializeTimerTimer() {
    InitializeTimer->stop();
    if (!SettingsForm) return;
    TSettingsStore& s = *SettingsForm;
    for (int n = 1; n <= 4; ++n) {
        TGuardPanel* p = GuardPanels[static_cast<size_t>(n - 1)];
        const std::string k = std::to_string(n);
        p->SetGuardEnable(n == 1 ? true : s.Checked("CheckBox" + k));
        p->SetGuardIP(s.Text("DoorPhoneIP" + k + "Text"));
        p->SetGuardPort(s.Text("DoorPhoneVideoPort" + k + "Text"));
        const std::string user = s.Text("DoorPhoneUserName" + k + "Text");
        const std::string password = s.Text("DoorPhonePassword" + k + "Text");
        if (!user.empty() && !password.empty()) p->SetGuardPassword(DoorPhoneCredential(user, password));
        p->SetAVIEnable(s.Checked("SaveToAVI"));
        p->SetJPGEnable(s.Checked("SaveToJPG"));
        p->SetJPGDirectory(s.Text("JPGDirectory"));
        p->Restart();
    }
    // SIP start-up.
    LinphoneControl1->CallPrefix = s.Text("CallPrefixText");
    CheckSIPMode();
    SetDesign(s.Checked("CheckBox3") ? 3 : (s.Checked("CheckBox2") ? 2 : 1));
}

void TForm2::startMove() {
    ++SystemMovesStarted;
    if (QWindow* w = windowHandle()) w->startSystemMove();
}

void TForm2::mousePressEvent(QMouseEvent* e) {
    startMove();
    QWidget::mousePressEvent(e);
}

bool TForm2::eventFilter(QObject* watched, QEvent* e) {
    if (watched == Image1 && e->type() == QEvent::MouseButtonPress) {
        startMove();
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

void TForm2::MinimizeImageClick() {
    OnMinimizeApplication();
}

void TForm2::CloseImageClick() {
    close();
}

void TForm2::LogImageSecretButtonClick() {
    GuardPanel4->setVisible(!GuardPanel4->isVisible());
}

void TForm2::OnMinimizeApplication() {
    if (minimised_) return;
    onLog("Minimize Application");
    for (size_t i = 0; i < 4; ++i)
        GuardVideoBringed[i] = GuardPanels[i]->BringVideo();
    for (TGuardPanel* p : GuardPanels)
        p->SetBringVideo(false);
    minimised_ = true;
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        hide();
        TrayIcon->show();
    } else {
        // Without a tray the window would be lost if hidden: use the task bar.
        showMinimized();
    }
}

void TForm2::OnRestoreApplication() {
    if (!minimised_) return;
    onLog("Restore Application");
    TrayIcon->hide();
    minimised_ = false;
    showNormal();
    raise();
    activateWindow();
    for (size_t i = 0; i < 4; ++i)
        GuardPanels[i]->SetBringVideo(GuardVideoBringed[i]);
}

void TForm2::OnIconMessage(int mouseMessage) {
    if (mouseMessage != 513) return;
    OnRestoreApplication();
    raise();
    activateWindow();
}

void TForm2::ShowOnRequest() {
    onLog("Started again: the running console comes to the front");
    if (minimised_) OnRestoreApplication();
    raise();
    activateWindow();
}

void TForm2::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() != QEvent::WindowStateChange || closing_) return;
    if ((windowState() & Qt::WindowMinimized) && !minimised_) {
        // Minimised by the window manager: the same path as the title bar button.
        QTimer::singleShot(0, this, [this] { OnMinimizeApplication(); });
    } else if (!(windowState() & Qt::WindowMinimized) && minimised_ && isVisible()) {
        // Restored from the task bar (no tray available).
        QTimer::singleShot(0, this, [this] { OnRestoreApplication(); });
    }
}

void TForm2::FormCloseQuery() {
    LinphoneControl1->LogEvent = nullptr;
    GuardPanelLogEvent() = nullptr;
}

void TForm2::FormClose() {
    onLog("");
    onLog("*************  STOP  *******************");
    onLog("");
}

void TForm2::finishRecordings() {
    // A call being recorded is written as far as it got: stopping a panel's
    // video hands its frames over, as at the end of a call.
    for (TGuardPanel* p : GuardPanels)
        p->StopVideo();
    // Recorders still writing would otherwise be cut off by the exit and leave
    // a file whose sizes are still zero.
    const std::vector<std::string> left = TAVICreator::WaitForAll(RecorderFinishWaitMs);
    // Their lines (the saved file, or an error) were posted to this window; they
    // belong in the log before its stop entries.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    for (const std::string& file : left)
        onLog("AVI: recording not finished at close: \"" + file + "\"");
}

void TForm2::closeEvent(QCloseEvent* e) {
    closing_ = true;
    finishRecordings();
    FormCloseQuery();
    FormClose();
    TrayIcon->hide();
    e->accept();
}

void TForm2::PopUpActive(QObject*) {
    if (!SettingsForm) return;
    if (SettingsForm->Checked("PopUpAlways") && !SettingsForm->Checked("PopUpCall") && minimised_) {
        OnRestoreApplication();
        raise();
        activateWindow();
    }
}

void TForm2::PopUpDeActive(QObject*) {
    if (!SettingsForm) return;
    if ((SettingsForm->Checked("PopUpCall") || SettingsForm->Checked("PopUpAlways")) && !minimised_) {
        if (RingTimerActive && RingTimerActive()) {
            if (RunRingTimer) RunRingTimer();
        }
        OnMinimizeApplication();
    }
}

void TForm2::AVIReadyEvent(QObject*, TAVICollection collection, const std::string& guardName) {
    onLog("AVICollection available");
    StartAVICreator(std::move(collection), guardName);
}

void TForm2::StartAVICreator(TAVICollection collection, const std::string& guardName) {
    try {
        auto creator = std::make_shared<TAVICreator>();
        creator->AVICollection = std::move(collection);
        creator->AVIDirectory = SettingsForm ? SettingsForm->Text("AVIDirectory") : std::string();
        creator->GuardName = guardName;
        creator->Receiver = this;
        creator->LogEvent = LogSink();
        AVICreator = creator; // the previous recorder runs on by itself
        TAVICreator::Start(creator);
    } catch (...) {
        onLog("ERROR on create AVI Compressor");
    }
}

// --- SIP mode and calls --------------------------------------------------------

void TForm2::ShowSIPMode() {
    SIPModeLabel->setText(LexiconItem(SipMode ? Lexicon::SipServerMode : Lexicon::P2PMode));
}

void TForm2::CheckSIPMode() {
    if (SettingsForm && SettingsForm->ItemIndex() == 1) {
        SipMode = true;
        ShowSIPMode();
        SIPInitializationTimer->start();
    } else {
        SipMode = false;
        ShowSIPMode();
        // Out of server mode before a registration that was due: it must not follow.
        SIPInitializationTimer->stop();
    }
}

void TForm2::SIPRegister() {
    if (!SettingsForm) return;
    const TSettingsStore& s = *SettingsForm;
    try {
        LinphoneControl1->PSendCommandToLinphone(
            "register sip:" + s.Text("MyIdentityText") + "@" + s.Text("SipServerAdressText") + " " +
            s.Text("SipProxyAdressText") + " " + s.Text("MyPasswordText"));
    } catch (...) {
        // the client is not up; nothing is reported
    }
}

void TForm2::GuardPanelCallButtonClick(int n) {
    TGuardPanel* p = GuardPanels[static_cast<size_t>(n - 1)];
    try {
        if (SipMode)
            LinphoneControl1->SIPaddres = p->SIPNumber;
        else
            LinphoneControl1->vratnikIP = p->GuardIP().substr(0, 255);
        LinphoneControl1->CallButtonClick();
    } catch (...) {
        // the controller logs its own failures
    }
}

void TForm2::LinphoneControl1InitializationSuccesful() {
    addLogMemoLine("linphone initialization successful.");
}

void TForm2::LinphoneControl1IncomingCall() {
    if (minimised_) OnRestoreApplication();
    raise();
    activateWindow();
}

void TForm2::LinphoneControl1IncomingCallAcepted(const std::string& S) {
    try {
        // The caller's address only: other output around the announcing line
        // (time stamps, the desk's own address) must not pick a panel.
        const auto caller = IncomingCallerFrom(S);
        if (!caller) return;
        for (TGuardPanel* p : GuardPanels)
            if (CallerIsPanel(*caller, p->GuardIP(), p->SIPNumber)) p->IncomingCall(p);
    } catch (...) {
    }
}

void TForm2::LinphoneControl1Error(const std::string& S) {
    if (S.find("Could not start UDP transport on port 5060") != std::string::npos) PortCheck->Check(false);
}

void TForm2::LinphoneControl1SIPEvent(const std::string& S) {
    if (S.find("failed") != std::string::npos) onLog("s");
}

void TForm2::TimeBeforeCall_TimerTimer() {
    // Logged when it changes: the ring time of the next incoming call.
    const int seconds = GuardPanel1->TimeBeforeCall;
    if (LinphoneControl1->TimeBeforeCall == seconds) return;
    LinphoneControl1->TimeBeforeCall = seconds;
    onLog("Time before call set to " + std::to_string(seconds) + " s");
}

// --- Settings --------------------------------------------------------------------

void TForm2::SettingsImageClick() {
    if (!SettingsForm || closing_) return;
    const TSettingsStore before = *SettingsForm;
    if (ShowSettingsDialog) ShowSettingsDialog();
    // The console may have been closed while the dialog was up (a signal): a
    // closed console starts nothing again.
    if (closing_) return;
    ApplySettings(before);
}

void TForm2::ApplySettings(const TSettingsStore& before) {
    if (!SettingsForm) return;
    const TSettingsStore& s = *SettingsForm;
    std::array<bool, 4> marked{};
    const auto key = [](const char* head, int n, const char* tail) {
        return std::string(head) + std::to_string(n) + tail;
    };
    const auto changed = [&](const std::string& control) { return s.Text(control) != before.Text(control); };

    for (int n = 1; n <= 4; ++n) {
        const std::string ip = key("DoorPhoneIP", n, "Text");
        if (changed(ip)) {
            GuardPanels[static_cast<size_t>(n - 1)]->SetGuardIP(s.Text(ip));
            marked[static_cast<size_t>(n - 1)] = true;
        }
    }
    if (s.ItemIndex() != before.ItemIndex()) {
        if (before.ItemIndex() == 1) {
            try {
                LinphoneControl1->PSendCommandToLinphone("unregister");
            } catch (...) {
                // the client is not up; nothing is reported
            }
        }
        CheckSIPMode();
    }
    for (int n = 1; n <= 4; ++n) {
        const std::string user = key("DoorPhoneUserName", n, "Text");
        const std::string password = key("DoorPhonePassword", n, "Text");
        if (changed(user) || changed(password)) {
            GuardPanels[static_cast<size_t>(n - 1)]->SetGuardPassword(
                DoorPhoneCredential(s.Text(user), s.Text(password)));
            marked[static_cast<size_t>(n - 1)] = true;
        }
    }
    for (int n = 1; n <= 4; ++n) {
        const std::string port = key("DoorPhoneVideoPort", n, "Text");
        if (changed(port)) {
            GuardPanels[static_cast<size_t>(n - 1)]->SetGuardPort(s.Text(port));
            marked[static_cast<size_t>(n - 1)] = true;
        }
    }
    for (int n = 2; n <= 4; ++n) {
        TGuardPanel* p = GuardPanels[static_cast<size_t>(n - 1)];
        const bool enabled = s.Checked("CheckBox" + std::to_string(n));
        // A door phone switched off is stopped (and stays stopped); one switched
        // on is watched at once. One that was off already has nothing running:
        // restarting it again would only hold the window up.
        if (enabled != p->GuardEnable()) {
            p->SetGuardEnable(enabled);
            marked[static_cast<size_t>(n - 1)] = true;
        }
    }
    for (size_t i = 0; i < 4; ++i)
        if (marked[i]) GuardPanels[i]->Restart();
    if (s.Checked("CheckBox2") != before.Checked("CheckBox2") ||
        s.Checked("CheckBox3") != before.Checked("CheckBox3") ||
        s.Checked("CheckBox4") != before.Checked("CheckBox4"))
        SetDesign(s.Checked("CheckBox3") ? 3 : (s.Checked("CheckBox2") ? 2 : 1));
    for (TGuardPanel* p : GuardPanels) {
        p->SetAVIEnable(s.Checked("SaveToAVI"));
        p->SetJPGEnable(s.Checked("SaveToJPG"));
        p->SetJPGDirectory(s.Text("JPGDirectory"));
    }
    LinphoneControl1->CallPrefix = s.Text("CallPrefixText");
}
