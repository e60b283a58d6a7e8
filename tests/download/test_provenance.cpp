#include "download/filename.h"
#include "download/outputtemplate.h"
#include "download/provenance.h"
#include "extract/videoinfo.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QtEndian>

#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>

namespace {

Extract::VideoInfo meipaiClip(const QString &author, const QString &description, const QString &date)
{
    Extract::VideoInfo info;
    info.service = Extract::Service::Meipai;
    info.page = QStringLiteral("http://www.meipai.com/media/642349877");
    info.video = QStringLiteral("http://mvvideo1.meitudata.com/55e3a1f0c9.mp4");
    info.author = author;
    info.description = description;
    info.date = date;
    return info;
}

struct Box
{
    QByteArray type;
    qint64 at = 0;
    qint64 size = 0;
};

QList<Box> topBoxes(const QByteArray &bytes)
{
    QList<Box> out;
    for (qint64 at = 0; at + 8 <= bytes.size();) {
        qint64 size = qFromBigEndian<quint32>(bytes.constData() + at);
        if (size == 0)
            size = bytes.size() - at;
        out.append({bytes.mid(at + 4, 4), at, size});
        at += std::max<qint64>(size, 8);
    }
    return out;
}

// Why the boxes of `bytes` do not fit each other, walking every container the way a player
// does; empty when they do.
QString boxProblem(const QByteArray &bytes, qint64 begin, qint64 end, int depth)
{
    static const QList<QByteArray> containers = {"moov", "trak", "mdia", "minf", "stbl", "udta", "edts", "dinf", "ilst"};
    qint64 at = begin;
    while (at < end) {
        if (end - at < 8)
            return QStringLiteral("%1 stray bytes at %2").arg(end - at).arg(at);
        qint64 size = qFromBigEndian<quint32>(bytes.constData() + at);
        const QByteArray type = bytes.mid(at + 4, 4);
        qint64 header = 8;
        if (size == 1) {
            size = qint64(qFromBigEndian<quint64>(bytes.constData() + at + 8));
            header = 16;
        } else if (size == 0 && depth == 0) {
            size = end - at;
        }
        if (size < header || at + size > end)
            return QStringLiteral("%1 at %2 claims %3 bytes of %4").arg(QString::fromLatin1(type)).arg(at).arg(size).arg(end - at);
        if (containers.contains(type) || (depth > 0 && type == "meta")) {
            const qint64 skip = type == "meta" ? 4 : 0;
            if (const QString inner = boxProblem(bytes, at + header + skip, at + size, depth + 1); !inner.isEmpty())
                return inner;
        }
        at += size;
    }
    return QString();
}

QString boxProblem(const QByteArray &bytes)
{
    return boxProblem(bytes, 0, bytes.size(), 0);
}

// The sample video laid out as `shape` says; "last" and "last0" move moov behind mdat and
// point the chunk offsets at the media's new place, so the file stays a playable one.
QByteArray reshaped(const QByteArray &original, const QString &shape)
{
    if (shape == u"text")
        return "not an mp4 at all, but bytes someone wants";
    if (shape == u"trailing")
        return original + "junk";
    QByteArray out = original;
    const QList<Box> boxes = topBoxes(original);
    if (boxes.size() != 3 || boxes[1].type != "moov" || boxes[2].type != "mdat")
        return {};
    const Box moov = boxes[1];
    if (shape == u"overlong") {
        qToBigEndian<quint32>(quint32(moov.size + 100), out.data() + moov.at);
        return out;
    }
    if (shape == u"child") {
        qToBigEndian<quint32>(quint32(moov.size), out.data() + moov.at + 8); // mvhd as long as moov
        return out;
    }
    if (shape == u"asis")
        return out;
    QByteArray movie = original.mid(moov.at, moov.size);
    // stco entries: offsets into the file, which now has mdat where moov was.
    for (qsizetype at = movie.indexOf("stco"); at >= 0; at = movie.indexOf("stco", at + 4)) {
        const quint32 count = qFromBigEndian<quint32>(movie.constData() + at + 8);
        for (quint32 i = 0; i < count; ++i) {
            char *entry = movie.data() + at + 12 + 4 * i;
            qToBigEndian<quint32>(qFromBigEndian<quint32>(entry) - quint32(moov.size), entry);
        }
    }
    if (shape == u"last0")
        qToBigEndian<quint32>(0, movie.data());
    return original.left(moov.at) + original.mid(boxes[2].at, boxes[2].size) + movie;
}

} // namespace

class TestProvenance : public QObject
{
    Q_OBJECT

private slots:
    void templateName_data()
    {
        QTest::addColumn<QString>("nameTemplate");
        QTest::addColumn<QString>("author");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("expected");

        const QString tmpl = QStringLiteral("{service}-{id} {author} {date} {title}.{ext}");
        QTest::newRow("plain") << tmpl << QStringLiteral("小米") << QStringLiteral("猫和狗")
                               << QStringLiteral("2015-03-08 21:04:00")
                               << QStringLiteral("meipai-642349877 小米 2015-03-08 猫和狗.mp4");
        QTest::newRow("separators cannot climb out") << tmpl << QStringLiteral("../../etc") << QStringLiteral("a/b\\c")
                                                     << QString() << QStringLiteral("meipai-642349877 ._._etc NA a_b_c.mp4");
        QTest::newRow("control and bidi characters") << tmpl << QStringLiteral("x\ny\u202Ez") << QStringLiteral("t\u0000\u200Fu")
                                                     << QStringLiteral("2015") << QStringLiteral("meipai-642349877 x_y_z 2015 t__u.mp4");
        QTest::newRow("empty fields read NA") << QStringLiteral("{author}-{title}.{ext}") << QString() << QStringLiteral("  ")
                                              << QString() << QStringLiteral("NA-NA.mp4");
        QTest::newRow("title cut to 60 characters") << QStringLiteral("{title}.{ext}") << QString() << QString(70, u'猫')
                                                    << QString() << QString(60, u'猫') + QStringLiteral(".mp4");
        QTest::newRow("epoch date in China's day") << QStringLiteral("{date}.{ext}") << QString() << QString()
                                                   << QStringLiteral("1425830400") << QStringLiteral("2015-03-09.mp4");
        QTest::newRow("never a .part name") << QStringLiteral("{title}") << QString() << QStringLiteral("x.part")
                                            << QString() << QStringLiteral("x");
        QTest::newRow("nothing but dots falls back") << QStringLiteral("{author}") << QStringLiteral("..") << QString()
                                                     << QString() << QStringLiteral("55e3a1f0c9.mp4");
        QTest::newRow("unknown field falls back") << QStringLiteral("{uploader}.{ext}") << QString() << QString()
                                                  << QString() << QStringLiteral("55e3a1f0c9.mp4");
        // What a page's fields spell never names a device, an option or a program.
        QTest::newRow("a device's name") << QStringLiteral("{author}.{ext}") << QStringLiteral("nul") << QString()
                                         << QString() << QStringLiteral("_nul.mp4");
        QTest::newRow("a device's name before dots") << QStringLiteral("{title}") << QString()
                                                     << QStringLiteral("COM3.tar.gz") << QString()
                                                     << QStringLiteral("_COM3.tar.gz");
        QTest::newRow("a leading dash") << QStringLiteral("{title}.{ext}") << QString() << QStringLiteral("-rf 猫")
                                        << QString() << QStringLiteral("_-rf 猫.mp4");
        QTest::newRow("a program's name") << QStringLiteral("{title}") << QString() << QStringLiteral("setup.exe")
                                          << QString() << QStringLiteral("setup.bin");
        QTest::newRow("a script's extension written out") << QStringLiteral("{id}.BAT") << QString() << QString()
                                                           << QString() << QStringLiteral("642349877.bin");
    }

    void templateName()
    {
        QFETCH(QString, nameTemplate);
        QFETCH(QString, author);
        QFETCH(QString, description);
        QFETCH(QString, date);
        QFETCH(QString, expected);
        const QString name = Download::templateName(nameTemplate, meipaiClip(author, description, date),
                                                    QStringLiteral("642349877"));
        QCOMPARE(name, expected);
    }

    // 200 Chinese characters are 600 bytes: the stem gives way, the extension and room for
    // ".part" and a free-name number stay.
    void longNamesKeepTheirExtension_data()
    {
        QTest::addColumn<QString>("author");
        QTest::newRow("200 Chinese characters") << QString(200, u'猫');
        QTest::newRow("astral characters are not split") << QStringLiteral("猫\U0001F431").repeated(70);
    }

    void longNamesKeepTheirExtension()
    {
        QFETCH(QString, author);
        const QString name = Download::templateName(QStringLiteral("{author} {title}.{ext}"),
                                                    meipaiClip(author, author, QString()), QStringLiteral("1"));
        QVERIFY2(name.endsWith(QStringLiteral(".mp4")), qPrintable(name));
        QVERIFY(QFile::encodeName(name + QStringLiteral(" (999)") + Download::partSuffix).size()
                <= Download::maxFileNameBytes);
        QVERIFY(name.size() > 40);
        QCOMPARE(QString::fromUtf8(name.toUtf8()), name); // no lone surrogate left by the cut
    }

    void templateError_data()
    {
        QTest::addColumn<QString>("nameTemplate");
        QTest::addColumn<bool>("usable");
        QTest::newRow("all fields") << QStringLiteral("{service}{id}{author}{date}{title}{ext}") << true;
        QTest::newRow("no field at all") << QStringLiteral("clip.mp4") << true;
        QTest::newRow("unknown field") << QStringLiteral("{uploader}") << false;
        QTest::newRow("unclosed") << QStringLiteral("{title") << false;
        QTest::newRow("stray close") << QStringLiteral("title}") << false;
        QTest::newRow("empty") << QStringLiteral("  ") << false;
    }

    void templateError()
    {
        QFETCH(QString, nameTemplate);
        QFETCH(bool, usable);
        QCOMPARE(!Download::templateError(nameTemplate).has_value(), usable);
    }

    void pageDate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("utc"); // empty: no moment
        QTest::newRow("China's wall time") << QStringLiteral("2015-03-08 21:04:00") << QStringLiteral("2015-03-08T13:04:00Z");
        QTest::newRow("day only") << QStringLiteral("2015/03/08") << QStringLiteral("2015-03-07T16:00:00Z");
        QTest::newRow("Chinese day") << QStringLiteral("2015年3月8日") << QStringLiteral("2015-03-07T16:00:00Z");
        QTest::newRow("seconds") << QStringLiteral("1425830400") << QStringLiteral("2015-03-08T16:00:00Z");
        QTest::newRow("milliseconds") << QStringLiteral("1425830400123") << QStringLiteral("2015-03-08T16:00:00Z");
        QTest::newRow("relative words") << QStringLiteral("3天前") << QString();
        QTest::newRow("impossible day") << QStringLiteral("2015-02-30") << QString();
        QTest::newRow("too many digits") << QStringLiteral("99999999999999999999") << QString();
    }

    void pageDate()
    {
        QFETCH(QString, text);
        QFETCH(QString, utc);
        const std::optional<QDateTime> when = Download::pageDate(text);
        QCOMPARE(when ? when->toUTC().toString(Qt::ISODate) : QString(), utc);
    }

    // A cover is what its bytes are, whatever the server calls it.
    void pictureSuffix_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("jpeg") << QByteArray("\xff\xd8\xff\xe0") << QStringLiteral(".jpg");
        QTest::newRow("png") << QByteArray("\x89PNG\r\n\x1a\n\0\0") << QStringLiteral(".png");
        QTest::newRow("webp") << QByteArray("RIFF\0\0\0\0WEBPVP8 ", 16) << QStringLiteral(".webp");
        QTest::newRow("gif") << QByteArray("GIF89a\x01\0") << QStringLiteral(".gif");
        QTest::newRow("an error page") << QByteArray("<html>") << QString();
        QTest::newRow("nothing") << QByteArray() << QString();
        QTest::newRow("short RIFF") << QByteArray("RIFF") << QString();
    }

    void pictureSuffix()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, suffix);
        QCOMPARE(Download::pictureSuffix(bytes), suffix);
    }

    // --mtime takes the page's date only when it can be the video's day.
    void datePageFile_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<int>("outcome");
        const QDateTime now = QDateTime::currentDateTimeUtc().toTimeZone(QTimeZone(8 * 3600));
        QTest::newRow("2015") << QStringLiteral("2015-03-08 21:04:00") << int(Download::PageDating::Set);
        QTest::newRow("the first day of 2005") << QStringLiteral("2005-01-01") << int(Download::PageDating::Set);
        QTest::newRow("the last day of 2004") << QStringLiteral("2004-12-31 23:59:59")
                                              << int(Download::PageDating::Implausible);
        QTest::newRow("nought seconds") << QStringLiteral("0000000000") << int(Download::PageDating::Implausible);
        QTest::newRow("today") << now.toString(QStringLiteral("yyyy-MM-dd HH:mm")) << int(Download::PageDating::Set);
        QTest::newRow("in two days") << now.addDays(2).toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                                     << int(Download::PageDating::Implausible);
        QTest::newRow("words") << QStringLiteral("3天前") << int(Download::PageDating::NoMoment);
    }

    void datePageFile()
    {
        QFETCH(QString, date);
        QFETCH(int, outcome);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("v.mp4"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const QDateTime before = QFileInfo(path).lastModified();
        QCOMPARE(int(Download::datePageFile(path, date)), outcome);
        if (outcome == int(Download::PageDating::Set))
            QCOMPARE(QFileInfo(path).lastModified().toSecsSinceEpoch(), Download::pageDate(date)->toSecsSinceEpoch());
        else
            QCOMPARE(QFileInfo(path).lastModified(), before);
    }

    // Tags leave every box size consistent, or the file as it was with a note.
    void embedTagsKeepsBoxes_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<bool>("tagged");
        QTest::newRow("moov before mdat") << QStringLiteral("asis") << true;
        QTest::newRow("moov last") << QStringLiteral("last") << true;
        QTest::newRow("moov last, its size 0 (to the end of the file)") << QStringLiteral("last0") << true;
        QTest::newRow("moov claims more than the file holds") << QStringLiteral("overlong") << false;
        QTest::newRow("bytes after the last box") << QStringLiteral("trailing") << false;
        QTest::newRow("a box inside moov claims too much") << QStringLiteral("child") << false;
        QTest::newRow("not MP4 at all") << QStringLiteral("text") << false;
    }

    void embedTagsKeepsBoxes()
    {
        QFETCH(QString, shape);
        QFETCH(bool, tagged);
        QFile sample(QStringLiteral(ZAVLEN_SAMPLE_VIDEO));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        const QByteArray original = sample.readAll();
        const QByteArray bytes = reshaped(original, shape);
        QVERIFY(!bytes.isEmpty());
        QVERIFY2(shape == u"text" || shape == u"overlong" || shape == u"trailing" || shape == u"child"
                     || boxProblem(bytes).isEmpty(),
                 qPrintable(boxProblem(bytes)));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("v.mp4"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();

        const QString note = Download::embedTags(path, meipaiClip(QStringLiteral("小米"), QStringLiteral("猫和狗"),
                                                                  QStringLiteral("2015-03-08")));
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray after = written.readAll();
        if (!tagged) {
            QVERIFY(!note.isEmpty());
            QCOMPARE(after, bytes);
            return;
        }
        QVERIFY2(note.isEmpty(), qPrintable(note));
        QVERIFY2(boxProblem(after).isEmpty(), qPrintable(boxProblem(after)));
        // The media bytes are all still there, and a reader finds the tags.
        QVERIFY(after.contains(original.mid(original.indexOf("mdat") + 4)));
        TagLib::MP4::File file(QFile::encodeName(path).constData());
        QVERIFY(file.isValid() && file.tag());
        QCOMPARE(QString::fromStdString(file.tag()->title().to8Bit(true)), QStringLiteral("猫和狗"));
        QCOMPARE(QString::fromStdString(file.tag()->artist().to8Bit(true)), QStringLiteral("小米"));
    }
};

QTEST_GUILESS_MAIN(TestProvenance)
#include "test_provenance.moc"
