#pragma once
#include <QLabel>
#include <QMouseEvent>
#include <QString>
#include <string>

// A picture that acts as a button. Only the left button acts: a press, then a
// release over it, is a click; the second press of a double click is no new
// press, so a double click clicks once. With autoSize it takes the size of its
// picture. Screen readers see a button named by SetActionName, with a press
// action that clicks it.
class ImageButton : public QLabel {
    Q_OBJECT
public:
    explicit ImageButton(QWidget* parent = nullptr, bool autoSize = true);

    // Loads a picture by file name; false (and the old picture kept) when it cannot be read.
    bool LoadPicture(const std::string& file);
    // What the button does ("Open lock 1"): its accessible name and tooltip.
    void SetActionName(const QString& name);
    // A click as by the mouse (press, release, click); a hidden or disabled button does nothing.
    void click();

signals:
    void pressed(Qt::MouseButton button);
    void released(Qt::MouseButton button);
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    bool autoSize_;
    bool pressed_ = false;
};
