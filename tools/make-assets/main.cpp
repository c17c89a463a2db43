#include "Pictures.h"
#include "Sounds.h"

#include <QGuiApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("--icons"))
        return makeDesktopIcons(args.at(2)) ? 0 : 1;
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: make-assets OUTPUT_DIR | make-assets --icons ICON_THEME_DIR\n");
        return 2;
    }
    const QString dir = args.at(1);
    const bool pictures = makePictures(dir);
    const bool sounds = makeSounds(dir.toStdString());
    return pictures && sounds ? 0 : 1;
}
