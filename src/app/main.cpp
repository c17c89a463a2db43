// VELNORA Manager: a desk console for up to four IP door phones.
#include "app/EventLog.h"
#include "app/MainForm.h"
#include "app/SettingsStore.h"
#include "platform/Sound.h"

#include <QApplication>
#include <memory>

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

    int rc = app.exec();

    form2->SettingsForm = nullptr;
    settingsForm.reset();
    form2.reset();
    platform::SoundPlayer::instance().shutdown();
    return rc;
}
