#include "download/filename.h"
#include "download/namerules.h"
#include "os/files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

bool writeFile(const QString &file, const QByteArray &bytes)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readAll(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestFileName : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void safeFileName_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QStringLiteral("http://v.weishi.com/a/b/clip.mp4") << QStringLiteral("clip.mp4");
        QTest::newRow("query and fragment")
            << QStringLiteral("http://v.weishi.com/x/clip.mp4?vkey=1/2&a=b#frag") << QStringLiteral("clip.mp4");
        QTest::newRow("no extension") << QStringLiteral("http://gslb.miaopai.com/stream/AbC") << QStringLiteral("AbC.mp4");
        QTest::newRow("host only") << QStringLiteral("http://v.weishi.com") << QStringLiteral("video.mp4");
        QTest::newRow("trailing slash") << QStringLiteral("http://v.weishi.com/dir/") << QStringLiteral("video.mp4");
        QTest::newRow("empty") << QString() << QStringLiteral("video.mp4");
        QTest::newRow("parent dirs") << QStringLiteral("../../x") << QStringLiteral("x.mp4");
        QTest::newRow("only dots") << QStringLiteral("http://h/..") << QStringLiteral("video.mp4");
        QTest::newRow("slash") << QStringLiteral("a/b") << QStringLiteral("b.mp4");
        QTest::newRow("backslash") << QStringLiteral("a\\b") << QStringLiteral("b.mp4");
        QTest::newRow("encoded separators")
            << QStringLiteral("http://h/v/..%2F..%2Fetc%2Fpasswd") << QStringLiteral("_._etc_passwd.mp4");
        QTest::newRow("encoded backslash") << QStringLiteral("http://h/a%5Cb.mp4") << QStringLiteral("a_b.mp4");
        QTest::newRow("control characters")
            << QStringLiteral("http://h/a%00b%0Ac%1F.mp4") << QStringLiteral("a_b_c_.mp4");
        QTest::newRow("reserved characters")
            << QStringLiteral("http://h/a%3Cb%3E%3A%22%7C%2A.flv") << QStringLiteral("a_b_____.flv");
        QTest::newRow("hidden file") << QStringLiteral("http://h/.bashrc") << QStringLiteral("bashrc.mp4");
        QTest::newRow("windows device") << QStringLiteral("http://h/CON.mp4") << QStringLiteral("_CON.mp4");
        QTest::newRow("chinese") << QStringLiteral("http://h/%E8%A7%86%E9%A2%91.mp4") << QStringLiteral("视频.mp4");
        QTest::newRow("only control characters") << QStringLiteral("http://h/%01%02") << QStringLiteral("video.mp4");
        // A name ending in ".part" would pass for another download's unfinished file.
        QTest::newRow("part ending") << QStringLiteral("http://h/zvx.mp4.part") << QStringLiteral("zvx.mp4");
        QTest::newRow("part ending, any case") << QStringLiteral("http://h/zvx.PaRt") << QStringLiteral("zvx.mp4");
        QTest::newRow("part twice") << QStringLiteral("http://h/zvx.mp4.part.part?k=1") << QStringLiteral("zvx.mp4");
        QTest::newRow("part after dots") << QStringLiteral("http://h/zvx.flv. .part") << QStringLiteral("zvx.flv");
        QTest::newRow("only part") << QStringLiteral("http://h/.part") << QStringLiteral("part.mp4");
        QTest::newRow("nothing but part") << QStringLiteral("http://h/x/.part.part") << QStringLiteral("part.mp4");
        QTest::newRow("part inside") << QStringLiteral("http://h/a.part.mp4") << QStringLiteral("a.part.mp4");
        // Never a program, a device or an option, on any system the file may reach.
        QTest::newRow("program") << QStringLiteral("http://h/setup.exe") << QStringLiteral("setup.bin");
        QTest::newRow("script, upper case") << QStringLiteral("http://h/run.JS?x=1") << QStringLiteral("run.bin");
        QTest::newRow("shortcut") << QStringLiteral("http://h/clip.lnk") << QStringLiteral("clip.bin");
        QTest::newRow("shell script") << QStringLiteral("http://h/clip.sh") << QStringLiteral("clip.bin");
        QTest::newRow("device, lower case") << QStringLiteral("http://h/com1.flv") << QStringLiteral("_com1.flv");
        QTest::newRow("device before two dots") << QStringLiteral("http://h/nul.tar.mp4") << QStringLiteral("_nul.tar.mp4");
        QTest::newRow("console device") << QStringLiteral("http://h/CONIN$") << QStringLiteral("_CONIN$.mp4");
        QTest::newRow("leading dash") << QStringLiteral("http://h/-rf.mp4") << QStringLiteral("_-rf.mp4");
        QTest::newRow("not a device") << QStringLiteral("http://h/console.mp4") << QStringLiteral("console.mp4");
    }

    void guardedName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("device") << QStringLiteral("NUL") << QStringLiteral("_NUL");
        QTest::newRow("device, any extension") << QStringLiteral("Aux.info.json") << QStringLiteral("_Aux.info.json");
        QTest::newRow("device, spaces before the dot") << QStringLiteral("CON .mp4") << QStringLiteral("_CON .mp4");
        QTest::newRow("device with a superscript") << QStringLiteral("LPT\u00b9.mp4") << QStringLiteral("_LPT\u00b9.mp4");
        QTest::newRow("console output") << QStringLiteral("conout$.txt") << QStringLiteral("_conout$.txt");
        QTest::newRow("two digits are no device") << QStringLiteral("COM10.mp4") << QStringLiteral("COM10.mp4");
        QTest::newRow("ends in a dot") << QStringLiteral("clip.") << QStringLiteral("clip._");
        QTest::newRow("ends in a space") << QStringLiteral("clip ") << QStringLiteral("clip _");
        QTest::newRow("leading dash") << QStringLiteral("-n x") << QStringLiteral("_-n x");
        QTest::newRow("dash inside") << QStringLiteral("a-b.mp4") << QStringLiteral("a-b.mp4");
    }

    void guardedName()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(Download::guardedName(name), expected);
    }

    // Side files are named from the video's whole name, less a video container's extension only.
    void sideName_data()
    {
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("expected");
        QTest::newRow("mp4") << QStringLiteral("clip.mp4") << QStringLiteral(".info.json") << QStringLiteral("clip.info.json");
        QTest::newRow("FLV in capitals") << QStringLiteral("clip.FLV") << QStringLiteral(".jpg") << QStringLiteral("clip.jpg");
        QTest::newRow("named bin") << QStringLiteral("clip.bin") << QStringLiteral(".png") << QStringLiteral("clip.png");
        QTest::newRow("a dot in a title") << QStringLiteral("作者的v1.5版") << QStringLiteral(".info.json")
                                          << QStringLiteral("作者的v1.5版.info.json");
        QTest::newRow("named like a picture") << QStringLiteral("X.jpg") << QStringLiteral(".jpg") << QStringLiteral("X.jpg.jpg");
        QTest::newRow("no extension") << QStringLiteral("clip") << QStringLiteral(".webp") << QStringLiteral("clip.webp");
    }

    void sideName()
    {
        QFETCH(QString, video);
        QFETCH(QString, suffix);
        QFETCH(QString, expected);
        QCOMPARE(Download::sideName(video, suffix), expected);
    }

    void contentExtension_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ISO media") << QByteArray("\0\0\0\x18" "ftypmp42", 12) << QStringLiteral("mp4");
        QTest::newRow("Flash video") << QByteArray("FLV\x01\x05") << QStringLiteral("flv");
        QTest::newRow("a program") << QByteArray("MZ\x90\0") << QStringLiteral("bin");
        QTest::newRow("ftyp in the wrong place") << QByteArray("ftyp\0\0\0\0") << QStringLiteral("bin");
        QTest::newRow("nothing") << QByteArray() << QStringLiteral("bin");
    }

    void contentExtension()
    {
        QFETCH(QByteArray, head);
        QFETCH(QString, expected);
        QCOMPARE(Download::contentExtension(head), expected);
    }

    void safeFileName()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(Download::safeFileName(input), expected);
    }

    // File systems count their own units, not characters (bytes of UTF-8 on Linux, UTF-16 code units
    // on Windows): 255 of them, with ".part" and " (N)" added.
    void safeFileNameLimits_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("whole"); // the name before any cut, without extension
        const QString wide = QString(120, QChar(0x89C6));
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80").repeated(200);
        QTest::newRow("500 letters") << QStringLiteral("http://h/") + QString(500, u'a') + QStringLiteral(".mp4")
                                     << QString(500, u'a');
        QTest::newRow("500 without extension") << QString(500, u'b') << QString(500, u'b');
        QTest::newRow("120 chinese characters")
            << QStringLiteral("http://h/") + QString::fromLatin1(QUrl::toPercentEncoding(wide)) + QStringLiteral(".mp4")
            << wide;
        QTest::newRow("500 wide characters") << QStringLiteral("http://h/") + QString(500, QChar(0x89C6))
                                             << QString(500, QChar(0x89C6));
        QTest::newRow("emoji after one letter") << QStringLiteral("http://h/a") + emoji << u'a' + emoji;
        // Off by one byte from the 3- and 4-byte boundaries.
        QTest::newRow("chinese after one letter") << QStringLiteral("http://h/a") + wide << u'a' + wide;
        QTest::newRow("emoji after two letters") << QStringLiteral("http://h/ab") + emoji << QStringLiteral("ab") + emoji;
        QTest::newRow("emoji after three letters")
            << QStringLiteral("http://h/abc") + emoji + QStringLiteral(".flv") << QStringLiteral("abc") + emoji;
    }

    void safeFileNameLimits()
    {
        QFETCH(QString, input);
        QFETCH(QString, whole);
        const QString name = Download::safeFileName(input);
        QVERIFY(!name.isEmpty());
        const qsizetype dot = name.lastIndexOf(u'.');
        const QString base = name.left(dot);
        QVERIFY(name.endsWith(QStringLiteral(".mp4")) || name.endsWith(QStringLiteral(".flv")));
        QVERIFY(!name.contains(u'/') && !name.contains(u'\\'));
        QCOMPARE(QString::fromUtf8(name.toUtf8()), name); // no broken surrogate pair
        QVERIFY2(whole.startsWith(base), qPrintable(name)); // cut between characters, nothing changed
        const qsizetype units = Os::fileNameLength(name);
        QVERIFY2(units + 6 + 5 <= Download::maxFileNameBytes, qPrintable(QString::number(units)));
        // Where it was cut, nothing more would have fitted: no character takes more than an emoji.
        const qsizetype widest = Os::fileNameLength(QString::fromUtf8("\xF0\x9F\x98\x80"));
        if (base.size() < whole.size())
            QVERIFY2(units + 6 + 5 + widest > Download::maxFileNameBytes, qPrintable(QString::number(units)));
        for (const int n : {2, 999, 1000, 2147483647}) {
            const QString numbered = Download::numberedName(name, n);
            QVERIFY(Os::fileNameLength(numbered + Download::partSuffix) <= Download::maxFileNameBytes);
            QCOMPARE(QString::fromUtf8(numbered.toUtf8()), numbered);
            QVERIFY(numbered.endsWith(QStringLiteral(" (%1)").arg(n) + name.mid(dot)));
        }
        // And the file system here takes them.
        QFile file(m_dir->filePath(Download::numberedName(name, 999) + Download::partSuffix));
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    }

    void finalFileName_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QStringLiteral("clip.mp4") << QStringLiteral("clip.mp4");
        QTest::newRow("part") << QStringLiteral("clip.mp4.part") << QStringLiteral("clip.mp4");
        QTest::newRow("part, upper case") << QStringLiteral("clip.PART") << QStringLiteral("clip");
        QTest::newRow("part twice") << QStringLiteral("clip.part.part") << QStringLiteral("clip");
        QTest::newRow("only part") << QStringLiteral(".part") << QStringLiteral("video.mp4");
        QTest::newRow("part inside") << QStringLiteral("a.part.mp4") << QStringLiteral("a.part.mp4");
    }

    void finalFileName()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(Download::finalFileName(input), expected);
    }

    void numberedName_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        // A name of 250 units, and what is left of it beside ".part", the number and ".mp4".
        const qsizetype per = Os::fileNameLength(QStringLiteral("视"));
        const QString full = QString((250 - 4) / per, QChar(0x89C6)) + QStringLiteral(".mp4");
        const auto kept = [per](int numberLength) { return QString((255 - 5 - numberLength - 4) / per, QChar(0x89C6)); };
        QTest::newRow("short") << QStringLiteral("a.mp4") << 2 << QStringLiteral("a (2).mp4");
        QTest::newRow("no extension") << QStringLiteral("noext") << 3 << QStringLiteral("noext (3)");
        QTest::newRow("hidden") << QStringLiteral(".hidden") << 2 << QStringLiteral(".hidden (2)");
        QTest::newRow("full name") << full << 2 << kept(4) + QStringLiteral(" (2).mp4");
        QTest::newRow("full name, big number") << full << 100000 << kept(9) + QStringLiteral(" (100000).mp4");
    }

    void numberedName()
    {
        QFETCH(QString, input);
        QFETCH(int, n);
        QFETCH(QString, expected);
        QCOMPARE(Download::numberedName(input, n), expected);
    }

    void uniquePath()
    {
        const QString folder = m_dir->path();
        QCOMPARE(Download::uniquePath(folder, QStringLiteral("a.mp4")), QDir(folder).filePath(QStringLiteral("a.mp4")));
        QVERIFY(writeFile(QDir(folder).filePath(QStringLiteral("a.mp4")), "1"));
        QCOMPARE(Download::uniquePath(folder, QStringLiteral("a.mp4")), QDir(folder).filePath(QStringLiteral("a (2).mp4")));
        QVERIFY(writeFile(QDir(folder).filePath(QStringLiteral("a (2).mp4")), "2"));
        QCOMPARE(Download::uniquePath(folder, QStringLiteral("a.mp4")), QDir(folder).filePath(QStringLiteral("a (3).mp4")));
        QVERIFY(writeFile(QDir(folder).filePath(QStringLiteral("noext")), "3"));
        QCOMPARE(Download::uniquePath(folder, QStringLiteral("noext")), QDir(folder).filePath(QStringLiteral("noext (2)")));
        // Another download's unfinished file takes its final name too.
        QVERIFY(writeFile(QDir(folder).filePath(QStringLiteral("a (3).mp4.part")), "4"));
        QCOMPARE(Download::uniquePath(folder, QStringLiteral("a.mp4")), QDir(folder).filePath(QStringLiteral("a (4).mp4")));
        QVERIFY(writeFile(QDir(folder).filePath(QStringLiteral("b.mp4.part")), "5"));
        QCOMPARE(Download::uniquePath(folder, QStringLiteral("b.mp4")), QDir(folder).filePath(QStringLiteral("b (2).mp4")));
    }

    void renameToFreeName_data()
    {
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << QStringList() << QStringLiteral("clip.mp4");
        QTest::newRow("taken") << QStringList{QStringLiteral("clip.mp4")} << QStringLiteral("clip (2).mp4");
        QTest::newRow("taken twice") << QStringList{QStringLiteral("clip.mp4"), QStringLiteral("clip (2).mp4")}
                                     << QStringLiteral("clip (3).mp4");
        QTest::newRow("an unfinished file in the way")
            << QStringList{QStringLiteral("clip.mp4"), QStringLiteral("clip (2).mp4.part")} << QStringLiteral("clip (3).mp4");
        QTest::newRow("a folder") << QStringList{QStringLiteral("clip.mp4/")} << QStringLiteral("clip (2).mp4");
    }

    void renameToFreeName()
    {
        QFETCH(QStringList, taken);
        QFETCH(QString, expected);
        const QDir dir(m_dir->path());
        for (const QString &name : std::as_const(taken)) {
            if (name.endsWith(u'/'))
                QVERIFY(dir.mkdir(name.chopped(1)));
            else
                QVERIFY(writeFile(dir.filePath(name), name.toUtf8()));
        }
        const QString source = dir.filePath(QStringLiteral("clip.mp4.part"));
        QVERIFY(writeFile(source, "the new download"));
        int error = -1;
        const QString written = Download::renameToFreeName(source, dir.filePath(QStringLiteral("clip.mp4")), error);
        QCOMPARE(error, 0);
        QCOMPARE(written, dir.filePath(expected));
        QCOMPARE(readAll(written), QByteArray("the new download"));
        QVERIFY(!QFile::exists(source));
        for (const QString &name : std::as_const(taken)) {
            if (!name.endsWith(u'/'))
                QCOMPARE(readAll(dir.filePath(name)), name.toUtf8());
        }
    }

    void renameFailureIsReported()
    {
        int error = 0;
        const QString written = Download::renameToFreeName(m_dir->filePath(QStringLiteral("absent.part")),
                                                         m_dir->filePath(QStringLiteral("absent")), error);
        QVERIFY(written.isEmpty());
        QVERIFY(error != 0);
    }
};

QTEST_GUILESS_MAIN(TestFileName)
#include "test_filename.moc"
