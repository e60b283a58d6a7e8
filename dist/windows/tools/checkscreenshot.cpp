// Tells whether a picture of the window taken under wine shows what the demonstration's archived
// Meipai page gives, by comparing it with the same picture taken on Linux: the skin on the
// buttons, the cover and the avatar from the archive, and text where the author and the
// archive's line stand. The fonts differ between the systems, so text is only looked for.
// Usage: zavlen-check-screenshot WINDOWS.png REFERENCE.png
#include <QCoreApplication>
#include <QImage>
#include <QTextStream>

#include <cstdlib>

namespace {

QTextStream out(stdout);

double meanDifference(const QImage &a, const QImage &b, const QRect &r)
{
    double sum = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            sum += std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) + std::abs(p.blue() - q.blue());
        }
    }
    return sum / (3.0 * r.width() * r.height());
}

// Pixels that stand out from the region's first pixel: strokes of text on a plain ground.
int strokes(const QImage &image, const QRect &r)
{
    const QColor ground = image.pixelColor(r.topLeft());
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor p = image.pixelColor(x, y);
            n += std::abs(p.lightness() - ground.lightness()) > 60;
        }
    }
    return n;
}

bool check(bool ok, const QString &what)
{
    out << (ok ? "ok    " : "FAIL  ") << what << Qt::endl;
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        out << "usage: zavlen-check-screenshot WINDOWS.png REFERENCE.png" << Qt::endl;
        return 2;
    }
    const QImage shot = QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_RGB32);
    const QImage reference = QImage(QString::fromLocal8Bit(argv[2])).convertToFormat(QImage::Format_RGB32);
    if (!check(!shot.isNull() && shot.size() == QSize(777, 571), QStringLiteral("a picture of the whole window")))
        return 1;
    bool ok = true;
    const QColor button = shot.pixelColor(30, 268);
    ok &= check(button.hsvSaturation() > 100, QStringLiteral("the skin on Command1 (%1)").arg(button.name()));
    const double cover = meanDifference(shot, reference, QRect(376, 104, 377, 397));
    ok &= check(cover < 16, QStringLiteral("the archived cover in Image1 (mean difference %1)").arg(cover, 0, 'f', 1));
    const double avatar = meanDifference(shot, reference, QRect(32, 320, 65, 65));
    ok &= check(avatar < 24, QStringLiteral("the archived avatar in Image2 (mean difference %1)").arg(avatar, 0, 'f', 1));
    const int author = strokes(shot, QRect(112, 322, 220, 22));
    ok &= check(author > 40, QStringLiteral("the author's name in Label1 (%1 pixels of text)").arg(author));
    const int archive = strokes(shot, QRect(112, 388, 220, 14));
    ok &= check(archive > 20, QStringLiteral("the archive's line (%1 pixels of text)").arg(archive));
    return ok ? 0 : 1;
}
