#include "common/ImageButton.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPixmap>
#include <QPointer>

namespace {

// A label reads as static text with no action; an image button reads as a
// button that a screen reader (or a test on the accessibility bus) can press.
class ImageButtonAccessible : public QAccessibleWidget {
public:
    explicit ImageButtonAccessible(ImageButton* b) : QAccessibleWidget(b, QAccessible::Button) {}

    QStringList actionNames() const override { return QAccessibleWidget::actionNames() << pressAction(); }
    void doAction(const QString& action) override {
        if (action != pressAction()) return QAccessibleWidget::doAction(action);
        // The bus call returns at once; the click (a lock holds the window
        // thread half a second, the close button ends the window) runs after it.
        auto* b = static_cast<ImageButton*>(widget());
        QMetaObject::invokeMethod(
            b, [b] { b->click(); }, Qt::QueuedConnection);
    }
};

QAccessibleInterface* imageButtonAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("ImageButton") && object && object->isWidgetType())
        return new ImageButtonAccessible(static_cast<ImageButton*>(object));
    return nullptr;
}

} // namespace

ImageButton::ImageButton(QWidget* parent, bool autoSize) : QLabel(parent), autoSize_(autoSize) {
    static const bool installed = [] {
        QAccessible::installFactory(imageButtonAccessible);
        return true;
    }();
    (void)installed;
}

bool ImageButton::LoadPicture(const std::string& file) {
    QPixmap pm;
    if (!pm.load(QString::fromStdString(file))) return false;
    setPixmap(pm);
    if (autoSize_) resize(pm.size());
    return true;
}

void ImageButton::SetActionName(const QString& name) {
    setAccessibleName(name);
    setToolTip(name);
}

void ImageButton::click() {
    if (!isVisible() || !isEnabled()) return;
    QPointer<ImageButton> self(this);
    emit pressed(Qt::LeftButton);
    if (self) emit released(Qt::LeftButton);
    if (self) emit clicked();
}

void ImageButton::mousePressEvent(QMouseEvent* e) {
    // Other buttons are taken (nothing under the button sees them) and do nothing.
    if (e->button() != Qt::LeftButton) return;
    pressed_ = true;
    emit pressed(e->button());
}

void ImageButton::mouseDoubleClickEvent(QMouseEvent*) {
    // The second press of a double click: taken, and no new press, so its
    // release does not click again (the base class would take it as a press).
}

void ImageButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !pressed_) return;
    pressed_ = false;
    emit released(e->button());
    if (rect().contains(e->position().toPoint())) emit clicked();
}
