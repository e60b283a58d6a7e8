#include "download/filename.h"
#include "download/outputtemplate.h"
#include "download/provenance.h"
#include "extract/videoinfo.h"

#include <QFile>
#include <QTest>

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

    void pictureSuffix_data()
    {
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("jpeg with parameters") << QByteArray("Image/JPEG; charset=x") << QByteArray() << QStringLiteral(".jpg");
        QTest::newRow("png") << QByteArray("image/png") << QByteArray() << QStringLiteral(".png");
        QTest::newRow("webp by signature") << QByteArray("application/octet-stream") << QByteArray("RIFF\0\0\0\0WEBPVP8 ", 16)
                                           << QStringLiteral(".webp");
        QTest::newRow("jpeg by signature") << QByteArray() << QByteArray("\xff\xd8\xff\xe0") << QStringLiteral(".jpg");
        QTest::newRow("an error page") << QByteArray("text/html") << QByteArray("<html>") << QString();
        QTest::newRow("short RIFF") << QByteArray() << QByteArray("RIFF") << QString();
    }

    void pictureSuffix()
    {
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, suffix);
        QCOMPARE(Download::pictureSuffix(contentType, bytes), suffix);
    }
};

QTEST_GUILESS_MAIN(TestProvenance)
#include "test_provenance.moc"
