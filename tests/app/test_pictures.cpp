#include "app/pictures.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdlib>

using namespace App;

// The window's pictures are read on a thread of their own: whatever the order they are taken in,
// taken twice or never, each is the very picture read directly would give.
class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    void sameAsReadDirectly_data();
    void sameAsReadDirectly();
    void formatFromName_data();
    void formatFromName();
    void neverTaken();
    void shownAsPainted_data();
    void shownAsPainted();
};

namespace {

const QStringList assets = {
    QStringLiteral(":/assets/badge_weishi.jpg"), QStringLiteral(":/assets/badge_red.jpg"),
    QStringLiteral(":/assets/logo.jpg"),         QStringLiteral(":/assets/buttons.jpg"),
    QStringLiteral(":/assets/frame.jpg"),        QStringLiteral(":/assets/placeholder.png"),
    QStringLiteral(":/assets/play.png"),         QStringLiteral(":/assets/play_dim.png"),
    QStringLiteral(":/assets/hand.png"),
};

} // namespace

void TestPictures::sameAsReadDirectly_data()
{
    QTest::addColumn<QStringList>("loaded");
    QTest::addColumn<QStringList>("taken");

    QStringList reversed(assets.crbegin(), assets.crend());
    QTest::newRow("in order") << assets << assets;
    QTest::newRow("in the other order") << assets << reversed;
    QTest::newRow("each twice") << assets << (assets + assets);
    QTest::newRow("one loaded twice") << QStringList{assets[2], assets[2]} << QStringList{assets[2], assets[2]};
    QTest::newRow("some not loaded") << assets.mid(0, 3) << assets;
    QTest::newRow("nothing loaded") << QStringList() << assets;
    QTest::newRow("missing pictures")
        << QStringList{QStringLiteral(":/assets/none.png"), assets[0]}
        << QStringList{QStringLiteral(":/assets/none.png"), assets[0], QStringLiteral(":/assets/none.jpg")};
}

void TestPictures::sameAsReadDirectly()
{
    QFETCH(QStringList, loaded);
    QFETCH(QStringList, taken);
    PictureLoader loader(loaded);
    for (const QString &path : taken) {
        const QImage picture = loader.take(path);
        QCOMPARE(picture, QImage(path));
        QCOMPARE(picture.isNull(), !QFile::exists(path));
    }
}

void TestPictures::formatFromName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<bool>("readable");
    QTest::newRow("png") << QStringLiteral("a.png") << QByteArray("png") << true;
    QTest::newRow("upper-case suffix") << QStringLiteral("a.PNG") << QByteArray("png") << true;
    QTest::newRow("jpeg") << QStringLiteral("a.jpg") << QByteArray("jpg") << true;
    // Only the program's own pictures are read this way, and their names are right.
    QTest::newRow("png named jpg") << QStringLiteral("a.jpg") << QByteArray("png") << false;
}

void TestPictures::formatFromName()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(bool, readable);
    QTemporaryDir dir;
    QImage image(7, 5, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QString path = dir.filePath(name);
    QVERIFY(image.save(path, format.constData()));
    const QImage read = readPicture(path);
    QCOMPARE(!read.isNull(), readable);
    if (readable)
        QCOMPARE(read.size(), QSize(7, 5));
}

void TestPictures::neverTaken()
{
    for (int i = 0; i < 5; ++i)
        PictureLoader loader(assets);
    PictureLoader empty({});
    QCOMPARE(empty.take(assets[0]), QImage(assets[0]));
}

void TestPictures::shownAsPainted_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");

    QTest::newRow("placeholder, at its own size") << assets[5] << QSize(380, 400);
    QTest::newRow("play button, shrunk into its place") << assets[6] << QSize(377, 397);
    QTest::newRow("dimmed play button, shrunk") << assets[7] << QSize(377, 397);
    QTest::newRow("play button, stretched") << assets[6] << QSize(500, 420);
    QTest::newRow("hand, halved") << assets[8] << QSize(16, 16);
    QTest::newRow("no alpha: logo, shrunk") << assets[2] << QSize(300, 60);
}

// However it is scaled, the shown picture is the picture at that size, ready to be drawn: the
// loader's copy made ahead and the one made at paint time are the same.
void TestPictures::shownAsPainted()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage source(path);
    QVERIFY(!source.isNull());

    const QImage shown = shownPicture(source, size);
    QCOMPARE(shown.size(), size);
    QCOMPARE(shown.format(), source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : source.format());
    PictureLoader loader({}, {{path, size}});
    QCOMPARE(loader.takeShown(path, size), shown);
    QCOMPARE(source, QImage(path)); // the caller's picture is left as it was

    // Against the plainest scaling of the unconverted picture, no colour or transparency moves
    // by more than rounding and the choice of scaler explain.
    const QImage plain = source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_ARGB32);
    const QImage ours = shown.convertToFormat(QImage::Format_ARGB32);
    int worst = 0;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QRgb a = plain.pixel(x, y);
            const QRgb b = ours.pixel(x, y);
            // Colours under an almost transparent pixel do not show.
            const int weight = std::min(qAlpha(a), qAlpha(b));
            int d = std::abs(qAlpha(a) - qAlpha(b));
            if (weight > 32) {
                d = std::max({d, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))});
            }
            worst = std::max(worst, d);
        }
    }
    QVERIFY2(worst <= 16, qPrintable(QStringLiteral("a channel moved by %1").arg(worst)));
}

QTEST_MAIN(TestPictures)
#include "test_pictures.moc"
