#include "config/settings.h"
#include "extract/extraction.h"
#include "pagedata.h"

#include <QTest>

using Extract::Service;

class TestWeishi final : public QObject
{
    Q_OBJECT

    QString m_page;
    QString m_answer;

private slots:
    void initTestCase()
    {
        m_page = samplePage(QStringLiteral("weishi.html"));
        m_answer = samplePage(QStringLiteral("weishi_endpoint.txt"));
    }

    void cut_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("fetchOk");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("avatar");
        QTest::addColumn<QString>("author");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("date");
        QTest::addColumn<int>("badge");

        const QString p = m_page;
        const QString a = m_answer;
        const QString id = QStringLiteral("2001234567890");
        const QString video =
            QStringLiteral("http://video.weishi.com/vfile.weishi.com/2001234567890.f20.mp4?vkey=9A8B7C&sha=0");
        const QString avatar = QStringLiteral("http://ugc.qpic.cn/face/zxf_100/0");
        const QString author = QStringLiteral("张小凡");
        const QString desc = QStringLiteral("西湖边的日落真美#旅行#");
        const QString date = QStringLiteral("2014年3月15日 18:20");
        const QString none = QStringLiteral("该视频暂无描述");
        const QString msgOpen = QStringLiteral("<div id=\"message\" class=\"msgCnt\">");
        const QString msgFull = msgOpen + QStringLiteral("西湖 边的 日落 真美 #旅行#<");

        QTest::newRow("full page") << p << true << a << id << video << avatar << author << desc << date << -1;

        QTest::newRow("no player marker: empty id")
            << edited(p, QStringLiteral("vBox js_player\""), QStringLiteral("vBox\""))
            << true << a << QString() << video << avatar << author << desc << date << -1;
        QTest::newRow("no id after the player: next id= counts")
            << edited(p, QStringLiteral("id=\"2001234567890\""), QStringLiteral("data-x=\"2001234567890\""))
            << true << a << QStringLiteral("message") << video << avatar << author << desc << date << -1;
        QTest::newRow("no avatar marker")
            << edited(p, QStringLiteral("errImgHeadLoad"), QStringLiteral("headImg"))
            << true << a << id << video << QString() << author << desc << date << -1;
        QTest::newRow("title attribute before the address")
            << edited(p, QStringLiteral("src=\"http://ugc.qpic.cn/face/zxf_100/0\" title=\"张小凡\""),
                      QStringLiteral("title=\"张小凡\" src=\"http://ugc.qpic.cn/face/zxf_100/0\""))
            << true << a << id << video << QString() << author << desc << date << -1;
        QTest::newRow("no title marker")
            << edited(p, QStringLiteral("<title>"), QStringLiteral("<TITLE>"))
            << true << a << id << video << avatar << QString() << desc << date << -1;
        QTest::newRow("title without the ending")
            << edited(p, QStringLiteral("张小凡的微视"), QStringLiteral("张小凡 - 微视"))
            << true << a << id << video << avatar << QStringLiteral("张小凡 - 微视") << desc << date << -1;
        QTest::newRow("title element without < is empty")
            << edited(p, QStringLiteral("<head>"), QStringLiteral("<head><title>李四的微视<title>"))
            << true << a << id << video << avatar << QString() << desc << date << -1;
        QTest::newRow("title marker three times, first counts")
            << edited(p, QStringLiteral("<head>"), QStringLiteral("<head><title>李四的微视</title><title>王五</title>"))
            << true << a << id << video << avatar << QStringLiteral("李四") << desc << date << -1;
        QTest::newRow("author 20 characters")
            << edited(p, QStringLiteral("张小凡的微视"), repeated(QStringLiteral("张"), 20) + QStringLiteral("的微视"))
            << true << a << id << video << avatar << repeated(QStringLiteral("张"), 20) << desc << date << -1;
        QTest::newRow("author 21 characters")
            << edited(p, QStringLiteral("张小凡的微视"), repeated(QStringLiteral("张"), 21) + QStringLiteral("的微视"))
            << true << a << id << video << avatar << repeated(QStringLiteral("张"), 20) + QStringLiteral("..") << desc
            << date << -1;
        QTest::newRow("verified author")
            << edited(p, QStringLiteral("张小凡的微视"), QStringLiteral("小王建华的微视"))
            << true << a << id << video << avatar << QStringLiteral("小王建华") << desc << date << 0;
        QTest::newRow("verified author cut off by the limit")
            << edited(p, QStringLiteral("张小凡的微视"), repeated(QStringLiteral("张"), 19) + QStringLiteral("王建华的微视"))
            << true << a << id << video << avatar << repeated(QStringLiteral("张"), 19) + QStringLiteral("王..") << desc
            << date << -1;
        QTest::newRow("vip anywhere")
            << edited(p, QStringLiteral("class=\"wrap\""), QStringLiteral("class=\"wrap vip\""))
            << true << a << id << video << avatar << author << desc << date << 0;
        QTest::newRow("description with CR LF and spaces")
            << edited(p, msgFull, msgOpen + QStringLiteral("  西湖\r\n 边的\r\n日落  <"))
            << true << a << id << video << avatar << author << QStringLiteral("西湖边的日落") << date << -1;
        QTest::newRow("description with lone LF")
            << edited(p, msgFull, msgOpen + QStringLiteral("西湖\n日落<"))
            << true << a << id << video << avatar << author << QStringLiteral("西湖\n日落") << date << -1;
        QTest::newRow("description only spaces and line breaks")
            << edited(p, msgFull, msgOpen + QStringLiteral("  \r\n \r\n  <"))
            << true << a << id << video << avatar << author << none << date << -1;
        QTest::newRow("description 20 characters")
            << edited(p, msgFull, msgOpen + repeated(QStringLiteral("美"), 20) + u'<')
            << true << a << id << video << avatar << author << repeated(QStringLiteral("美"), 20) << date << -1;
        QTest::newRow("description 21 characters")
            << edited(p, msgFull, msgOpen + repeated(QStringLiteral("美"), 21) + u'<')
            << true << a << id << video << avatar << author << repeated(QStringLiteral("美"), 20) + QStringLiteral("..")
            << date << -1;
        QTest::newRow("no message marker")
            << edited(p, QStringLiteral("class=\"msgCnt\""), QStringLiteral("class=\"msg\""))
            << true << a << id << video << avatar << author << none << date << -1;
        QTest::newRow("no time marker")
            << edited(p, QStringLiteral("time c_tx3"), QStringLiteral("time"))
            << true << a << id << video << avatar << author << desc << QString() << -1;

        QTest::newRow("endpoint fetch failed")
            << p << false << QString() << id << QString() << avatar << author << desc << date << -1;
        QTest::newRow("endpoint without list marker")
            << p << true << QStringLiteral("{\"ret\":-1,\"msg\":\"not found\"}") << id << QString() << avatar << author
            << desc << date << -1;
        QTest::newRow("endpoint with plain slashes")
            << p << true << QStringLiteral("[\"http://vfile.weishi.com/a/b.mp4?x=1\"]") << id
            << QStringLiteral("http://video.weishi.com/vfile.weishi.com/a/b.mp4?x=1") << avatar << author << desc
            << date << -1;
        QTest::newRow("endpoint address on another host")
            << p << true << QStringLiteral("[\"http:\\/\\/cdn.example.com\\/a.mp4\"]") << id << QString() << avatar
            << author << desc << date << -1;
        QTest::newRow("file host twice in the address")
            << p << true << QStringLiteral("[\"http://vfile.weishi.com/a/vfile.weishi.com/b.mp4\"]") << id
            << QStringLiteral("http://video.weishi.com/vfile.weishi.com/a/") << avatar << author << desc << date
            << -1;
        QTest::newRow("no markers at all")
            << QStringLiteral("<html><body>404</body></html>") << true << a << QString() << video << QString()
            << QString() << none << QString() << -1;
    }
    void cut()
    {
        QFETCH(QString, page);
        QFETCH(bool, fetchOk);
        QFETCH(QString, answer);
        QFETCH(QString, id);
        QFETCH(QString, video);
        QFETCH(QString, avatar);
        QFETCH(QString, author);
        QFETCH(QString, description);
        QFETCH(QString, date);
        QFETCH(int, badge);

        QStringList requested;
        const Extract::FetchFn fetch = [&](const QString &url) -> std::optional<QString> {
            requested << url;
            return fetchOk ? std::optional<QString>(answer) : std::nullopt;
        };
        const Extract::Result r =
            Extract::extract(Service::Weishi, QStringLiteral("http://www.weishi.com/t/1"), page, fetch, {});

        QCOMPARE(requested, QStringList{QStringLiteral("http://wsi.weishi.com/weishi/video/downloadVideo.php?v=p&vid=")
                                        + id + QStringLiteral("&play=2&device=2")});
        QCOMPARE(r.slot[0], page);
        QCOMPARE(r.slot[21], id);
        QCOMPARE(r.slot[22], fetchOk ? answer : QString());
        QCOMPARE(r.video(), video);
        QCOMPARE(r.slot[4], QStringLiteral("http://ugc.qpic.cn/weishi_pic/0/") + id + QStringLiteral("_1/480"));
        QCOMPARE(r.display.coverAddress, r.slot[4]);
        QCOMPARE(r.slot[6], avatar);
        QCOMPARE(r.display.avatarAddress, avatar);
        QCOMPARE(r.display.author, author);
        QCOMPARE(r.display.description, description);
        QCOMPARE(r.display.date, date);
        QCOMPARE(r.display.badge, badge);
        QCOMPARE(r.display.badgeGap, 0);
        QVERIFY(!r.display.avatarInAlpha);
        QCOMPARE(r.status, video.isEmpty() ? Extract::statusNoVideo : Extract::statusDone);
    }

    void endpointUnescaped()
    {
        const Extract::FetchFn fetch = [this](const QString &) { return std::optional<QString>(m_answer); };
        const Extract::Result r = Extract::extract(Service::Weishi, {}, m_page, fetch, {});
        QCOMPARE(r.slot[24], QStringLiteral("http://vfile.weishi.com/2001234567890.f20.mp4?vkey=9A8B7C&sha=0"));
    }

    void configuredHosts()
    {
        Config::Settings s;
        s.services.weishi.apiHost = QStringLiteral("api.test");
        s.services.weishi.videoHost = QStringLiteral("v.test");
        s.services.weishi.fileHost = QStringLiteral("f.test");
        s.services.weishi.pictureHost = QStringLiteral("p.test");
        QString url;
        const Extract::FetchFn fetch = [&](const QString &u) {
            url = u;
            return std::optional<QString>(QStringLiteral("[\"http:\\/\\/f.test\\/x.mp4\"]"));
        };
        const Extract::Result r = Extract::extract(Service::Weishi, {}, m_page, fetch, s);
        QVERIFY(url.startsWith(QStringLiteral("http://api.test/weishi/video/downloadVideo.php?v=p&vid=2001234567890")));
        QCOMPARE(r.video(), QStringLiteral("http://v.test/f.test/x.mp4"));
        QCOMPARE(r.slot[4], QStringLiteral("http://p.test/weishi_pic/0/2001234567890_1/480"));
    }
};

QTEST_APPLESS_MAIN(TestWeishi)
#include "test_weishi.moc"
