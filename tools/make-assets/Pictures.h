#pragma once
#include <QString>

// Paints every button, background, title-bar and icon picture into dir; false on a write error.
bool makePictures(const QString& dir);
