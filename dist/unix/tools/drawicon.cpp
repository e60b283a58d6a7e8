// Paints the application icon at every size the hicolor theme gets, from the same geometry as
// the hand-written scalable icon next to it.
// Usage: zavlen-draw-icon ICONS_DIR   (run with QT_QPA_PLATFORM=offscreen)

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

namespace {

// Coordinates of the 256-unit canvas of the scalable icon.
void paintIcon(QPainter &p, int size)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    QLinearGradient background(0, 16, 0, 240);
    background.setColorAt(0, QColor(0x48, 0xce, 0xc2));
    background.setColorAt(1, QColor(0x14, 0xb2, 0xa4));
    p.setPen(Qt::NoPen);
    p.setBrush(background);
    p.drawRoundedRect(QRectF(16, 16, 224, 224), 48, 48);

    const QColor white(0xff, 0xff, 0xff);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(white, 14));
    p.drawEllipse(QPointF(128, 116), 66, 66);

    QPainterPath triangle;
    triangle.moveTo(110, 84);
    triangle.lineTo(162, 116);
    triangle.lineTo(110, 148);
    triangle.closeSubpath();
    p.setPen(QPen(white, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(white);
    p.drawPath(triangle);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x00, 0xe6, 0xff));
    p.drawRoundedRect(QRectF(72, 200, 112, 14), 7, 7);
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    if (argc != 2) {
        out << "usage: zavlen-draw-icon ICONS_DIR\n";
        return 2;
    }
    bool ok = true;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            paintIcon(p, size);
        }
        const QString folder = QDir(QString::fromLocal8Bit(argv[1]))
                                   .filePath(QStringLiteral("%1x%1/apps").arg(size));
        QDir().mkpath(folder);
        const QString path = QDir(folder).filePath(QStringLiteral("org.zavlen.ZavlenVideo.png"));
        const bool saved = image.save(path, "PNG");
        out << (saved ? "wrote " : "FAILED ") << path << '\n';
        ok = ok && saved;
    }
    return ok ? 0 : 1;
}
