#pragma once
#include "common/ImageButton.h"
#include "common/SharedTypes.h"
#include "lingo/LingoComp.h"
#include "video/AVICollection.h"

#include <memory>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <string>

class TGuardPanel;
class TSettingsStore;
class TAVICreator;
class TLinphoneControl;
class TPortCheck;

// The desk's only long-lived window: a drawn title bar, four door-phone
// panels and the on-screen log that lies under panel 4.
class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // The live configuration (the settings dialog's store); set by main before the loop runs.
    TSettingsStore* SettingsForm = nullptr;

    // The window's log sink: the file line, then the on-screen line.
    void onLog(const std::string& text);
    TGetStrProc LogSink();

    void SetDesign(int n);
    void MinimizeImageClick();
    void CloseImageClick();
    void LogImageSecretButtonClick();
    void OnMinimizeApplication();
    void OnRestoreApplication();
    // The tray callback: 513 (left button down) restores, everything else is ignored.
    void OnIconMessage(int mouseMessage);
    // Another start of the console asked this one to come to the front (from
    // the tray or the task bar too) instead of running a second console.
    void ShowOnRequest();
    bool IsMinimised() const { return minimised_; }
    void InitializeTimerTimer();
    // Pop-up rules around door-phone calls.
    void PopUpActive(QObject* sender);
    void PopUpDeActive(QObject* sender);
    // A panel's recording has ended: its frames become an AVI file.
    void AVIReadyEvent(QObject* sender, TAVICollection collection, const std::string& guardName);
    // SIP mode and calls.
    void CheckSIPMode();
    // The mode label in the current language.
    void ShowSIPMode();
    void SIPRegister();
    void GuardPanelCallButtonClick(int n);
    void LinphoneControl1InitializationSuccesful();
    void LinphoneControl1IncomingCall();
    void LinphoneControl1IncomingCallAcepted(const std::string& S);
    void LinphoneControl1Error(const std::string& S);
    void LinphoneControl1SIPEvent(const std::string& S);
    void TimeBeforeCall_TimerTimer();
    // The title bar's settings button: the dialog, then its changes applied.
    void SettingsImageClick();
    // Applies what changed in the live configuration since before.
    void ApplySettings(const TSettingsStore& before);
    // Shows the settings dialog modally (set by main; tests may replace it).
    std::function<void()> ShowSettingsDialog;

    QPlainTextEdit* LogMemo = nullptr;
    std::array<TGuardPanel*, 4> GuardPanels{};
    TGuardPanel* GuardPanel1 = nullptr;
    TGuardPanel* GuardPanel2 = nullptr;
    TGuardPanel* GuardPanel3 = nullptr;
    TGuardPanel* GuardPanel4 = nullptr;
    QTimer* InitializeTimer = nullptr;
    QWidget* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Tlacitka = nullptr;
    ImageButton* SettingsImage = nullptr;
    ImageButton* MinimizeImage = nullptr;
    ImageButton* CloseImage = nullptr;
    ImageButton* LogImageSecretButton = nullptr;
    QLabel* SIPModeLabel = nullptr;
    TLingoClient* LingoClient1 = nullptr;
    QTimer* SIPInitializationTimer = nullptr;
    QTimer* SIPcontrolTimer = nullptr;
    QTimer* TimeBeforeCall_Timer = nullptr;
    QSystemTrayIcon* TrayIcon = nullptr;
    TLinphoneControl* LinphoneControl1 = nullptr;
    // The SIP port check (who holds UDP port 5060).
    std::unique_ptr<TPortCheck> PortCheck;

    // Window moves asked of the window manager so far (tests read it).
    int SystemMovesStarted = 0;

    bool SipMode = false;
    // How long the close waits for AVI recorders still writing (a hundred
    // frames take well under a second; a slow disk gets ample time).
    int RecorderFinishWaitMs = 10000;
    // The SIP controller's ring timer, as the pop-down rule needs it (tests may replace them).
    std::function<bool()> RingTimerActive;
    std::function<void()> RunRingTimer;
    // The SIP client's private home in the data folder.
    static constexpr const char* ClientHomeName = "linphone-home";
    std::array<bool, 4> GuardVideoBringed{true, true, true, true};

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void FormCreate();
    void nameComponents();
    void FormCloseQuery();
    void FormClose();
    void startMove();
    void addLogMemoLine(const QString& line);
    void StartAVICreator(TAVICollection collection, const std::string& guardName);
    // At close: running recordings handed over, recorders waited for (bounded).
    void finishRecordings();

    std::shared_ptr<TAVICreator> AVICreator;

    bool minimised_ = false;
    bool closing_ = false;
};
