#include "app/pictures.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

QTEST_MAIN(TestPictures)
#include "test_pictures.moc"
