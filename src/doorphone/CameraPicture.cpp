#include "doorphone/CameraPicture.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>

CameraPicture::CameraPicture(QWidget* parent) : QLabel(parent) {}

void CameraPicture::ShowLive(const QImage& picture) {
    if (picture.size() != contentsRect().size() || picture.hasAlphaChannel()) {
        ShowStill(QPixmap::fromImage(picture));
        return;
    }
    if (live_.isNull()) {
        // From a still picture to live video: the label's own picture goes,
        // and nothing behind the label needs painting any more.
        clear();
        setAttribute(Qt::WA_OpaquePaintEvent, true);
    }
    live_ = picture;
    update(contentsRect());
}

void CameraPicture::ShowStill(const QPixmap& picture) {
    if (!live_.isNull()) {
        live_ = QImage();
        setAttribute(Qt::WA_OpaquePaintEvent, false);
    }
    setScaledContents(picture.size() != contentsRect().size());
    setPixmap(picture);
}

void CameraPicture::paintEvent(QPaintEvent* event) {
    if (live_.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    // Same size, no transparency: a plain copy into the window's buffer, with
    // no conversion, scaling or blending.
    QPainter painter(this);
    painter.drawImage(contentsRect().topLeft(), live_);
}

CaptionLabel::CaptionLabel(QWidget* parent) : QLabel(parent) {}

CaptionLabel::Key CaptionLabel::currentKey() const {
    return {text(),
            size(),
            font(),
            palette().cacheKey(),
            devicePixelRatioF(),
            isEnabled(),
            static_cast<int>(alignment())};
}

void CaptionLabel::paintEvent(QPaintEvent* event) {
    // Only the plain one-line text the panel's caption is; anything else is
    // the label's own business.
    if (textFormat() != Qt::PlainText || !pixmap().isNull() || wordWrap() || margin() != 0 || indent() > 0 ||
        frameWidth() != 0 || buddy()) {
        QLabel::paintEvent(event);
        return;
    }
    Key key = currentKey();
    if (look_.isNull() || !(key == key_)) {
        // Drawn as the label draws plain text, into a transparent picture.
        const qreal ratio = key.ratio > 0 ? key.ratio : 1.0;
        QPixmap look(size() * ratio);
        look.setDevicePixelRatio(ratio);
        look.fill(Qt::transparent);
        QPainter painter(&look);
        painter.setFont(font());
        const Qt::LayoutDirection direction = text().isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
        style()->drawItemText(&painter, contentsRect(), QStyle::visualAlignment(direction, alignment()),
                              palette(), isEnabled(), text(), foregroundRole());
        painter.end();
        look_ = std::move(look);
        key_ = std::move(key);
        ++renders_;
    }
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.drawPixmap(0, 0, look_);
}
