#pragma once
#include "app/SmtpSend.h"
#include "common/SharedTypes.h"
#include "lingo/LingoComp.h"

#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The dialog that e-mails the log file with the user's comment and an address
// for the answer. The send runs on a thread of its own: the desk keeps
// showing its door phones meanwhile, and the dialog only waits for the outcome.
class TEmail : public QDialog {
    Q_OBJECT
public:
    explicit TEmail(QWidget* parent = nullptr);
    ~TEmail() override;

    std::string LogFileToSend; // full path of the log file, set before showing
    std::string IniFileName;   // its [LogMail] section, read at each send, may override the account
    TGetStrProc LogEvent;      // log sink; may be empty
    // Tells the user the outcome; by default an information box (sent) or an
    // error box (not sent) with an OK button.
    std::function<void(bool ok, const QString& text)> ShowResult;
    SmtpTimeouts Timeouts;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* Comment = nullptr;
    QLineEdit* Answer = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QLabel* SendStatus = nullptr; // "Sending..." while a send runs
    TLingoClient* LingoClient1 = nullptr;

    bool Sending() const { return sending_; }

public slots:
    void Button1Click();
    void Button2Click();
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Outcome {
        SmtpResult result;
        LogMailAccount account;
        LogAttachment::State logState = LogAttachment::State::NotFound;
        std::string statusLine;
    };
    void SendDone(const Outcome& outcome);
    void setSending(bool on);
    void log(const std::string& text) const;

    bool sending_ = false;
    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> abort_ = std::make_shared<std::atomic<bool>>(false);
};

// Prefix of the dialog's log entries.
inline constexpr const char* EmailLogPrefix = "EMAIL: ";
