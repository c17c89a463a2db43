#pragma once
// The panel's camera picture and the caption drawn over it. Both are repainted
// with every live picture, 25 times a second per panel, so each keeps what it
// can rather than working it out again on every paint.
#include <QImage>
#include <QLabel>
#include <QPixmap>

class CameraPicture : public QLabel {
public:
    explicit CameraPicture(QWidget* parent = nullptr);

    // A live picture comes at the label's size already: it is kept as it came
    // and drawn as it is, over everything behind the label. One of another
    // size (or with transparency) is shown like a still picture.
    void ShowLive(const QImage& picture);
    // A still picture, stretched over the label when its size differs; the
    // live picture is gone.
    void ShowStill(const QPixmap& picture);

    // The live picture on screen; null while a still picture is shown.
    const QImage& LivePicture() const { return live_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage live_;
};

// A label of plain text whose look is drawn once and then copied: laying out
// and shaping the text again for every video picture beneath it cost the
// window thread more than drawing the picture did. The copy is drawn again
// whenever anything it depends on changes.
class CaptionLabel : public QLabel {
public:
    explicit CaptionLabel(QWidget* parent = nullptr);

    // How many times the look was drawn (for tests).
    int Renders() const { return renders_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Key {
        QString text;
        QSize size;
        QFont font;
        qint64 palette = 0;
        qreal ratio = 0;
        bool enabled = false;
        int alignment = 0;
        bool operator==(const Key&) const = default;
    };
    Key currentKey() const;

    QPixmap look_;
    Key key_;
    int renders_ = 0;
};
