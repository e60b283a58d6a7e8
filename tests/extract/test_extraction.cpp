#include "config/settings.h"
#include "extract/extraction.h"
#include "pagedata.h"

#include <QTest>

using Extract::Service;

class TestExtraction final : public QObject
{
    Q_OBJECT

    static Extract::FetchFn endpoint()
    {
        return [](const QString &) { return std::optional<QString>(samplePage(QStringLiteral("weishi_endpoint.txt"))); };
    }

private slots:
    void noStaleResults_data()
    {
        addSampleServicePages();
    }
    void noStaleResults()
    {
        QFETCH(Service, service);
        QFETCH(QString, address);
        QFETCH(QString, pageName);
        const Extract::FetchFn none = [](const QString &) { return std::optional<QString>(); };

        const Extract::Result first = Extract::extract(service, address, samplePage(pageName), endpoint(), {});
        QVERIFY(first.found());
        QVERIFY(!first.display.author.isEmpty());
        QVERIFY(!first.display.date.isEmpty());

        const QString bare = QStringLiteral("<html><body>页面不存在</body></html>");
        const Extract::Result second = Extract::extract(service, address, bare, none, {});
        QCOMPARE(second.slot[0], bare);
        QVERIFY(second.display.author.isEmpty());
        QVERIFY(second.display.date.isEmpty());
        QCOMPARE(second.display.description, QStringLiteral("该视频暂无描述"));
        QCOMPARE(second.display.badge, -1);
        // Only the addresses built from fixed texts may be non-empty; everything cut from a page is gone.
        for (int i = 1; i < Extract::slotCount; ++i) {
            if (second.slot[i].isEmpty() || i == 4 || i == 6 || (service == Service::Miaopai && (i == 2 || i == 20)))
                continue;
            QFAIL(qPrintable(QStringLiteral("slot %1 kept \"%2\"").arg(i).arg(second.slot[i])));
        }
        QCOMPARE(second.found(), service == Service::Miaopai);
    }

    void emptyPage_data()
    {
        QTest::addColumn<Service>("service");
        QTest::newRow("weishi") << Service::Weishi;
        QTest::newRow("meipai") << Service::Meipai;
        QTest::newRow("kuaishou") << Service::Kuaishou;
        QTest::newRow("miaopai") << Service::Miaopai;
    }
    void emptyPage()
    {
        QFETCH(Service, service);
        int calls = 0;
        const Extract::FetchFn fetch = [&](const QString &) {
            ++calls;
            return std::optional<QString>(QStringLiteral("[\"x\"]"));
        };
        const Extract::Result r =
            Extract::extract(service, QStringLiteral("http://www.miaopai.com/show/id1.htm"), QString(), fetch, {});
        QCOMPARE(calls, 0);
        QVERIFY(!r.found());
        QCOMPARE(r.status, Extract::statusFetchFailed);
        QVERIFY(r.display.author.isEmpty());
        QVERIFY(r.display.description.isEmpty());
        for (int i = 0; i < Extract::slotCount; ++i) {
            if (i == 20 && service == Service::Miaopai)
                QCOMPARE(r.slot[i], QStringLiteral("id1"));
            else
                QVERIFY2(r.slot[i].isEmpty(), qPrintable(QString::number(i)));
        }
    }

    // A page may name anything as its video; only a web address is a found video.
    void onlyWebVideoAddressesCount_data()
    {
        QTest::addColumn<Service>("service");
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("found");
        const auto meipai = [](const char *video) {
            return QStringLiteral("<div data-video=\"%1\"></div>").arg(QLatin1String(video));
        };
        const auto kuaishou = [](const char *video) {
            return QStringLiteral("<video poster=\"http://c/p.jpg\" src=\"%1\">").arg(QLatin1String(video));
        };
        QTest::newRow("meipai file") << Service::Meipai << meipai("file:///etc/passwd") << false;
        QTest::newRow("meipai ftp") << Service::Meipai << meipai("ftp://v.test/a.mp4") << false;
        QTest::newRow("meipai path") << Service::Meipai << meipai("/etc/passwd") << false;
        QTest::newRow("meipai encoded value") << Service::Meipai << meipai("aHR0cDovL212dmlkZW8x") << false;
        QTest::newRow("meipai https") << Service::Meipai << meipai("https://v.test/a.mp4") << true;
        QTest::newRow("kuaishou file") << Service::Kuaishou << kuaishou("file:///etc/passwd") << false;
        QTest::newRow("kuaishou http") << Service::Kuaishou << kuaishou("http://v.test/a.mp4") << true;
    }
    void onlyWebVideoAddressesCount()
    {
        QFETCH(Service, service);
        QFETCH(QString, page);
        QFETCH(bool, found);
        const Extract::Result r = Extract::extract(service, QStringLiteral("http://x/"), page, {}, {});
        QVERIFY(!r.video().isEmpty());
        QCOMPARE(r.found(), found);
        QCOMPARE(r.status, found ? Extract::statusDone : Extract::statusNoVideo);
    }

    void weipaiHasNoExtractor()
    {
        bool called = false;
        const Extract::FetchFn fetch = [&](const QString &) {
            called = true;
            return std::optional<QString>();
        };
        const Extract::Result r = Extract::extract(Service::Weipai, QStringLiteral("http://x/"),
                                                   samplePage(QStringLiteral("meipai.html")), fetch, {});
        QVERIFY(!called);
        QVERIFY(!r.found());
        QCOMPARE(r.status, Extract::statusNoVideo);
        QVERIFY(r.slot[0].isEmpty());
        QCOMPARE(r.display.badge, -1);
    }

    void weishiWithoutFetcher()
    {
        const Extract::Result r =
            Extract::extract(Service::Weishi, {}, samplePage(QStringLiteral("weishi.html")), {}, {});
        QVERIFY(!r.found());
        QCOMPARE(r.status, Extract::statusNoVideo);
        QCOMPARE(r.display.author, QStringLiteral("张小凡"));
    }
};

QTEST_APPLESS_MAIN(TestExtraction)
#include "test_extraction.moc"
