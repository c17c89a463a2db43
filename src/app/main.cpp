// VELNORA Manager: a desk console for up to four IP door phones.
#include "app/DataModule.h"
#include "app/EventLog.h"
#include "app/MainForm.h"
#include "app/Send_log.h"
#include "app/SettingsStore.h"
#include "app/SettingsUnit.h"
#include "platform/Sound.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {
int g_signalPipe[2] = {-1, -1};
void onTerminate(int) {
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("VELNORA Manager");
    QApplication::setApplicationDisplayName("VELNORA Manager");
    QApplication::setQuitOnLastWindowClosed(true);

    // Objects come into being in this order and are released in reverse.
    auto form2 = std::make_unique<TForm2>();
    form2->show();
    std::string iniPath = DataFolder();
    if (!iniPath.empty() && iniPath.back() == '/') iniPath.pop_back();
    auto settingsForm = std::make_unique<TSettingsStore>(iniPath);
    settingsForm->Load();
    form2->SettingsForm = settingsForm.get();
    // The settings dialog edits the live configuration; it goes before the store.
    auto settingsDialog = std::make_unique<TSettingsForm>(*settingsForm, form2.get());
    settingsDialog->setObjectName("SettingsForm");
    settingsDialog->LogEvent = form2->LogSink();
    form2->ShowSettingsDialog = [dialog = settingsDialog.get()] { dialog->exec(); };
    // The log e-mail dialog, opened from the settings dialog's "Send LOG file".
    auto email = std::make_unique<TEmail>(settingsDialog.get());
    email->setObjectName("Email");
    email->LogEvent = form2->LogSink();
    email->IniFileName = settingsForm->IniFileName();
    settingsDialog->OnSendLog = [dialog = email.get()] {
        dialog->LogFileToSend = DataFolder() + LogFileName;
        dialog->exec();
    };

    // The language engine's first activation, at the loop's first turn: the
    // default language (the design language here, so a rescan); windows made
    // from then on come up in the current language.
    QTimer::singleShot(0, form2.get(), [] { DataModule1().LingoEngine1->FirstActivation(); });

    // SIGTERM and SIGINT close the window as its close button does, so the
    // log gets its stop entries, the channels are stopped and recordings are
    // written. The loop is ended as well: a window hidden in the tray is no
    // "last window" whose closing ends it.
    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (::pipe2(g_signalPipe, O_CLOEXEC) == 0) {
        signalNotifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, form2.get(), [&form2] {
            char c;
            [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], &c, 1);
            form2->close();
            QCoreApplication::quit();
        });
        struct sigaction sa {};
        sa.sa_handler = onTerminate;
        ::sigaction(SIGTERM, &sa, nullptr);
        ::sigaction(SIGINT, &sa, nullptr);
    }

    int rc = app.exec();

    form2->ShowSettingsDialog = nullptr;
    settingsDialog->OnSendLog = nullptr;
    email.reset();
    settingsDialog.reset();
    form2->SettingsForm = nullptr;
    settingsForm.reset();
    form2.reset();
    platform::SoundPlayer::instance().shutdown();
    return rc;
}
