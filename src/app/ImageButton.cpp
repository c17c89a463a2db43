#include "app/ImageButton.h"

#include <QPixmap>

bool ImageButton::LoadPicture(const std::string& file) {
    QPixmap pm;
    if (!pm.load(QString::fromStdString(file))) return false;
    setPixmap(pm);
    if (autoSize_) resize(pm.size());
    return true;
}
