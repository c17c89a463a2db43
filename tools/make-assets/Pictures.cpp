// Flat artwork for a dark-grey desk console. Every pictogram is built as a filled
// QPainterPath (strokes are converted to outlines) so that one path gives both the
// white symbol and its soft drop shadow.
#include "Pictures.h"

#include <QDir>

#include <QFont>
#include <QFontDatabase>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QTransform>
#include <cstdio>

namespace {

// Colours of the console. State colours follow the usual meaning on a guard desk.
struct Fill {
    QColor top, bottom;
};
const Fill kIdle{QColor(0x4b, 0x51, 0x5a), QColor(0x3a, 0x3f, 0x47)};
const Fill kPressed{QColor(0x2c, 0x30, 0x36), QColor(0x38, 0x3d, 0x44)};
const Fill kAmber{QColor(0xf2, 0xae, 0x2e), QColor(0xd9, 0x8c, 0x0a)}; // ringing
const Fill kGreen{QColor(0x3c, 0xb9, 0x62), QColor(0x25, 0x93, 0x48)}; // incoming call, lock open
const Fill kBlue{QColor(0x4b, 0x93, 0xf2), QColor(0x2a, 0x6f, 0xd6)};  // outgoing call
const Fill kRed{QColor(0xe6, 0x55, 0x4b), QColor(0xc2, 0x33, 0x2b)};   // door open
const QColor kGlyph(0xff, 0xff, 0xff);
const QColor kOutline(0x1d, 0x20, 0x24);

QString gBoldFamily = QStringLiteral("DejaVu Sans");
QString gRegularFamily = QStringLiteral("DejaVu Sans");

void loadFonts() {
    // Lato is crisper at these small sizes; DejaVu is the fallback every Debian has.
    const int bold = QFontDatabase::addApplicationFont("/usr/share/fonts/truetype/lato/Lato-Bold.ttf");
    if (bold >= 0 && !QFontDatabase::applicationFontFamilies(bold).isEmpty())
        gBoldFamily = QFontDatabase::applicationFontFamilies(bold).first();
    const int regular = QFontDatabase::addApplicationFont("/usr/share/fonts/truetype/lato/Lato-Regular.ttf");
    if (regular >= 0 && !QFontDatabase::applicationFontFamilies(regular).isEmpty())
        gRegularFamily = QFontDatabase::applicationFontFamilies(regular).first();
}

QFont font(bool bold, qreal pixelSize, qreal spacing = 0) {
    QFont f(bold ? gBoldFamily : gRegularFamily);
    f.setPixelSize(qRound(pixelSize));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    if (spacing != 0) f.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    return f;
}

QImage canvas(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

bool save(const QImage& img, const QString& dir, const QString& name) {
    QImageWriter w(dir + "/" + name, "png");
    w.setQuality(0); // smallest file; PNG is lossless anyway
    const QImage out =
        img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (!w.write(out)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(name), qPrintable(w.errorString()));
        return false;
    }
    return true;
}

QPainterPath outline(const QPainterPath& p, qreal width, Qt::PenCapStyle cap = Qt::RoundCap) {
    QPainterPathStroker s;
    s.setWidth(width);
    s.setCapStyle(cap);
    s.setJoinStyle(Qt::RoundJoin);
    return s.createStroke(p).simplified();
}

QPainterPath line(QPointF a, QPointF b, qreal width) {
    QPainterPath p(a);
    p.lineTo(b);
    return outline(p, width);
}

QPainterPath circle(QPointF c, qreal r) {
    QPainterPath p;
    p.addEllipse(c, r, r);
    return p;
}

QPainterPath roundRect(QRectF r, qreal radius) {
    QPainterPath p;
    p.addRoundedRect(r, radius, radius);
    return p;
}

// Text as a path, centred on c (by its ink box, so digits sit exactly in the middle).
QPainterPath text(const QString& s, const QFont& f, QPointF c) {
    QPainterPath p;
    p.addText(0, 0, f, s);
    const QRectF box = p.boundingRect();
    return p.translated(c - box.center());
}

QPainterPath arc(QPointF c, qreal r, qreal startDeg, qreal spanDeg) {
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    QPainterPath p;
    p.arcMoveTo(box, startDeg);
    p.arcTo(box, startDeg, spanDeg);
    return p;
}

// Arrow from a to b with an open head at b.
QPainterPath arrow(QPointF a, QPointF b, qreal width, qreal head) {
    const QLineF shaft(b, a);
    QLineF left = shaft, right = shaft;
    left.setLength(head);
    right.setLength(head);
    left.setAngle(shaft.angle() + 40);
    right.setAngle(shaft.angle() - 40);
    QPainterPath p(a);
    p.lineTo(b);
    p.moveTo(left.p2());
    p.lineTo(b);
    p.lineTo(right.p2());
    return outline(p, width);
}

// ---- pictograms, each centred on (0, 0) ----

QPainterPath doorPhoneGlyph() {
    QPainterPath body = roundRect(QRectF(-8.5, -13.5, 17, 27), 3.5);
    body = body.subtracted(circle(QPointF(0, -7), 3.6));
    body = body.united(circle(QPointF(0, -7), 1.9));
    for (qreal y : {-0.5, 2.5, 5.5})
        body = body.subtracted(roundRect(QRectF(-4.5, y - 0.75, 9, 1.5), 0.75));
    body = body.subtracted(circle(QPointF(0, 10), 1.7));
    return body.simplified();
}

QPainterPath ringWaves() {
    QPainterPath p;
    for (qreal r : {13.5, 18.0}) {
        p.addPath(arc(QPointF(0, 0), r, -32, 64));
        p.addPath(arc(QPointF(0, 0), r, 148, 64));
    }
    return outline(p, 2.2);
}

QPainterPath cameraGlyph() {
    QPainterPath p = roundRect(QRectF(-13, -7, 26, 17.5), 3.5);
    p = p.united(roundRect(QRectF(-5, -10.5, 10, 5.5), 1.6));
    p = p.subtracted(circle(QPointF(0, 1.8), 6.4));
    p = p.united(circle(QPointF(0, 1.8), 3.9));
    p = p.subtracted(roundRect(QRectF(7.5, -4.5, 3.2, 2), 0.8));
    return p.simplified();
}

QPainterPath flashSpark(QPointF c) {
    QPainterPath p;
    for (int i = 0; i < 4; ++i) {
        QLineF l(c, c + QPointF(4.2, 0));
        l.setAngle(45 + 90 * i);
        QLineF inner(c, c + QPointF(1.6, 0));
        inner.setAngle(l.angle());
        p.moveTo(inner.p2());
        p.lineTo(l.p2());
    }
    for (int i = 0; i < 4; ++i) {
        QLineF l(c, c + QPointF(6.0, 0));
        l.setAngle(90 * i);
        QLineF inner(c, c + QPointF(2.0, 0));
        inner.setAngle(l.angle());
        p.moveTo(inner.p2());
        p.lineTo(l.p2());
    }
    return outline(p, 1.6);
}

// A handset drawn upright (grip bulging left, ear and mouth pieces facing right),
// then laid on the diagonal like the familiar telephone sign.
QPainterPath handsetGlyph() {
    QPainterPath grip(QPointF(1, -10));
    grip.cubicTo(QPointF(-8.5, -7.5), QPointF(-8.5, 7.5), QPointF(1, 10));
    QPainterPath p = outline(grip, 4.4);
    p = p.united(roundRect(QRectF(-3, -14.5, 11.5, 7.5), 3.2));
    p = p.united(roundRect(QRectF(-3, 7, 11.5, 7.5), 3.2));
    return QTransform().rotate(-45).map(p).simplified();
}

QPainterPath padlockGlyph(bool open) {
    QPainterPath body = roundRect(QRectF(-8.5, -2, 17, 13.5), 2.6);
    QPainterPath hole = circle(QPointF(0, 3.3), 2.1).united(roundRect(QRectF(-0.95, 3.3, 1.9, 4.6), 0.9));
    body = body.subtracted(hole);
    QPainterPath shackle;
    if (!open) {
        shackle.moveTo(-5, 0);
        shackle.lineTo(-5, -6);
        shackle.arcTo(QRectF(-5, -11, 10, 10), 180, -180);
        shackle.lineTo(5, 0);
    } else {
        // Lifted: the left leg still in the body, the right one free above it.
        shackle.moveTo(-5, 0);
        shackle.lineTo(-5, -10);
        shackle.arcTo(QRectF(-5, -15, 10, 10), 180, -180);
        shackle.lineTo(5, -7);
    }
    return body.united(outline(shackle, 2.6, Qt::FlatCap)).simplified();
}

QPainterPath openDoorGlyph() {
    QPainterPath frame = outline(roundRect(QRectF(-7.5, -12, 15, 24), 0.8), 1.8, Qt::FlatCap);
    QPolygonF leafPoly;
    leafPoly << QPointF(-7.5, -12) << QPointF(1.5, -14.8) << QPointF(1.5, 14.8) << QPointF(-7.5, 12);
    QPainterPath leaf;
    leaf.addPolygon(leafPoly);
    leaf.closeSubpath();
    leaf = leaf.subtracted(circle(QPointF(-1, 0.8), 1.4));
    return frame.united(leaf).simplified();
}

QPainterPath gearGlyph() {
    QPainterPath p = circle(QPointF(0, 0), 3.7);
    for (int i = 0; i < 8; ++i)
        p = p.united(QTransform().rotate(45.0 * i).map(roundRect(QRectF(-1.05, -5.5, 2.1, 2.8), 0.4)));
    return p.subtracted(circle(QPointF(0, 0), 1.6)).simplified();
}

QPainterPath crossGlyph(qreal half, qreal width) {
    return line(QPointF(-half, -half), QPointF(half, half), width)
        .united(line(QPointF(half, -half), QPointF(-half, half), width))
        .simplified();
}

// ---- painting helpers ----

void paintGlyph(QPainter& p, const QPainterPath& glyph, QPointF at, const QColor& colour = kGlyph,
                int shadowAlpha = 75) {
    const QPainterPath g = glyph.translated(at);
    p.setPen(Qt::NoPen);
    if (shadowAlpha > 0) p.fillPath(g.translated(0, 1), QColor(0, 0, 0, shadowAlpha));
    p.fillPath(g, colour);
}

// Rounded key with a soft shadow, a dark rim and a one-pixel highlight on top.
void paintKey(QPainter& p, const QRectF& r, const Fill& fill, bool pressed = false) {
    const qreal radius = 7;
    const QPainterPath body = roundRect(r, radius);
    p.setPen(Qt::NoPen);
    if (!pressed) p.fillPath(body.translated(0, 1), QColor(0, 0, 0, 110));
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, fill.top);
    g.setColorAt(1, fill.bottom);
    p.fillPath(body, g);
    const QPainterPath inner = roundRect(r.adjusted(1, 1, -1, -1), radius - 1);
    const QPainterPath rim = body.subtracted(inner);
    p.fillPath(rim, QColor(kOutline.red(), kOutline.green(), kOutline.blue(), 150));
    if (pressed) {
        // Inner shadow along the top edge reads as pushed in.
        p.fillPath(inner.subtracted(inner.translated(0, 2)), QColor(0, 0, 0, 70));
    } else {
        p.fillPath(inner.subtracted(inner.translated(0, 1)), QColor(255, 255, 255, 45));
    }
}

// Button picture of the strip: w x 41 with the key inset so neighbours never touch.
QImage button(int w, const Fill& fill, bool pressed = false) {
    QImage img = canvas(w, 41);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    paintKey(p, QRectF(1, 1, w - 4, 38), fill, pressed);
    return img;
}

// Centre of the key drawn by button(): glyphs are placed relative to it.
QPointF keyCentre(int w) {
    return QPointF(1 + (w - 4) / 2.0, 20);
}

QImage doorPhoneButton(const Fill& fill, bool ringing) {
    const int w = 85;
    QImage img = button(w, fill);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = keyCentre(w);
    paintGlyph(p, doorPhoneGlyph(), c);
    if (ringing) paintGlyph(p, ringWaves(), c);
    return img;
}

QImage cameraButton(bool pressed) {
    const int w = 62;
    QImage img = button(w, pressed ? kPressed : kIdle, pressed);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPointF c = keyCentre(w) + QPointF(0, 1);
    if (pressed) {
        c += QPointF(0, 1);
        paintGlyph(p, cameraGlyph(), c, QColor(0xe8, 0xea, 0xed), 0);
        paintGlyph(p, flashSpark(c + QPointF(14.5, -10.5)), QPointF(0, 0), QColor(0xff, 0xd2, 0x5a), 0);
    } else {
        paintGlyph(p, cameraGlyph(), c);
    }
    return img;
}

enum class CallState { Idle, Outgoing, Incoming };

QImage telephoneButton(CallState state) {
    const int w = 82;
    const Fill& fill = state == CallState::Idle ? kIdle : state == CallState::Outgoing ? kBlue : kGreen;
    QImage img = button(w, fill);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = keyCentre(w);
    if (state == CallState::Idle) {
        paintGlyph(p, handsetGlyph(), c + QPointF(0, 1));
        return img;
    }
    // Handset left of centre, the direction arrow in the free corner at its right.
    const QPointF h = c + QPointF(-4, 2);
    paintGlyph(p, handsetGlyph(), h);
    const QPointF inner = h + QPointF(6, -6), outer = h + QPointF(14, -14);
    paintGlyph(p,
               state == CallState::Outgoing ? arrow(inner, outer, 2.2, 5.5) : arrow(outer, inner, 2.2, 5.5),
               QPointF(0, 0));
    return img;
}

QImage lockButton(int number, const Fill& fill, const QPainterPath& glyph) {
    const int w = 90;
    QImage img = button(w, fill);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = keyCentre(w);
    paintGlyph(p, glyph, c + QPointF(-9, 1));
    paintGlyph(p, text(QString::number(number), font(true, 21), QPointF(0, 0)), c + QPointF(11, 1.5));
    return img;
}

QImage stripBackground() {
    QImage img(459, 62, QImage::Format_RGB32); // opaque: no alpha channel in the file
    QPainter p(&img);
    QLinearGradient g(0, 0, 0, 62);
    g.setColorAt(0, QColor(0x2e, 0x32, 0x38));
    g.setColorAt(1, QColor(0x23, 0x26, 0x2b));
    p.fillRect(img.rect(), g);
    p.fillRect(QRect(0, 0, 459, 1), QColor(0x41, 0x46, 0x4e));
    p.fillRect(QRect(0, 61, 459, 1), QColor(0x18, 0x1a, 0x1e));
    // A faint groove above the keys separates them from the video picture.
    p.fillRect(QRect(20, 11, 419, 1), QColor(0x1a, 0x1d, 0x21));
    p.fillRect(QRect(20, 12, 419, 1), QColor(0x3a, 0x3f, 0x46));
    return img;
}

QImage noVideo() {
    QImage img(384, 288, QImage::Format_RGB32);
    img.fill(QColor(0x1f, 0x22, 0x26));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x2e, 0x32, 0x38), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(7, 7, 370, 274), 10, 10);

    // Video camera, crossed out; the slash is cut free of the body by a gap.
    QPainterPath cam = roundRect(QRectF(-40, -24, 54, 48), 9);
    QPolygonF lens;
    lens << QPointF(18, -7) << QPointF(38, -20) << QPointF(38, 20) << QPointF(18, 7);
    QPainterPath lensPath;
    lensPath.addPolygon(lens);
    lensPath.closeSubpath();
    cam = cam.united(outline(lensPath, 5).united(lensPath));
    const QPointF a(-42, -38), b(42, 38);
    cam = cam.subtracted(line(a, b, 15)).united(line(a, b, 6)).simplified();
    const QColor grey(0x7d, 0x84, 0x8d);
    paintGlyph(p, cam, QPointF(192, 122), grey, 0);
    paintGlyph(p, text(QStringLiteral("NO VIDEO"), font(true, 22, 4), QPointF(0, 0)), QPointF(194, 204), grey,
               0);
    return img;
}

// Title-bar strip and its buttons share one look so that the small picture can
// sit on top of the long one without a seam.
void paintTitleBackground(QPainter& p, int w) {
    QLinearGradient g(0, 0, 0, 26);
    g.setColorAt(0, QColor(0x3b, 0x40, 0x47));
    g.setColorAt(1, QColor(0x26, 0x29, 0x2e));
    p.fillRect(QRect(0, 0, w, 26), g);
    p.fillRect(QRect(0, 0, w, 1), QColor(0x4c, 0x52, 0x5a));
    p.fillRect(QRect(0, 25, w, 1), QColor(0x17, 0x19, 0x1c));
}

void paintTitleButtons(QPainter& p, const qreal centres[3]) {
    const qreal y = 12.5, r = 9;
    const QPainterPath glyphs[3] = {
        gearGlyph(),
        roundRect(QRectF(-4.5, 0.4, 9, 2.3), 1.1),
        crossGlyph(3.3, 2.0),
    };
    for (int i = 0; i < 3; ++i) {
        const QPointF c(centres[i] + 0.5, y); // on the pixel centre, so the circle is symmetric
        const Fill fill = i == 2 ? Fill{QColor(0xe0, 0x53, 0x48), QColor(0xbe, 0x34, 0x2c)}
                                 : Fill{QColor(0x5a, 0x61, 0x6b), QColor(0x46, 0x4c, 0x55)};
        p.setPen(Qt::NoPen);
        p.fillPath(circle(c + QPointF(0, 1), r), QColor(0, 0, 0, 90));
        QLinearGradient g(c - QPointF(0, r), c + QPointF(0, r));
        g.setColorAt(0, fill.top);
        g.setColorAt(1, fill.bottom);
        p.fillPath(circle(c, r), g);
        p.fillPath(circle(c, r).subtracted(circle(c, r - 1)), QColor(0x17, 0x19, 0x1c, 140));
        paintGlyph(p, glyphs[i], c, kGlyph, 60);
    }
}

QImage titleBar() {
    QImage img(922, 26, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    paintTitleBackground(p, 922);
    // Small door-phone mark in the accent colour, then the product name.
    paintGlyph(p, QTransform().scale(0.5, 0.5).map(doorPhoneGlyph()), QPointF(16, 12.5),
               QColor(0x5c, 0xa0, 0xf5), 0);
    const QFont bold = font(true, 13), regular = font(false, 13);
    p.setPen(QColor(0xff, 0xff, 0xff));
    p.setFont(bold);
    const qreal baseline = 17.5;
    p.drawText(QPointF(27, baseline), QStringLiteral("VELNORA"));
    const qreal x = 27 + QFontMetricsF(bold).horizontalAdvance(QStringLiteral("VELNORA")) + 4;
    p.setPen(QColor(0xc5, 0xcb, 0xd3));
    p.setFont(regular);
    p.drawText(QPointF(x, baseline), QStringLiteral("Manager"));
    const qreal centres[3] = {864, 888, 911};
    paintTitleButtons(p, centres);
    return img;
}

QImage titleButtons() {
    QImage img(70, 26, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    paintTitleBackground(p, 70);
    const qreal centres[3] = {12, 35, 56};
    paintTitleButtons(p, centres);
    return img;
}

// Drawn on a 64-pixel grid and scaled, so that the menu's icon in every size
// is the window's own.
QImage appIcon(int size = 64) {
    QImage img = canvas(size, size);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    if (size != 64) p.scale(size / 64.0, size / 64.0);
    const QPainterPath tile = roundRect(QRectF(2, 2, 60, 60), 14);
    p.setPen(Qt::NoPen);
    QLinearGradient g(0, 2, 0, 62);
    g.setColorAt(0, QColor(0x4f, 0x9a, 0xf7));
    g.setColorAt(1, QColor(0x24, 0x63, 0xc9));
    p.fillPath(tile, g);
    p.fillPath(tile.subtracted(roundRect(QRectF(3, 3, 58, 58), 13)), QColor(0x10, 0x2a, 0x55, 120));
    const QPainterPath glyph = QTransform().scale(1.55, 1.55).map(doorPhoneGlyph());
    paintGlyph(p, glyph, QPointF(32, 32), kGlyph, 70);
    return img;
}

} // namespace

bool makePictures(const QString& dir) {
    loadFonts();
    bool ok = true;
    auto put = [&](const QImage& img, const char* name) {
        ok = save(img, dir, QString::fromUtf8(name)) && ok;
    };

    put(stripBackground(), "pozadi_male.png");
    put(noVideo(), "camera_not present.png");

    put(doorPhoneButton(kIdle, false), "button_Q7M_male.png");
    put(doorPhoneButton(kAmber, true), "button_Q7M_male_zvoni.png");

    put(cameraButton(false), "button_fotak_maly.png");
    put(cameraButton(true), "button_fotak_maly_foti.png");

    put(telephoneButton(CallState::Idle), "button_telefon_maly.png");
    put(telephoneButton(CallState::Outgoing), "button_telefon_maly_zvoni_odchozi_hovor.png");
    put(telephoneButton(CallState::Incoming), "button_telefon_maly_zvoni_prichozi_hovor.png");

    // The door-open pictures replace the lock pictures, so they take the lock key's size.
    for (int n : {1, 2}) {
        const QString stem = QStringLiteral("button_zamek%1_maly").arg(n);
        put(lockButton(n, kIdle, padlockGlyph(false)), qPrintable(stem + ".png"));
        put(lockButton(n, kGreen, padlockGlyph(true)), qPrintable(stem + "_otevreny.png"));
        put(lockButton(n, kRed, openDoorGlyph()),
            qPrintable(QStringLiteral("button_dvere%1_otevrene_pasivni.png").arg(n)));
    }

    put(titleBar(), "title_bar.png");
    put(titleButtons(), "title_buttons.png");
    put(appIcon(), "app_icon.png");
    return ok;
}

bool makeDesktopIcons(const QString& dir) {
    loadFonts();
    bool ok = true;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(dir).arg(size);
        if (!QDir().mkpath(folder)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
            ok = false;
            continue;
        }
        ok = save(appIcon(size), folder, QStringLiteral("velnora-manager.png")) && ok;
    }
    return ok;
}
