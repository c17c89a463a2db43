#pragma once
#include "app/ImageButton.h"
#include "app/SharedTypes.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <array>
#include <string>

class TGuardPanel;
class TSettingsStore;

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
    bool IsMinimised() const { return minimised_; }
    void InitializeTimerTimer();

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
    QTimer* SIPInitializationTimer = nullptr;
    QTimer* SIPcontrolTimer = nullptr;
    QTimer* TimeBeforeCall_Timer = nullptr;
    QSystemTrayIcon* TrayIcon = nullptr;

    bool SipMode = false;
    std::array<bool, 4> GuardVideoBringed{true, true, true, true};

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void FormCreate();
    void FormCloseQuery();
    void FormClose();
    void startMove();

    bool minimised_ = false;
    bool closing_ = false;
};
