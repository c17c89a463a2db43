#include "app/Send_log.h"

#include "app/DataModule.h"
#include "platform/Dispatch.h"

#include <QCloseEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <ctime>

TEmail::TEmail(QWidget* parent) : QDialog(parent) {
    setObjectName("Email");
    setWindowTitle("Send log file");
    QFont f("Tahoma");
    f.setPixelSize(11);
    setFont(f);
    setFixedSize(412, 320); // the controls sit at fixed places

    Label2 = new QLabel("Your comment:", this);
    Label2->setObjectName("Label2");
    Label2->move(24, 16);
    Label2->adjustSize();
    Label2->setAccessibleName(Label2->text());

    Comment = new QPlainTextEdit(this);
    Comment->setObjectName("Comment");
    Comment->setGeometry(24, 32, 361, 177);
    Comment->setTabChangesFocus(true);
    Comment->setAccessibleName(Label2->text());
    Label2->setBuddy(Comment);

    Label1 = new QLabel("Your e-mail for answer:", this);
    Label1->setObjectName("Label1");
    Label1->move(24, 216);
    Label1->adjustSize();
    Label1->setAccessibleName(Label1->text());

    Answer = new QLineEdit(this);
    Answer->setObjectName("Answer");
    Answer->setGeometry(24, 235, 361, Answer->sizeHint().height());
    Answer->setAccessibleName(Label1->text());
    Label1->setBuddy(Answer);

    Button1 = new QPushButton("Send by Internet", this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(24, 272, 145, 25);
    Button1->setAccessibleName(Button1->text());
    Button1->setAutoDefault(false);

    Button2 = new QPushButton("Close", this);
    Button2->setObjectName("Button2");
    Button2->setGeometry(240, 272, 145, 25);
    Button2->setAccessibleName(Button2->text());
    Button2->setAutoDefault(false);

    SendStatus = new QLabel("Sending...", this);
    SendStatus->setObjectName("SendStatus");
    SendStatus->setAlignment(Qt::AlignCenter);
    SendStatus->setGeometry(169, 272, 71, 25);
    SendStatus->setAccessibleName(SendStatus->text());
    SendStatus->hide();

    connect(Button1, &QPushButton::clicked, this, &TEmail::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TEmail::Button2Click);

    ShowResult = [this](bool ok, const QString& text) {
        if (ok)
            QMessageBox::information(this, windowTitle(), text, QMessageBox::Ok);
        else
            QMessageBox::critical(this, windowTitle(), text, QMessageBox::Ok);
    };

    // What the user types is never translated.
    lingo::KeepUserText(Comment);
    lingo::KeepUserText(Answer);
    LingoClient1 = new TLingoClient(this, DataModule1().LingoEngine1);
    LingoClient1->OwnerCreated();
}

TEmail::~TEmail() {
    // A send still running is told to give up; what it reports after this
    // is dropped with the dialog.
    abort_->store(true);
    if (worker_.joinable()) worker_.join();
}

void TEmail::log(const std::string& text) const {
    if (LogEvent) LogEvent(EmailLogPrefix + text);
}

void TEmail::setSending(bool on) {
    sending_ = on;
    Button1->setEnabled(!on);
    Button2->setEnabled(!on);
    SendStatus->setVisible(on);
}

void TEmail::Button1Click() {
    if (sending_) return;
    if (worker_.joinable()) worker_.join(); // the last send has reported: its thread is ending
    setSending(true);

    // The worker gets copies of everything it needs; it never touches a control.
    const std::string comment = Comment->toPlainText().toStdString();
    const std::string answer = Answer->text().toStdString();
    const std::string logFile = LogFileToSend;
    const std::string iniFile = IniFileName;
    const SmtpTimeouts timeouts = Timeouts;
    const auto abort = abort_;
    const platform::Receiver receiver(this);
    worker_ = std::thread([=, this] {
        Outcome o;
        o.account = ReadLogMailAccount(iniFile);
        LogAttachment attachment = ReadLogAttachment(logFile);
        o.logState = attachment.state;
        o.statusLine = LogStatusLine(attachment);
        const LogMailMessage message =
            ComposeLogMail(o.account, comment, answer, std::move(attachment), MailDate(std::time(nullptr)));
        o.result = SendSmtp(o.account, message, timeouts, abort.get());
        receiver.post([this, o] { SendDone(o); });
    });
}

void TEmail::SendDone(const Outcome& o) {
    if (worker_.joinable()) worker_.join();
    setSending(false);
    if (o.logState == LogAttachment::State::Unreadable) log(o.statusLine);
    if (o.result.Ok) {
        log("Log file sent to " + o.account.To + " (" + o.statusLine + ")");
        if (ShowResult) ShowResult(true, LexiconItem(Lexicon::LogSendSuccessful));
    } else {
        log("error 1601: procedure Button1Click. Log file not sent through " + o.account.Host + ":" +
            std::to_string(o.account.Port) + ": " + o.result.Error);
        if (ShowResult) ShowResult(false, LexiconItem(Lexicon::LogNotSend));
    }
}

void TEmail::Button2Click() {
    close();
}

// While a send runs the dialog stays: its outcome is what the user is waiting for.
void TEmail::reject() {
    if (!sending_) QDialog::reject();
}

void TEmail::closeEvent(QCloseEvent* event) {
    if (sending_)
        event->ignore();
    else
        QDialog::closeEvent(event);
}
