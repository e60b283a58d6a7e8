// Paints the window's pictures and the demo site's cover and avatar.
// Usage: zavlen-draw-assets ASSETS_DIR MEDIA_DIR   (run with QT_QPA_PLATFORM=offscreen)

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <cmath>

namespace {

const QColor teal(20, 178, 164);
const QColor tealLight(72, 206, 194);
const QColor cyanBright(0, 230, 255);
const QColor redDark(150, 20, 24);
const QString cjkFamily = QStringLiteral("WenQuanYi Micro Hei");

bool save(const QImage &image, const QString &dir, const QString &name)
{
    const QString path = QDir(dir).filePath(name);
    const bool jpeg = name.endsWith(QLatin1String(".jpg"));
    const bool ok = image.save(path, jpeg ? "JPEG" : "PNG", jpeg ? 95 : -1);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << '\n';
    return ok;
}

QFont cjkFont(int pixelSize, bool bold)
{
    QFont f(cjkFamily);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

// A rounded play triangle centred on c, pointing right.
QPainterPath playTriangle(QPointF c, qreal size)
{
    QPainterPath p;
    const qreal h = size * std::sqrt(3.0) / 2;
    p.moveTo(c.x() - h / 3, c.y() - size / 2);
    p.lineTo(c.x() + 2 * h / 3, c.y());
    p.lineTo(c.x() - h / 3, c.y() + size / 2);
    p.closeSubpath();
    return p;
}

void drawEmblem(QPainter &p, QPointF c, qreal r, const QColor &ring, const QColor &mark)
{
    p.setPen(QPen(ring, r * 0.14));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.setPen(QPen(mark, r * 0.08, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(mark);
    p.drawPath(playTriangle(c + QPointF(r * 0.06, 0), r * 0.9));
}

QImage logo()
{
    QImage img(347, 70, QImage::Format_RGB32);
    img.fill(teal);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawEmblem(p, QPointF(30, 35), 21, Qt::white, Qt::white);

    p.setPen(Qt::white);
    p.setFont(cjkFont(24, true));
    p.drawText(QRect(62, 6, 280, 32), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("ZavlenAPP视频助手"));
    p.setPen(QColor(222, 248, 245));
    p.setFont(cjkFont(13, false));
    p.drawText(QRect(63, 40, 280, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("微视 · 美拍 · 秒拍 · GIF快手"));
    return img;
}

void drawMinus(QPainter &p, const QRect &r)
{
    const QPointF c = QRectF(r).center();
    p.fillRect(QRectF(c.x() - 5, c.y() - 0.5 + 2, 10, 2), Qt::white);
}

void drawCross(QPainter &p, const QRect &r)
{
    const QPointF c = QRectF(r).center();
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c + QPointF(-4.5, -4.5), c + QPointF(4.5, 4.5));
    p.drawLine(c + QPointF(-4.5, 4.5), c + QPointF(4.5, -4.5));
}

QImage buttons()
{
    QImage img(70, 69, QImage::Format_RGB32);
    QPainter p(&img);
    p.fillRect(0, 0, 70, 21, teal);
    p.fillRect(0, 21, 70, 20, tealLight);
    p.fillRect(0, 41, 29, 28, cyanBright);
    p.fillRect(29, 41, 41, 28, redDark);
    p.setRenderHint(QPainter::Antialiasing);
    const int minTops[] = {0, 21, 41};
    const int closeTops[] = {0, 21, 42};
    for (int i = 0; i < 3; ++i) {
        drawMinus(p, QRect(0, minTops[i], 29, 20));
        drawCross(p, QRect(29, closeTops[i], 41, 20));
    }
    return img;
}

QImage frame()
{
    QImage img(13, 101, QImage::Format_RGB32);
    img.fill(teal);
    return img;
}

QImage badge(const QColor &fill, bool withV)
{
    QImage img(25, 25, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(fill.darker(115), 1));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1.5, 1.5, 22, 22));
    p.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    if (withV) {
        QPainterPath v;
        v.moveTo(7.5, 8);
        v.lineTo(12.5, 17.5);
        v.lineTo(17.5, 8);
        p.drawPath(v);
    } else {
        // a tick, so the yellow badge reads as "verified" too
        QPainterPath t;
        t.moveTo(7.5, 12.5);
        t.lineTo(11, 16);
        t.lineTo(17.5, 8.5);
        p.drawPath(t);
    }
    return img;
}

QImage playButton(bool dim)
{
    QImage img(385, 405, QImage::Format_ARGB32);
    img.fill(QColor(38, 38, 38, 150));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor mark = dim ? QColor(255, 255, 255, 110) : QColor(255, 255, 255, 240);
    drawEmblem(p, QPointF(192.5, 202.5), 58, mark, mark);
    return img;
}

QImage placeholder()
{
    QImage img(380, 400, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(190, 200);
    const QColor grey(170, 170, 170, 220);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(grey, 6));
    p.drawEllipse(c, 150, 150);
    p.setPen(QPen(grey, 3));
    p.drawEllipse(c, 132, 132);

    const qreal r = 100;
    p.setPen(QPen(grey, 5));
    p.drawEllipse(c, r, r);
    p.setPen(QPen(grey, 3));
    for (qreal w : {r * 0.45, r * 0.85})
        p.drawEllipse(c, w, r);
    p.drawLine(c + QPointF(0, -r), c + QPointF(0, r));
    for (qreal y : {-0.5, 0.0, 0.5}) {
        const qreal half = r * std::sqrt(1 - y * y);
        p.drawLine(c + QPointF(-half, y * r), c + QPointF(half, y * r));
    }
    return img;
}

// Black outline, white fill, no antialiasing: the classic monochrome look. The tip of the
// index finger is the pixel (5, 0).
QImage hand()
{
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainterPath shape;
    auto add = [&shape](qreal x, qreal y, qreal w, qreal h, qreal rad) {
        QPainterPath part;
        part.addRoundedRect(QRectF(x, y, w, h), rad, rad);
        shape = shape.united(part);
    };
    add(3.5, 0.5, 4, 17, 2);     // index finger
    add(7.5, 7.5, 4, 11, 2);     // middle
    add(11.5, 8.5, 4, 10, 2);    // ring
    add(15.5, 10.5, 4, 9, 2);    // little
    add(3.5, 13.5, 16, 10, 3);   // palm
    add(6.5, 20.5, 12, 8, 1);    // wrist
    QPainterPath thumb;
    thumb.moveTo(4, 22);
    thumb.lineTo(0.5, 16.5);
    thumb.lineTo(1, 14);
    thumb.lineTo(3, 14);
    thumb.lineTo(5, 17);
    shape = shape.united(thumb).simplified();

    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPath(shape);
    p.drawLine(QPointF(7.5, 12.5), QPointF(7.5, 16.5));
    p.drawLine(QPointF(11.5, 13.5), QPointF(11.5, 16.5));
    p.drawLine(QPointF(15.5, 14.5), QPointF(15.5, 17.5));
    p.end();
    // A pointed, symmetric tip so that the hot spot (5, 0) is the fingertip itself.
    for (int y = 0; y < 2; ++y)
        for (int x = 2; x < 9; ++x)
            img.setPixelColor(x, y, Qt::transparent);
    img.setPixelColor(5, 0, Qt::black);
    img.setPixelColor(4, 1, Qt::black);
    img.setPixelColor(5, 1, Qt::white);
    img.setPixelColor(6, 1, Qt::black);
    for (int x = 4; x < 7; ++x)
        img.setPixelColor(x, 2, Qt::white);
    return img;
}

QImage cover()
{
    QImage img(480, 480, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 480);
    sky.setColorAt(0, QColor(255, 196, 120));
    sky.setColorAt(0.55, QColor(240, 110, 120));
    sky.setColorAt(1, QColor(70, 60, 130));
    p.fillRect(img.rect(), sky);
    QRadialGradient sun(QPointF(330, 190), 70);
    sun.setColorAt(0, QColor(255, 250, 220));
    sun.setColorAt(1, QColor(255, 230, 150, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawEllipse(QPointF(330, 190), 70, 70);
    p.setBrush(QColor(255, 245, 210));
    p.drawEllipse(QPointF(330, 190), 38, 38);

    QPainterPath hills;
    hills.moveTo(0, 330);
    hills.cubicTo(120, 260, 220, 360, 480, 300);
    hills.lineTo(480, 480);
    hills.lineTo(0, 480);
    hills.closeSubpath();
    p.setBrush(QColor(40, 110, 120));
    p.drawPath(hills);
    QPainterPath near;
    near.moveTo(0, 400);
    near.cubicTo(160, 350, 300, 430, 480, 380);
    near.lineTo(480, 480);
    near.lineTo(0, 480);
    near.closeSubpath();
    p.setBrush(QColor(20, 70, 85));
    p.drawPath(near);

    p.setPen(Qt::white);
    p.setFont(cjkFont(34, true));
    p.drawText(QRect(0, 40, 480, 50), Qt::AlignCenter, QStringLiteral("示例视频"));
    p.setFont(cjkFont(16, false));
    p.drawText(QRect(0, 90, 480, 26), Qt::AlignCenter, QStringLiteral("ZavlenAPP 演示封面"));
    return img;
}

QImage avatar()
{
    QImage img(100, 100, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(QColor(255, 150, 60));
    p.drawEllipse(QRectF(2, 2, 96, 96));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 40, 30));
    p.drawEllipse(QPointF(36, 42), 6, 7);
    p.drawEllipse(QPointF(64, 42), 6, 7);
    p.setBrush(QColor(255, 110, 90, 160));
    p.drawEllipse(QPointF(26, 60), 7, 4);
    p.drawEllipse(QPointF(74, 60), 7, 4);
    p.setPen(QPen(QColor(60, 40, 30), 4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(32, 44, 36, 28), 200 * 16, 140 * 16);
    return img;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        QTextStream(stderr) << "usage: zavlen-draw-assets ASSETS_DIR MEDIA_DIR\n";
        return 2;
    }
    const QString assets = args.at(1);
    const QString media = args.at(2);
    QDir().mkpath(assets);
    QDir().mkpath(media);

    bool ok = true;
    ok &= save(logo(), assets, QStringLiteral("logo.jpg"));
    ok &= save(buttons(), assets, QStringLiteral("buttons.jpg"));
    ok &= save(frame(), assets, QStringLiteral("frame.jpg"));
    ok &= save(badge(QColor(250, 200, 20), false), assets, QStringLiteral("badge_weishi.jpg"));
    ok &= save(badge(QColor(225, 35, 40), true), assets, QStringLiteral("badge_red.jpg"));
    ok &= save(playButton(false), assets, QStringLiteral("play.png"));
    ok &= save(playButton(true), assets, QStringLiteral("play_dim.png"));
    ok &= save(placeholder(), assets, QStringLiteral("placeholder.png"));
    ok &= save(hand(), assets, QStringLiteral("hand.png"));
    ok &= save(cover(), media, QStringLiteral("cover.jpg"));
    ok &= save(avatar(), media, QStringLiteral("avatar.png"));
    return ok ? 0 : 1;
}
