#pragma once
#include <QLabel>
#include <QMouseEvent>
#include <string>

// A picture that acts as a button: press, release and click (a release over
// it after a press). With autoSize it takes the size of its picture.
class ImageButton : public QLabel {
    Q_OBJECT
public:
    explicit ImageButton(QWidget* parent = nullptr, bool autoSize = true)
        : QLabel(parent), autoSize_(autoSize) {}

    // Loads a picture by file name; false (and the old picture kept) when it cannot be read.
    bool LoadPicture(const std::string& file);

signals:
    void pressed(Qt::MouseButton button);
    void released(Qt::MouseButton button);
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* e) override {
        pressedInside_ = true;
        emit pressed(e->button());
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        emit released(e->button());
        if (pressedInside_ && rect().contains(e->position().toPoint())) emit clicked();
        pressedInside_ = false;
    }

private:
    bool autoSize_;
    bool pressedInside_ = false;
};
