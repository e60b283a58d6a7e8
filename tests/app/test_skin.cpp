#include "app/cursor.h"
#include "app/skin.h"

#include <QApplication>
#include <QFile>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace App;

class TestSkin : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void missingFileChangesNothing_data();
    void missingFileChangesNothing();
    void attachedFileBecomesStyleSheet();
    void doubledSeparatorPath();
    void oversizedFileRefused();

    void shiftColour_data();
    void shiftColour();
    void shiftSheet_data();
    void shiftSheet();

    void adjustRecoloursAttachedSheet();
    void adjustReplacesEarlierAdjustment();
    void adjustShiftsPalette();
    void shippedSkinTurnsTeal();
    void batchRestylesOnceToTheSameEnd();

    void handCursorHotSpot();

private:
    QString writeSkin(const QString &name, const QByteArray &text);
    QTemporaryDir m_dir;
};

namespace {

const QByteArray sampleSheet = "QPushButton { color: #ffffff; background-color: #003eb2; }\n";

}

QString TestSkin::writeSkin(const QString &name, const QByteArray &text)
{
    const QString path = m_dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        return {};
    return path;
}

void TestSkin::init()
{
    QVERIFY(m_dir.isValid());
    SkinH_AdjustHSV(0, 0, 0);
    qApp->setStyleSheet(QString());
}

void TestSkin::missingFileChangesNothing_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("no such file") << m_dir.filePath(QStringLiteral("nothing-here.she"));
    QTest::newRow("empty name") << QString();
    QTest::newRow("a directory") << m_dir.path();
    QTest::newRow("doubled separator, missing") << m_dir.path() + QStringLiteral("//skinh.she");
}

void TestSkin::missingFileChangesNothing()
{
    QFETCH(QString, path);
    const QString before = QStringLiteral("QLabel { color: #123456; }");
    qApp->setStyleSheet(before);
    const QPalette palette = QApplication::palette();

    QCOMPARE_NE(SkinH_AttachEx(path, QString()), int(SkinOk));
    QCOMPARE(qApp->styleSheet(), before);
    QCOMPARE(QApplication::palette(), palette);
}

void TestSkin::attachedFileBecomesStyleSheet()
{
    const QString path = writeSkin(QStringLiteral("plain.she"), sampleSheet);
    QVERIFY(!path.isEmpty());
    QCOMPARE(SkinH_AttachEx(path, QStringLiteral("any password")), int(SkinOk));
    QCOMPARE(qApp->styleSheet(), QString::fromUtf8(sampleSheet));
}

void TestSkin::doubledSeparatorPath()
{
    QVERIFY(!writeSkin(QStringLiteral("skinh.she"), sampleSheet).isEmpty());
    const QString doubled = m_dir.path() + QStringLiteral("/") + QStringLiteral("/skinh.she");
    QVERIFY(doubled.contains(QStringLiteral("//skinh.she")));
    QCOMPARE(SkinH_AttachEx(doubled, QString()), int(SkinOk));
    QCOMPARE(qApp->styleSheet(), QString::fromUtf8(sampleSheet));
}

void TestSkin::oversizedFileRefused()
{
    const QString path = writeSkin(QStringLiteral("huge.she"), QByteArray(2 * 1024 * 1024, ' '));
    QVERIFY(!path.isEmpty());
    QCOMPARE(SkinH_AttachEx(path, QString()), int(SkinUnreadable));
    QVERIFY(qApp->styleSheet().isEmpty());
}

// Expected values worked out by hand from the HSV definitions: hue turns by h degrees,
// saturation and value move the given percentage of the way towards 0 (negative) or full.
void TestSkin::shiftColour_data()
{
    QTest::addColumn<QColor>("in");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("s");
    QTest::addColumn<int>("v");
    QTest::addColumn<QColor>("expected");

    QTest::newRow("status teal, start-up shift") << QColor(20, 178, 164) << -44 << -40 << 0
                                                 << QColor(83, 178, 100);
    QTest::newRow("red, start-up shift") << QColor(255, 0, 0) << -44 << -40 << 0 << QColor(255, 102, 214);
    QTest::newRow("skin blue becomes teal") << QColor(0, 62, 178) << -44 << -40 << 0 << QColor(71, 178, 170);
    QTest::newRow("white stays white") << QColor(255, 255, 255) << -44 << -40 << 0 << QColor(255, 255, 255);
    QTest::newRow("black stays black") << QColor(0, 0, 0) << -44 << -40 << 0 << QColor(0, 0, 0);
    QTest::newRow("grey keeps no hue") << QColor(128, 128, 128) << 90 << 80 << 0 << QColor(128, 128, 128);
    QTest::newRow("hue wraps forwards") << QColor(255, 0, 0) << 120 << 0 << 0 << QColor(0, 255, 0);
    QTest::newRow("hue wraps backwards") << QColor(0, 255, 0) << -240 << 0 << 0 << QColor(0, 0, 255);
    QTest::newRow("full turn") << QColor(20, 178, 164) << 360 << 0 << 0 << QColor(20, 178, 164);
    QTest::newRow("value halves") << QColor(128, 128, 128) << 0 << 0 << -50 << QColor(64, 64, 64);
    QTest::newRow("saturation half way up") << QColor(255, 128, 128) << 0 << 50 << 0 << QColor(255, 64, 64);
    QTest::newRow("saturation gone") << QColor(255, 0, 0) << 0 << -100 << 0 << QColor(255, 255, 255);
    QTest::newRow("beyond -100 clamps") << QColor(255, 0, 0) << 0 << -250 << 0 << QColor(255, 255, 255);
    QTest::newRow("value full") << QColor(0, 0, 0) << 0 << 0 << 100 << QColor(255, 255, 255);
}

void TestSkin::shiftColour()
{
    QFETCH(QColor, in);
    QFETCH(int, h);
    QFETCH(int, s);
    QFETCH(int, v);
    QFETCH(QColor, expected);
    const QColor out = shiftHsv(in, h, s, v);
    // one unit of rounding either way
    QVERIFY2(qAbs(out.red() - expected.red()) <= 1 && qAbs(out.green() - expected.green()) <= 1
                 && qAbs(out.blue() - expected.blue()) <= 1,
             qPrintable(out.name() + QStringLiteral(" != ") + expected.name()));
}

void TestSkin::shiftSheet_data()
{
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<int>("h");
    QTest::addColumn<QString>("expected");

    QTest::newRow("long hex") << QStringLiteral("A { color: #FF0000; }") << 120
                              << QStringLiteral("A { color: #00ff00; }");
    QTest::newRow("short hex") << QStringLiteral("A { color: #f00; }") << 120
                               << QStringLiteral("A { color: #00ff00; }");
    QTest::newRow("rgb") << QStringLiteral("A { color: rgb(255,0,0); }") << 240
                         << QStringLiteral("A { color: rgb(0, 0, 255); }");
    QTest::newRow("rgba keeps alpha") << QStringLiteral("A { color: rgba( 255, 0, 0, 128 ); }") << 120
                                      << QStringLiteral("A { color: rgba(0, 255, 0, 128); }");
    QTest::newRow("rgba float alpha") << QStringLiteral("A { color: rgba(255, 0, 0, 0.5); }") << 120
                                      << QStringLiteral("A { color: rgba(0, 255, 0, 0.5); }");
    QTest::newRow("several in gradient")
        << QStringLiteral("A { background: qlineargradient(x1:0, stop:0 #ff0000, stop:1 #00ff00); }") << 120
        << QStringLiteral("A { background: qlineargradient(x1:0, stop:0 #00ff00, stop:1 #0000ff); }");
    QTest::newRow("id selector untouched") << QStringLiteral("#add, #Command1 { color: #f00; }") << 120
                                           << QStringLiteral("#add, #Command1 { color: #00ff00; }");
    QTest::newRow("not a colour") << QStringLiteral("A { image: url(:/x#abcdz.png); }") << 120
                                  << QStringLiteral("A { image: url(:/x#abcdz.png); }");
    QTest::newRow("two blocks") << QStringLiteral("A { color: #f00; }\nB:hover { color: #0f0; }") << 120
                                << QStringLiteral("A { color: #00ff00; }\nB:hover { color: #0000ff; }");
    QTest::newRow("unclosed block") << QStringLiteral("A { color: #f00;") << 120
                                    << QStringLiteral("A { color: #00ff00;");
    QTest::newRow("no adjustment normalises only") << QStringLiteral("A { color: #ABC; }") << 0
                                                   << QStringLiteral("A { color: #aabbcc; }");
}

void TestSkin::shiftSheet()
{
    QFETCH(QString, sheet);
    QFETCH(int, h);
    QFETCH(QString, expected);
    QCOMPARE(shiftStyleSheetColours(sheet, h, 0, 0), expected);
}

void TestSkin::adjustRecoloursAttachedSheet()
{
    const QString path = writeSkin(QStringLiteral("red.she"), "QPushButton { color: #ff0000; }");
    QCOMPARE(SkinH_AttachEx(path, QString()), int(SkinOk));
    SkinH_AdjustHSV(120, 0, 0);
    QCOMPARE(qApp->styleSheet(), QStringLiteral("QPushButton { color: #00ff00; }"));
    SkinH_AdjustHSV(0, 0, 0);
    QCOMPARE(qApp->styleSheet(), QStringLiteral("QPushButton { color: #ff0000; }"));
}

void TestSkin::adjustReplacesEarlierAdjustment()
{
    const QString path = writeSkin(QStringLiteral("red2.she"), "A { color: #ff0000; }");
    QCOMPARE(SkinH_AttachEx(path, QString()), int(SkinOk));
    SkinH_AdjustHSV(-44, -40, 0);
    const QString once = qApp->styleSheet();
    SkinH_AdjustHSV(-44, -40, 0);
    QCOMPARE(qApp->styleSheet(), once);
    QCOMPARE(once, shiftStyleSheetColours(QStringLiteral("A { color: #ff0000; }"), -44, -40, 0));

    // an attach after the adjustment keeps it
    const QString other = writeSkin(QStringLiteral("green.she"), "A { color: #00ff00; }");
    QCOMPARE(SkinH_AttachEx(other, QString()), int(SkinOk));
    QCOMPARE(qApp->styleSheet(), shiftStyleSheetColours(QStringLiteral("A { color: #00ff00; }"), -44, -40, 0));
}

void TestSkin::adjustShiftsPalette()
{
    QPalette base = QApplication::palette();
    base.setColor(QPalette::Highlight, QColor(255, 0, 0));
    base.setColor(QPalette::Window, QColor(255, 255, 255));
    QApplication::setPalette(base);

    SkinH_AdjustHSV(120, 0, 0);
    QCOMPARE(QApplication::palette().color(QPalette::Active, QPalette::Highlight), QColor(0, 255, 0));
    QCOMPARE(QApplication::palette().color(QPalette::Active, QPalette::Window), QColor(255, 255, 255));
    // a second adjustment starts again from the palette before the first
    SkinH_AdjustHSV(240, 0, 0);
    QCOMPARE(QApplication::palette().color(QPalette::Active, QPalette::Highlight), QColor(0, 0, 255));
    SkinH_AdjustHSV(0, 0, 0);
    QCOMPARE(QApplication::palette().color(QPalette::Active, QPalette::Highlight), QColor(255, 0, 0));
}

// Counts the style changes a widget goes through.
class StyleChanges : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::StyleChange)
            ++count;
        return false;
    }
};

void TestSkin::batchRestylesOnceToTheSameEnd()
{
    const QByteArray text = "QPushButton { color: #ff0000; background-color: #003eb2; }";
    const QString path = writeSkin(QStringLiteral("batch.she"), text);
    const QPalette before = QApplication::palette();

    SkinH_AttachEx(path, QString());
    SkinH_AdjustHSV(-44, -40, 0);
    const QString sheetUnbatched = qApp->styleSheet();
    const QPalette paletteUnbatched = QApplication::palette();

    SkinH_AdjustHSV(0, 0, 0);
    qApp->setStyleSheet(QString());
    QApplication::setPalette(before);
    QPushButton button;
    button.show();
    StyleChanges changes;
    button.installEventFilter(&changes);
    {
        const SkinBatch once;
        QCOMPARE(SkinH_AttachEx(path, QString()), int(SkinOk));
        QCOMPARE(SkinH_AdjustHSV(-44, -40, 0), int(SkinOk));
        QCOMPARE(qApp->styleSheet(), QString()); // nothing yet
        QCOMPARE(changes.count, 0);
    }
    QCOMPARE(qApp->styleSheet(), sheetUnbatched);
    QVERIFY(QApplication::palette() == paletteUnbatched);
    QCOMPARE(changes.count, 1);
}

void TestSkin::shippedSkinTurnsTeal()
{
    const QString shipped = QFINDTESTDATA("../../assets/skinh.she");
    QVERIFY(!shipped.isEmpty());
    QCOMPARE(SkinH_AttachEx(shipped, QString()), int(SkinOk));
    SkinH_AdjustHSV(-44, -40, 0);
    const QString sheet = qApp->styleSheet();
    QVERIFY(sheet.contains(QStringLiteral("QPushButton")));
    // After the start-up shift the buttons' fill lies in the teal family of the status bar.
    static const QRegularExpression fill(QStringLiteral("QPushButton \\{[^}]*background-color: (#[0-9a-f]{6})"));
    const QRegularExpressionMatch m = fill.match(sheet);
    QVERIFY(m.hasMatch());
    const QColor c(m.captured(1));
    QVERIFY2(qAbs(c.hsvHue() - QColor(20, 178, 164).hsvHue()) <= 10, qPrintable(c.name()));
    QVERIFY2(c.hsvSaturation() > 100, qPrintable(c.name()));
}

void TestSkin::handCursorHotSpot()
{
    const QCursor hand = handCursor();
    QCOMPARE(hand.shape(), Qt::BitmapCursor);
    QCOMPARE(hand.hotSpot(), QPoint(5, 0));
    const QPixmap pixmap = hand.pixmap();
    QCOMPARE(pixmap.size(), QSize(32, 32));
    // the hot spot is on the drawing, not on the transparent field
    QVERIFY(pixmap.toImage().pixelColor(5, 0).alpha() > 128);
}

QTEST_MAIN(TestSkin)
#include "test_skin.moc"
