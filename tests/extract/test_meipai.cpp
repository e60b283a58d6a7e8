#include "config/settings.h"
#include "extract/extraction.h"
#include "pagedata.h"

#include <QTest>

using Extract::Service;

class TestMeipai final : public QObject
{
    Q_OBJECT

    QString m_page;

private slots:
    void initTestCase() { m_page = samplePage(QStringLiteral("meipai.html")); }

    void cut_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("cover");
        QTest::addColumn<QString>("avatar");
        QTest::addColumn<QString>("author");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("date");
        QTest::addColumn<int>("badge");

        const QString p = m_page;
        const QString video = QStringLiteral("http://mvvideo1.meipai.com/2014/03/15/642349876.mp4");
        const QString cover = QStringLiteral("http://mvimg1.meipai.com/2014/03/15/642349876.jpg");
        const QString avatar = QStringLiteral("http://mvavatar1.meipai.com/avatar/2014/03/cxy.jpg");
        const QString author = QStringLiteral("陈思雨");
        const QString desc = QStringLiteral("陈思雨的美拍 ");
        const QString date = QStringLiteral("2014-03-15 18:22");
        const QString none = QStringLiteral("该视频暂无描述");
        const QString title = QStringLiteral("<title>陈思雨的美拍 春天的西湖边散步 - 美拍</title>");
        const QString videoAttr = QStringLiteral("data-video=\"") + video + u'"';

        QTest::newRow("full page") << p << video << cover << avatar << author << desc << date << 2;

        QTest::newRow("no video marker")
            << edited(p, QStringLiteral("data-video="), QStringLiteral("data-src="))
            << QString() << cover << avatar << author << desc << date << 2;
        QTest::newRow("video attribute closes the tag")
            << edited(p, videoAttr + QStringLiteral(" data-title=\"春天的西湖边散步\">"), videoAttr + u'>')
            << video << cover << avatar << author << desc << date << 2;
        QTest::newRow("spaces before the quoted address")
            << edited(p, videoAttr, QStringLiteral("data-video=  \"") + video + u'"')
            << video << cover << avatar << author << desc << date << 2;
        QTest::newRow("unquoted address")
            << edited(p, videoAttr, QStringLiteral("data-video=") + video)
            << video << cover << avatar << author << desc << date << 2;
        QTest::newRow("video marker twice, first counts")
            << edited(p, QStringLiteral("<body>"), QStringLiteral("<body><i data-video=\"http://a.test/1.mp4\"></i>"))
            << QStringLiteral("http://a.test/1.mp4") << cover << avatar << author << desc << date << 2;
        QTest::newRow("no cover marker: bare prefix")
            << edited(p, QStringLiteral("<img src=\"http://mvimg"), QStringLiteral("<img  src=\"http://mvimg"))
            << video << QStringLiteral("http://mvimg") << avatar << author << desc << date << 2;
        QTest::newRow("no avatar prefix: bare prefix")
            << edited(p, QStringLiteral("http://mvavatar1"), QStringLiteral("http://face1"))
            << video << cover << QStringLiteral("http://mvavatar") << author << desc << date << 2;
        QTest::newRow("no title marker")
            << edited(p, QStringLiteral("<title>"), QStringLiteral("<title >"))
            << video << cover << avatar << QString() << none << date << 2;
        QTest::newRow("title without 的")
            << QStringLiteral("<html><head><title>陈思雨 春天</title></head></html>")
            << QString() << QStringLiteral("http://mvimg") << QStringLiteral("http://mvavatar") << QString()
            << QStringLiteral("陈思雨 ") << QString() << -1;
        QTest::newRow("title without space")
            << QStringLiteral("<html><head><title>陈思雨的美拍</title></head></html>")
            << QString() << QStringLiteral("http://mvimg") << QStringLiteral("http://mvavatar") << author << none
            << QString() << -1;
        QTest::newRow("title element runs on past </title>")
            << edited(p, title, QStringLiteral("<title>陈思雨</title>"))
            << video << cover << avatar << QStringLiteral("陈思雨</tit..")
            << QStringLiteral("陈思雨</title>\n<meta ") << date << 2;
        QTest::newRow("author 8 characters")
            << edited(p, title, QStringLiteral("<title>一二三四五六七八的美拍 x</title>"))
            << video << cover << avatar << QStringLiteral("一二三四五六七八") << QStringLiteral("一二三四五六七八的美拍 ")
            << date << 2;
        QTest::newRow("author 9 characters")
            << edited(p, title, QStringLiteral("<title>一二三四五六七八九的美拍 x</title>"))
            << video << cover << avatar << QStringLiteral("一二三四五六七八..")
            << QStringLiteral("一二三四五六七八九的美拍 ") << date << 2;
        QTest::newRow("short description loses ??")
            << edited(p, title, QStringLiteral("<title>小??美的??美拍 x</title>"))
            << video << cover << avatar << QStringLiteral("小??美") << QStringLiteral("小美的美拍 ") << date << 2;
        QTest::newRow("description of 20 characters loses ??")
            << edited(p, title, QStringLiteral("<title>") + repeated(QStringLiteral("??"), 9) + QStringLiteral("的 x</title>"))
            << video << cover << avatar << repeated(QStringLiteral("??"), 4) + QStringLiteral("..")
            << QStringLiteral("的 ") << date << 2;
        QTest::newRow("description of 21 characters keeps ??")
            << edited(p, title, QStringLiteral("<title>") + repeated(QStringLiteral("??"), 9) + QStringLiteral("的a x</title>"))
            << video << cover << avatar << repeated(QStringLiteral("??"), 4) + QStringLiteral("..")
            << repeated(QStringLiteral("??"), 9) + QStringLiteral("的a..") << date << 2;
        QTest::newRow("no vip.png")
            << edited(p, QStringLiteral("vip.png"), QStringLiteral("vip.gif"))
            << video << cover << avatar << author << desc << date << -1;
        QTest::newRow("no date marker")
            << edited(p, QStringLiteral("class=\"date\""), QStringLiteral("class=\"time\""))
            << video << cover << avatar << author << desc << QString() << 2;
        QTest::newRow("no markers at all")
            << QStringLiteral("<html>维护中</html>") << QString() << QStringLiteral("http://mvimg")
            << QStringLiteral("http://mvavatar") << QString() << none << QString() << -1;
    }
    void cut()
    {
        QFETCH(QString, page);
        QFETCH(QString, video);
        QFETCH(QString, cover);
        QFETCH(QString, avatar);
        QFETCH(QString, author);
        QFETCH(QString, description);
        QFETCH(QString, date);
        QFETCH(int, badge);

        bool fetched = false;
        const Extract::FetchFn fetch = [&](const QString &) {
            fetched = true;
            return std::optional<QString>();
        };
        const Extract::Result r = Extract::extract(Service::Meipai, QStringLiteral("http://www.meipai.com/media/1"),
                                                   page, fetch, {});
        QVERIFY(!fetched);
        QCOMPARE(r.video(), video);
        QCOMPARE(r.slot[4], cover);
        QCOMPARE(r.display.coverAddress, cover);
        QCOMPARE(r.slot[6], avatar);
        QCOMPARE(r.display.avatarAddress, avatar);
        QCOMPARE(r.display.author, author);
        QCOMPARE(r.display.description, description);
        QCOMPARE(r.display.date, date);
        QCOMPARE(r.display.badge, badge);
        QCOMPARE(r.display.badgeGap, 5);
        QVERIFY(!r.display.avatarInAlpha);
        QCOMPARE(r.status, video.isEmpty() ? Extract::statusNoVideo : Extract::statusDone);
    }

    void workingSlots()
    {
        const Extract::Result r = Extract::extract(Service::Meipai, {}, m_page, {}, {});
        QVERIFY(r.slot[9].startsWith(QStringLiteral("春天的西湖边散步\">")));
        QVERIFY(r.slot[1].startsWith(u'"'));
        QCOMPARE(r.slot[12], QStringLiteral("2014-03-15 18:22"));
        for (int i = 13; i < Extract::slotCount; ++i)
            QVERIFY2(r.slot[i].isEmpty(), qPrintable(QString::number(i)));
    }
};

QTEST_APPLESS_MAIN(TestMeipai)
#include "test_meipai.moc"
