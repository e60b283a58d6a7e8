// Paints the application icon at every size the hicolor theme gets, from the same geometry as
// the hand-written scalable icon next to it, and the same pictures as the Windows icon file.
// Usage: zavlen-draw-icon ICONS_DIR [ICO_FILE]   (run with QT_QPA_PLATFORM=offscreen)

#include <QBuffer>
#include <QDir>
#include <QFile>
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

// An .ico of PNG pictures, as Windows takes them since Vista: a directory of entries, then the
// pictures themselves.
bool saveIco(const QString &path, const QList<QImage> &images)
{
    QByteArray directory;
    QByteArray pictures;
    const auto put16 = [&directory](int v) { directory.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); };
    const auto put32 = [&put16](qint64 v) { put16(int(v & 0xffff)); put16(int((v >> 16) & 0xffff)); };
    put16(0);
    put16(1); // an icon, not a cursor
    put16(int(images.size()));
    const qint64 first = 6 + 16 * images.size();
    for (const QImage &image : images) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG"))
            return false;
        directory.append(char(image.width() >= 256 ? 0 : image.width()));
        directory.append(char(image.height() >= 256 ? 0 : image.height()));
        directory.append(char(0)).append(char(0));
        put16(1);  // planes
        put16(32); // bits per pixel
        put32(png.size());
        put32(first + pictures.size());
        pictures += png;
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(directory + pictures) == directory.size() + pictures.size();
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    if (argc != 2 && argc != 3) {
        out << "usage: zavlen-draw-icon ICONS_DIR [ICO_FILE]\n";
        return 2;
    }
    bool ok = true;
    QList<QImage> images;
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
        images.append(image);
    }
    if (argc == 3) {
        const QString ico = QString::fromLocal8Bit(argv[2]);
        const bool saved = saveIco(ico, images);
        out << (saved ? "wrote " : "FAILED ") << ico << '\n';
        ok = ok && saved;
    }
    return ok ? 0 : 1;
}
