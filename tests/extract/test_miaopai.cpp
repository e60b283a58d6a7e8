#include "config/settings.h"
#include "extract/extraction.h"
#include "pagedata.h"

#include <QTest>

using Extract::Service;

class TestMiaopai final : public QObject
{
    Q_OBJECT

    QString m_page;

private slots:
    void initTestCase() { m_page = samplePage(QStringLiteral("miaopai.html")); }

    void identifier_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("id");
        QTest::newRow("plain") << QStringLiteral("http://www.miaopai.com/show/abcDEF123~xyz.htm")
                               << QStringLiteral("abcDEF123~xyz");
        QTest::newRow("no ending") << QStringLiteral("http://www.miaopai.com/show/abc") << QStringLiteral("abc");
        QTest::newRow(".html leaves l") << QStringLiteral("http://www.miaopai.com/show/abc.html")
                                        << QStringLiteral("abcl");
        QTest::newRow(".htm in the middle") << QStringLiteral("http://www.miaopai.com/show/a.htmb.htm")
                                            << QStringLiteral("ab");
        QTest::newRow(".htm before the base") << QStringLiteral(".htmhttp://www.miaopai.com/show/abc")
                                              << QStringLiteral("abc");
        QTest::newRow("query cut") << QStringLiteral("http://www.miaopai.com/show/abc.htm?from=weibo&x=1")
                                   << QStringLiteral("abc");
        QTest::newRow("fragment cut") << QStringLiteral("http://www.miaopai.com/show/abc.htm#top")
                                      << QStringLiteral("abc");
        QTest::newRow("fragment before query") << QStringLiteral("http://www.miaopai.com/show/abc#a?b")
                                               << QStringLiteral("abc");
        QTest::newRow("base twice") << QStringLiteral("http://www.miaopai.com/show/http://www.miaopai.com/show/x")
                                    << QStringLiteral("x");
        QTest::newRow("spaces go") << QStringLiteral(" http://www.miaopai.com/show/abc.htm ")
                                   << QStringLiteral("abc");
        QTest::newRow("https") << QStringLiteral("https://www.miaopai.com/show/abc.htm") << QStringLiteral("abc");
        QTest::newRow("share text") << QStringLiteral("我分享了秒拍视频 http://www.miaopai.com/show/abc.htm 快来看")
                                    << QStringLiteral("abc");
    }
    void identifier()
    {
        QFETCH(QString, address);
        QFETCH(QString, id);
        const Extract::Result r = Extract::extract(Service::Miaopai, address, QStringLiteral("<html></html>"), {}, {});
        QCOMPARE(r.slot[20], id);
        QCOMPARE(r.video(), QStringLiteral("http://gslb.miaopai.com/stream/") + id + QStringLiteral(".mp4"));
        QCOMPARE(r.slot[4], QStringLiteral("http://gslb.miaopai.com/stream/") + id + QStringLiteral("_m.jpg"));
        QCOMPARE(r.status, Extract::statusDone);
    }

    void cut_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("avatar");
        QTest::addColumn<QString>("author");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("date");
        QTest::addColumn<int>("badge");

        const QString p = m_page;
        const QString avatar = QStringLiteral("http://dy.miaopai.com/avatar/2014/wjh.jpg");
        const QString author = QStringLiteral("王建华");
        const QString desc = QStringLiteral("傍晚的#西湖#，看日落 ");
        const QString date = QStringLiteral("2014-03-15");
        const QString none = QStringLiteral("该视频暂无描述");
        const QString meta = QStringLiteral("content=\"王建华,");
        const QString para = QStringLiteral("<p> 傍晚的<a href=\"http://www.miaopai.com/topic/xihu\">#西湖#</a>，看"
                                            "<A HREF=\"http://www.miaopai.com/topic/sun\">日落</A> </p>");

        QTest::newRow("full page") << p << avatar << author << desc << date << 1;
        QTest::newRow("other author, no badge")
            << edited(p, meta, QStringLiteral("content=\"李晓明,")) << avatar << QStringLiteral("李晓明") << desc << date
            << -1;
        QTest::newRow("v1.png anywhere")
            << edited(edited(p, meta, QStringLiteral("content=\"李晓明,")), QStringLiteral("class=\"nick\""),
                      QStringLiteral("class=\"nick\" style=\"background:url(v1.png)\""))
            << avatar << QStringLiteral("李晓明") << desc << date << 1;
        QTest::newRow("verified name inside the author")
            << edited(p, meta, QStringLiteral("content=\"老王建华哥,")) << avatar << QStringLiteral("老王建华哥") << desc
            << date << 1;
        QTest::newRow("verified name cut off by the limit")
            << edited(p, meta, QStringLiteral("content=\"") + repeated(QStringLiteral("李"), 19) + QStringLiteral("王建华,"))
            << avatar << repeated(QStringLiteral("李"), 19) + QStringLiteral("王..") << desc << date << -1;
        QTest::newRow("author 20 characters")
            << edited(p, meta, QStringLiteral("content=\"") + repeated(QStringLiteral("李"), 20) + u',') << avatar
            << repeated(QStringLiteral("李"), 20) << desc << date << -1;
        QTest::newRow("author 21 characters")
            << edited(p, meta, QStringLiteral("content=\"") + repeated(QStringLiteral("李"), 21) + u',') << avatar
            << repeated(QStringLiteral("李"), 20) + QStringLiteral("..") << desc << date << -1;
        QTest::newRow("meta content only twice")
            << edited(p, QStringLiteral("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"),
                      QString())
            << avatar << QString() << desc << date << -1;
        QTest::newRow("meta content four times, no comma before the fourth")
            << edited(p, meta, QStringLiteral("content=\"王建华\" content=\"x,")) << avatar << QString() << desc << date
            << -1;
        QTest::newRow("no avatar prefix: bare prefix")
            << edited(p, QStringLiteral("http://dy.miaopai.com"), QStringLiteral("http://tx.miaopai.com"))
            << QStringLiteral("http://dy") << author << desc << date << 1;
        QTest::newRow("description 20 characters")
            << edited(p, para, QStringLiteral("<p>") + repeated(QStringLiteral("落"), 20) + QStringLiteral("</p>"))
            << avatar << author << repeated(QStringLiteral("落"), 20) << date << 1;
        QTest::newRow("description 21 characters")
            << edited(p, para, QStringLiteral("<p>") + repeated(QStringLiteral("落"), 21) + QStringLiteral("</p>"))
            << avatar << author << repeated(QStringLiteral("落"), 20) + QStringLiteral("..") << date << 1;
        QTest::newRow("line-break tag leaves its name")
            << edited(p, para, QStringLiteral("<p>一<br>二<a>三</a></p>")) << avatar << author
            << QStringLiteral("一br>二三") << date << 1;
        QTest::newRow("other tags starting with a")
            << edited(p, para, QStringLiteral("<p><abbr title=\"x\">缩</abbr>写</p>")) << avatar << author
            << QStringLiteral("缩写") << date << 1;
        QTest::newRow("paragraph without </p>")
            << edited(p, QStringLiteral("</p>"), QStringLiteral("</div>")) << avatar << author << none << date << 1;
        QTest::newRow("no paragraph")
            << edited(p, QStringLiteral("<p>"), QStringLiteral("<p class=\"x\">")) << avatar << author << none << date
            << 1;
        QTest::newRow("no date marker")
            << edited(p, QStringLiteral("<h2><b>"), QStringLiteral("<h2>")) << avatar << author << desc << QString() << 1;
        QTest::newRow("date without &")
            << edited(p, QStringLiteral("2014-03-15&nbsp;18:40"), QStringLiteral("2014-03-15"))
            << avatar << author << desc << QString() << 1;
        QTest::newRow("no markers at all")
            << QStringLiteral("<html>404</html>") << QStringLiteral("http://dy") << QString() << none << QString() << -1;
    }
    void cut()
    {
        QFETCH(QString, page);
        QFETCH(QString, avatar);
        QFETCH(QString, author);
        QFETCH(QString, description);
        QFETCH(QString, date);
        QFETCH(int, badge);

        const Extract::Result r = Extract::extract(
            Service::Miaopai, QStringLiteral("http://www.miaopai.com/show/abcDEF123~xyz.htm"), page, {}, {});
        QCOMPARE(r.video(), QStringLiteral("http://gslb.miaopai.com/stream/abcDEF123~xyz.mp4"));
        QCOMPARE(r.display.coverAddress, QStringLiteral("http://gslb.miaopai.com/stream/abcDEF123~xyz_m.jpg"));
        QCOMPARE(r.slot[6], avatar);
        QCOMPARE(r.display.avatarAddress, avatar);
        QCOMPARE(r.display.author, author);
        QCOMPARE(r.display.description, description);
        QCOMPARE(r.display.date, date);
        QCOMPARE(r.slot[12], date);
        QCOMPARE(r.display.badge, badge);
        QCOMPARE(r.display.badgeGap, 5);
        QVERIFY(!r.display.avatarInAlpha);
        QCOMPARE(r.status, Extract::statusDone);
    }

    void verifiedNameFromSettings()
    {
        Config::Settings s;
        s.maker.verifiedAuthor = QStringLiteral("李晓明");
        const QString page = edited(m_page, QStringLiteral("content=\"王建华,"), QStringLiteral("content=\"李晓明,"));
        QCOMPARE(Extract::extract(Service::Miaopai, {}, page, {}, s).display.badge, 1);
        QCOMPARE(Extract::extract(Service::Miaopai, {}, page, {}, {}).display.badge, -1);
        s.maker.verifiedAuthor.clear();
        QCOMPARE(Extract::extract(Service::Miaopai, {}, page, {}, s).display.badge, -1);
    }
};

QTEST_APPLESS_MAIN(TestMiaopai)
#include "test_miaopai.moc"
