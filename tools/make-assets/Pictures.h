#pragma once
#include <QString>

// Paints every button, background, title-bar and icon picture into dir; false on a write error.
bool makePictures(const QString& dir);
// Paints the program's icon for the desktop's menus into dir/<N>x<N>/apps/velnora-manager.png
// (the hicolor icon theme's layout); false on a write error.
bool makeDesktopIcons(const QString& dir);
