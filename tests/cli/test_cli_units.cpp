#include "cli/jsonline.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/record.h"
#include "cli/runner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using Extract::Service;

class TestCliUnits final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void jsonString_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("plain") << QStringLiteral("abc") << QByteArray("\"abc\"");
        QTest::newRow("empty") << QString() << QByteArray("\"\"");
        QTest::newRow("quote and backslash") << QStringLiteral("a\"b\\c") << QByteArray("\"a\\\"b\\\\c\"");
        QTest::newRow("slash kept") << QStringLiteral("http://x/y") << QByteArray("\"http://x/y\"");
        QTest::newRow("line breaks and tab") << QStringLiteral("a\r\n\tb") << QByteArray("\"a\\r\\n\\tb\"");
        QTest::newRow("other controls") << QString::fromUtf8("\x01\x1f\b\f", 4)
                                        << QByteArray("\"\\u0001\\u001f\\b\\f\"");
        QTest::newRow("NUL") << QString(QChar(0)) << QByteArray("\"\\u0000\"");
        QTest::newRow("Chinese raw") << QStringLiteral("王建华的微视") << QByteArray("\"王建华的微视\"");
        QTest::newRow("emoji raw") << QStringLiteral("x😀") << QByteArray("\"x😀\"");
        QTest::newRow("line separator raw") << QStringLiteral("a\u2028b") << QByteArray("\"a\u2028b\"");
        QTest::newRow("DEL") << QStringLiteral("a\x7f" "b") << QByteArray("\"a\\u007fb\"");
        QTest::newRow("C1 first and last") << QStringLiteral("a\u0080b\u009fc") << QByteArray("\"a\\u0080b\\u009fc\"");
        QTest::newRow("C1 CSI and NEL") << QStringLiteral("\u009b2J\u0085") << QByteArray("\"\\u009b2J\\u0085\"");
        QTest::newRow("bidi embeddings and overrides") << QStringLiteral("\u202a\u202b\u202c\u202d\u202e")
                                                       << QByteArray("\"\\u202a\\u202b\\u202c\\u202d\\u202e\"");
        QTest::newRow("bidi isolates") << QStringLiteral("\u2066\u2067\u2068\u2069")
                                       << QByteArray("\"\\u2066\\u2067\\u2068\\u2069\"");
        QTest::newRow("override inside Chinese") << QStringLiteral("王\u202e建华")
                                                 << QByteArray("\"王\\u202e建华\"");
        QTest::newRow("neighbours raw") << QStringLiteral("\u00a0\u00e9\u2029\u2070\u2060\u2065\u206a\u202f")
                                        << QByteArray("\"\u00a0\u00e9\u2029\u2070\u2060\u2065\u206a\u202f\"");
        QTest::newRow("marks raw") << QStringLiteral("\u200e\u200f\u061c") << QByteArray("\"\u200e\u200f\u061c\"");
    }

    void jsonString()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, expected);
        const QByteArray got = Cli::jsonString(text);
        QCOMPARE(got, expected);
        const QJsonDocument doc = QJsonDocument::fromJson("[" + got + "]");
        QVERIFY(doc.isArray());
        QCOMPARE(doc.array().at(0).toString(), text);
    }

    void jsonLine_data()
    {
        QTest::addColumn<bool>("found");
        QTest::addColumn<bool>("archived");
        QTest::addColumn<bool>("archivedVideo");
        QTest::newRow("found") << true << false << false;
        QTest::newRow("found in the archive, with its video") << true << true << true;
        QTest::newRow("found in the archive, video not held") << true << true << false;
        QTest::newRow("failed, no service") << false << false << false;
    }

    void jsonLine()
    {
        QFETCH(bool, found);
        QFETCH(bool, archived);
        QFETCH(bool, archivedVideo);
        Cli::Record r;
        if (archived) {
            r.info.archived = Extract::Archived{QStringLiteral("20150312094501"),
                                           QStringLiteral("http://web.archive.test/web/20150312094501id_/http://p/1"),
                                           archivedVideo ? QStringLiteral("http://web.archive.test/web/20150312094501id_/http://v/1.mp4")
                                                         : QString(), QString()};
        }
        r.address = QStringLiteral("http://www.meipai.com/media/1?a=\"b\"");
        if (found) {
            r.service = Service::Meipai;
            r.outcome = Extract::Outcome::Done;
            r.info.video = QStringLiteral("http://v/1.mp4");
            r.info.cover = QStringLiteral("http://c/1.jpg");
            r.info.avatar = QStringLiteral("http://a/1.png");
            r.info.author = QStringLiteral("作者名字很长很长很长很长");
            r.info.description = QStringLiteral("第一行\r\n第二行 \"引号\"");
            r.info.date = QStringLiteral("2016-05-01");
            r.info.verified = true;
        } else {
            r.error = Cli::errorUnknownService;
        }
        const QByteArray line = Cli::jsonLine(r);
        QVERIFY(line.endsWith('\n'));
        QCOMPARE(line.count('\n'), 1);
        QVERIFY2(!line.contains("\\u"), line.constData());

        QJsonParseError err;
        const QJsonObject o = QJsonDocument::fromJson(line, &err).object();
        QCOMPARE(err.error, QJsonParseError::NoError);
        const QStringList order{QStringLiteral("address"), QStringLiteral("site"), QStringLiteral("ok"),
                                QStringLiteral("video"), QStringLiteral("cover"), QStringLiteral("avatar"),
                                QStringLiteral("author"), QStringLiteral("description"), QStringLiteral("date"),
                                QStringLiteral("verified"), QStringLiteral("error"), QStringLiteral("archived"),
                                QStringLiteral("skipped")};
        QCOMPARE(o.size(), order.size());
        qsizetype last = -1;
        for (const QString &key : order) {
            const qsizetype at = line.indexOf(QByteArray("\"" + key.toUtf8() + "\":"));
            QVERIFY2(at > last, qPrintable(key));
            last = at;
        }
        QCOMPARE(o.value(QStringLiteral("address")).toString(), r.address);
        QCOMPARE(o.value(QStringLiteral("ok")).toBool(), r.ok());
        QCOMPARE(o.value(QStringLiteral("author")).toString(), r.info.author);
        QCOMPARE(o.value(QStringLiteral("description")).toString(), r.info.description);
        QCOMPARE(o.value(QStringLiteral("verified")).toBool(), r.info.verified);
        if (found) {
            QCOMPARE(o.value(QStringLiteral("site")).toString(), QStringLiteral("meipai"));
            QVERIFY(o.value(QStringLiteral("error")).isNull());
            QVERIFY(line.contains(r.info.author.toUtf8()));
        } else {
            QVERIFY(o.value(QStringLiteral("site")).isNull());
            QCOMPARE(o.value(QStringLiteral("error")).toString(), Cli::errorUnknownService);
        }
        if (!archived) {
            QVERIFY(o.value(QStringLiteral("archived")).isNull());
            return;
        }
        const QJsonObject a = o.value(QStringLiteral("archived")).toObject();
        QCOMPARE(a.keys(), (QStringList{QStringLiteral("page"), QStringLiteral("timestamp"), QStringLiteral("video")}));
        QVERIFY(line.indexOf("\"timestamp\"") < line.indexOf("\"page\"") && line.indexOf("\"page\"") < line.lastIndexOf("\"video\""));
        QCOMPARE(a.value(QStringLiteral("timestamp")).toString(), r.info.archived->timestamp);
        QCOMPARE(a.value(QStringLiteral("page")).toString(), r.info.archived->page);
        if (archivedVideo)
            QCOMPARE(a.value(QStringLiteral("video")).toString(), r.info.archived->video);
        else
            QVERIFY(a.value(QStringLiteral("video")).isNull());
        // "video" keeps the address cut from the page.
        QCOMPARE(o.value(QStringLiteral("video")).toString(), r.info.video);
    }

    // A date that only the file's name gave is marked; a record of a page that gave one is as it was.
    void jsonLineDateFromFileName()
    {
        Cli::Record r;
        r.info.date = QStringLiteral("2021-06-11 08:15");
        QVERIFY(!Cli::jsonLine(r).contains("date_from_file_name"));
        r.info.dateFromFileName = true;
        const QJsonObject o = QJsonDocument::fromJson(Cli::jsonLine(r)).object();
        QCOMPARE(o.value(QStringLiteral("date_from_file_name")).toBool(), true);
        QCOMPARE(o.value(QStringLiteral("date")).toString(), r.info.date);
    }

    void jsonLineLoneSurrogate()
    {
        Cli::Record r;
        r.address = QStringLiteral("x") + QChar(0xD800) + QStringLiteral("y");
        const QByteArray line = Cli::jsonLine(r);
        QJsonParseError err;
        QJsonDocument::fromJson(line, &err);
        QCOMPARE(err.error, QJsonParseError::NoError);
        QVERIFY(QString::fromUtf8(line).startsWith(QStringLiteral("{\"address\":\"x")));
    }

    void recordFromResult_data()
    {
        QTest::addColumn<int>("service");
        QTest::addColumn<int>("avatar");
        QTest::addColumn<int>("author");
        QTest::addColumn<int>("description");
        QTest::addColumn<int>("date");
        QTest::newRow("weishi") << int(Service::Weishi) << 6 << 8 << 10 << 12;
        QTest::newRow("meipai") << int(Service::Meipai) << 6 << 8 << 10 << 12;
        QTest::newRow("kuaishou") << int(Service::Kuaishou) << 8 << 12 << 10 << 6;
        QTest::newRow("miaopai") << int(Service::Miaopai) << 6 << 8 << 10 << 12;
    }

    void recordFromResult()
    {
        QFETCH(int, service);
        QFETCH(int, avatar);
        QFETCH(int, author);
        QFETCH(int, description);
        QFETCH(int, date);
        Extract::Result res;
        for (int i = 0; i < Extract::slotCount; ++i)
            res.slot[size_t(i)] = QStringLiteral("s%1").arg(i);
        res.slot[2] = QStringLiteral("http://v.test/s2.mp4");
        res.display.badge = 1;
        res.display.author = QStringLiteral("shortened..");
        // The road judged both pictures worth loading.
        res.display.coverAddress = QStringLiteral("http://shown.test/cover");
        res.display.avatarAddress = QStringLiteral("http://shown.test/avatar");
        res.end(Extract::Outcome::Done);
        const QString address = QStringLiteral("http://x/");
        // The record of a road that ended with `result`: the mapping of its service's slots.
        const auto record = [&](const Extract::Result &result) {
            Extract::RoadResult road;
            road.address = address;
            road.service = Service(service);
            road.started = true;
            road.result = result;
            return Cli::recordFromRoad(address, road);
        };
        Cli::Record r = record(res);
        QCOMPARE(r.address, address);
        QVERIFY(r.service && int(*r.service) == service);
        QVERIFY(r.ok());
        QVERIFY(!r.error);
        QCOMPARE(r.info.video, QStringLiteral("http://v.test/s2.mp4"));
        QCOMPARE(r.info.cover, QStringLiteral("s4"));
        QCOMPARE(r.info.avatar, QStringLiteral("s%1").arg(avatar));
        QCOMPARE(r.info.author, QStringLiteral("s%1").arg(author));
        QCOMPARE(r.info.description, QStringLiteral("s%1").arg(description));
        QCOMPARE(r.info.date, QStringLiteral("s%1").arg(date));
        QVERIFY(r.info.verified);

        // A local file named by the page is no found video, though the record shows what was cut.
        res.slot[2] = QStringLiteral("file:///etc/passwd");
        res.display.badge = -1;
        res.end(Extract::Outcome::NoVideo);
        res.display.coverAddress.clear();
        res.display.avatarAddress.clear();
        r = record(res);
        QVERIFY(!r.ok());
        QCOMPARE(r.info.video, QStringLiteral("file:///etc/passwd"));
        QVERIFY(!r.info.verified);
        // Nothing a failed extraction cut is offered as a picture.
        QVERIFY(r.info.cover.isEmpty() && r.info.avatar.isEmpty());
        QVERIFY(Cli::jsonLine(r).contains("\"cover\":null,\"avatar\":null"));
        QCOMPARE(r.error.value_or(QString()), Extract::statusNoVideo);
    }

    void formatBytes_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero") << qint64(0) << QStringLiteral("0 B");
        QTest::newRow("negative") << qint64(-5) << QStringLiteral("0 B");
        QTest::newRow("1023") << qint64(1023) << QStringLiteral("1023 B");
        QTest::newRow("1 KiB") << qint64(1024) << QStringLiteral("1.0 KiB");
        QTest::newRow("1.5 KiB") << qint64(1536) << QStringLiteral("1.5 KiB");
        QTest::newRow("1 MiB") << qint64(1) * 1024 * 1024 << QStringLiteral("1.0 MiB");
        QTest::newRow("5 GiB") << qint64(5) * 1024 * 1024 * 1024 << QStringLiteral("5.0 GiB");
        QTest::newRow("beyond TiB") << qint64(3) * 1024 * 1024 * 1024 * 1024 * 1024 << QStringLiteral("3072.0 TiB");
    }

    void formatBytes()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, expected);
        QCOMPARE(Cli::formatBytes(bytes), expected);
    }

    void progressLine_data()
    {
        QTest::addColumn<int>("addressesDone");
        QTest::addColumn<int>("addressesTotal");
        QTest::addColumn<int>("downloadsActive");
        QTest::addColumn<qint64>("received");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("width");
        QTest::addColumn<QStringList>("contains");
        QTest::addColumn<QStringList>("absent");
        const qint64 mib = 1024 * 1024;
        QTest::newRow("one address, nothing to show") << 0 << 1 << 0 << qint64(0) << qint64(-1) << 80
                                                      << QStringList() << QStringList{QStringLiteral("[")};
        QTest::newRow("batch") << 3 << 10 << 0 << qint64(0) << qint64(-1) << 80
                               << QStringList{QStringLiteral("3/10 addresses"), QStringLiteral("[")}
                               << QStringList{QStringLiteral("%")};
        QTest::newRow("download half") << 1 << 1 << 1 << mib << 2 * mib << 100
                                       << QStringList{QStringLiteral("1.0 MiB / 2.0 MiB"), QStringLiteral("50%"),
                                                      QStringLiteral("/s"), QStringLiteral("0/1 downloads")}
                                       << QStringList();
        QTest::newRow("download size unknown") << 1 << 1 << 1 << mib << qint64(-1) << 100
                                               << QStringList{QStringLiteral("1.0 MiB")}
                                               << QStringList{QStringLiteral("%"), QStringLiteral(" / ")};
        QTest::newRow("narrow terminal") << 3 << 10 << 1 << mib << 2 * mib << 20 << QStringList() << QStringList();
        QTest::newRow("no width") << 3 << 10 << 1 << mib << 2 * mib << 0 << QStringList() << QStringList();
    }

    void progressLine()
    {
        QFETCH(int, addressesDone);
        QFETCH(int, addressesTotal);
        QFETCH(int, downloadsActive);
        QFETCH(qint64, received);
        QFETCH(qint64, total);
        QFETCH(int, width);
        QFETCH(QStringList, contains);
        QFETCH(QStringList, absent);
        Cli::ProgressState s;
        s.addressesDone = addressesDone;
        s.addressesTotal = addressesTotal;
        s.downloadsActive = downloadsActive;
        s.downloadsTotal = downloadsActive;
        s.received = received;
        s.total = total;
        s.bytesPerSecond = 2048;
        const QString line = Cli::progressLine(s, width);
        QVERIFY2(line.size() <= std::max(width - 1, 0), qPrintable(line));
        for (const QString &c : contains)
            QVERIFY2(line.contains(c), qPrintable(line + QStringLiteral(" lacks ") + c));
        for (const QString &a : absent)
            QVERIFY2(!line.contains(a), qPrintable(line + QStringLiteral(" has ") + a));
    }

    void printable_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QStringLiteral("http://a/b") << QStringLiteral("http://a/b");
        QTest::newRow("escape sequence") << QStringLiteral("a\033[2Jb\n") << QStringLiteral("a?[2Jb?");
        QTest::newRow("C1 control") << QStringLiteral("a\u009bb") << QStringLiteral("a?b");
        QTest::newRow("long") << QString(500, u'x') << QString(117, u'x') + QStringLiteral("...");
        QTest::newRow("exactly the limit") << QString(120, u'y') << QString(120, u'y');
    }

    void printable()
    {
        QFETCH(QString, address);
        QFETCH(QString, expected);
        QCOMPARE(Cli::printable(address), expected);
    }
};

QTEST_GUILESS_MAIN(TestCliUnits)
#include "test_cli_units.moc"
