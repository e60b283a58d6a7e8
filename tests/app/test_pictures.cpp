#include "app/main_window.h"
#include "app/startup/pictures.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace App;

// The window's pictures are baked by the build or read on a thread of their own: whatever the
// order they are taken in, taken twice or never, each is the very picture decoding gives.
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
    void bakedFormKeepsPicture_data();
    void bakedFormKeepsPicture();
    void brokenBakedForm_data();
    void brokenBakedForm();
    void firstPaintBaked();
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

namespace {

QImage patterned(QImage::Format format, const QSize &size)
{
    QImage picture(size, format);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            picture.setPixelColor(x, y, QColor::fromRgb(37 * x % 256, 91 * y % 256, (x * y) % 256, 255 - 17 * x % 200));
    }
    return picture;
}

} // namespace

void TestPictures::bakedFormKeepsPicture_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<int>("offset"); // where the form lies in memory past an aligned start

    const QSize odd(7, 5);
    QTest::newRow("opaque, as a JPEG reads") << patterned(QImage::Format_RGB32, odd) << 0;
    QTest::newRow("with alpha, as a PNG reads") << patterned(QImage::Format_ARGB32, odd) << 0;
    QTest::newRow("premultiplied, as shown") << patterned(QImage::Format_ARGB32_Premultiplied, QSize(9, 3)) << 0;
    QTest::newRow("one pixel") << patterned(QImage::Format_ARGB32, QSize(1, 1)) << 0;
    QTest::newRow("three bytes a pixel, padded rows") << patterned(QImage::Format_RGB888, odd) << 0;
    QTest::newRow("grey, padded rows") << patterned(QImage::Format_Grayscale8, QSize(5, 3)) << 0;
    QTest::newRow("misaligned by one") << patterned(QImage::Format_RGB32, odd) << 1;
    QTest::newRow("misaligned by two, padded rows") << patterned(QImage::Format_RGB888, odd) << 2;
}

void TestPictures::bakedFormKeepsPicture()
{
    QFETCH(QImage, picture);
    QFETCH(int, offset);
    const QByteArray form = bakedForm(picture);
    QVERIFY(!form.isEmpty());
    QByteArray memory(offset + form.size() + 16, '\0');
    auto *start = reinterpret_cast<uchar *>(memory.data());
    start += (16 - reinterpret_cast<quintptr>(start) % 16) % 16 + offset;
    std::memcpy(start, form.constData(), std::size_t(form.size()));

    const QImage back = fromBakedForm(start, form.size());
    QCOMPARE(back.format(), picture.format());
    QCOMPARE(back, picture);
    // Aligned, the picture is drawn from the stored form itself; misaligned, from a copy.
    const bool inPlace = back.constBits() >= start && back.constBits() < start + form.size();
    QCOMPARE(inPlace, offset == 0);
}

void TestPictures::brokenBakedForm_data()
{
    QTest::addColumn<QByteArray>("form");

    const QByteArray good = bakedForm(patterned(QImage::Format_RGB32, QSize(4, 3)));
    const auto field = [&good](int index, quint32 value) {
        QByteArray form = good;
        std::memcpy(form.data() + 4 + 4 * index, &value, sizeof value);
        return form;
    };
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("header only") << good.left(32);
    QTest::newRow("a byte short") << good.chopped(1);
    QTest::newRow("a byte over") << good + '\0';
    QTest::newRow("another magic") << QByteArray("ZPX2").append(good.mid(4));
    QTest::newRow("no width") << field(0, 0);
    QTest::newRow("no height") << field(1, 0);
    QTest::newRow("taller than its pixels") << field(1, 4);
    QTest::newRow("absurdly tall") << field(1, 0x7fffffff);
    QTest::newRow("invalid format") << field(2, 0);
    QTest::newRow("unknown format") << field(2, 9999);
    QTest::newRow("indexed format") << field(2, quint32(QImage::Format_Indexed8));
    QTest::newRow("rows narrower than their pixels") << field(3, 8);
    QTest::newRow("baked on a machine of the other byte order") << field(4, 0x04030201);
    QTest::newRow("of no byte order") << field(4, 0);
}

void TestPictures::brokenBakedForm()
{
    QFETCH(QByteArray, form);
    QVERIFY(fromBakedForm(reinterpret_cast<const uchar *>(form.constData()), form.size()).isNull());
}

// Every picture the first paint shows comes baked: none is decoded or scaled at start-up. That
// each copy is what decoding gives, the tests above check through the loader.
void TestPictures::firstPaintBaked()
{
    for (const QString &path : Form1::firstPaintPictures())
        QVERIFY2(!bakedPicture(path).isNull(), qPrintable(path));
    for (const auto &[path, size] : Form1::firstPaintPreviews())
        QVERIFY2(!bakedPicture(path, size).isNull(), qPrintable(path));
    QVERIFY(bakedPicture(QStringLiteral(":/assets/play_dim.png")).isNull()); // hidden at first
    QVERIFY(bakedForm(QImage(4, 4, QImage::Format_Indexed8)).isEmpty());
}

QTEST_MAIN(TestPictures)
#include "test_pictures.moc"
