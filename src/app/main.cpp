// VELNORA Manager: a desk console for up to four IP door phones.
#include "app/DataModule.h"
#include "app/EventLog.h"
#include "app/MainForm.h"
#include "app/Send_log.h"
#include "app/SettingsStore.h"
#include "app/SettingsUnit.h"
#include "app/SingleInstance.h"
#include "platform/Folders.h"
#include "platform/Sound.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {
int g_signalPipe[2] = {-1, -1};
void onTerminate(int) {
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}
// How long a second start waits for the running console to answer.
constexpr int HandOverTimeoutMs = 10000;

// The pictures and sounds are loaded by bare name from the current folder: the
// build tree's assets folder when run from there, else the installed copy
// beside the program (a menu entry or autostart starts it in the home folder).
void enterAssetsFolder() {
    char here[4096];
    const std::string current = ::getcwd(here, sizeof here) ? here : "";
    const std::string folder =
        platform::installedAssetsFolder(current, platform::executableFolder(), "title_bar.png");
    if (!folder.empty() && ::chdir(folder.c_str()) != 0)
        std::fprintf(stderr, "VELNORA Manager: cannot enter %s\n", folder.c_str());
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("VELNORA Manager");
    QApplication::setApplicationDisplayName("VELNORA Manager");
    QApplication::setQuitOnLastWindowClosed(true);
    // Ties the windows to the menu entry (its name and icon in task bars).
    QGuiApplication::setDesktopFileName("velnora-manager");
    enterAssetsFolder();

    // One console per user: a second start shows the running one and ends
    // here, before it writes anything to the log or starts a SIP client.
    std::unique_ptr<SingleInstance> instance;
    const std::string appData = platform::ensureCommonAppDataFolder();
    if (!appData.empty()) {
        const std::string dataFolder = appData + "/VELNORA Manager";
        platform::createDirectories(dataFolder);
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        instance = std::make_unique<SingleInstance>(
            QString::fromStdString(dataFolder),
            QString::fromLocal8Bit(runtime && *runtime == '/' ? runtime : ""));
        QString problem;
        switch (instance->claim(HandOverTimeoutMs, &problem)) {
        case SingleInstance::Role::HandedOver:
            std::fprintf(stderr, "VELNORA Manager is already running: it was brought to the front.\n");
            return 0;
        case SingleInstance::Role::Unanswered:
            std::fprintf(stderr,
                         "VELNORA Manager is already running but does not answer; not starting another.\n");
            return 1;
        case SingleInstance::Role::First:
            if (!problem.isEmpty())
                std::fprintf(stderr, "VELNORA Manager: %s; a second start will not find this one.\n",
                             qPrintable(problem));
            break;
        }
    }

    // Objects come into being in this order and are released in reverse.
    auto form2 = std::make_unique<TForm2>();
    form2->show();
    if (instance) instance->OnShowRequest = [form = form2.get()] { form->ShowOnRequest(); };
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

    if (instance) instance->OnShowRequest = nullptr;
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
