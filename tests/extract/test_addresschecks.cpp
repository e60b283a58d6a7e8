#include "config/settings.h"
#include "extract/extraction.h"

#include <QTest>

using Extract::Service;

Q_DECLARE_METATYPE(Extract::Service)

class TestAddressChecks final : public QObject
{
    Q_OBJECT
private slots:
    void ladder_data()
    {
        QTest::addColumn<Service>("service");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("message"); // empty: the address passes

        const QString scheme = QStringLiteral("请在网之前加入http://");
        const QString wrong = QStringLiteral("您输入的地址有误,请检查!");
        const auto row = [](const char *name, Service s, const char *address, const QString &message) {
            QTest::newRow(name) << s << QString::fromUtf8(address) << message;
        };

        // Weishi
        row("ws empty", Service::Weishi, "", QStringLiteral("请您输入微视网页版地址.."));
        row("ws no scheme", Service::Weishi, "www.weishi.com/t/1", scheme);
        row("ws https", Service::Weishi, "https://www.weishi.com/t/1", QString());
        row("ws share text", Service::Weishi, "快来看 https://www.weishi.com/t/1 哈哈", QString());
        row("ws capital scheme", Service::Weishi, "HTTP://www.weishi.com/t/1", scheme);
        row("ws no domain", Service::Weishi, "http://www.example.com/t/1", QStringLiteral("请输入正确的微视地址.."));
        row("ws domain in capitals", Service::Weishi, "http://www.WEISHI.com/t/1",
            QStringLiteral("请输入正确的微视地址.."));
        row("ws passes", Service::Weishi, "http://www.weishi.com/t/2001234567890", QString());
        row("ws domain in the text, not in the address", Service::Weishi, "x http:// y weishi.com z",
            QStringLiteral("请输入正确的微视地址.."));
        row("ws domain in the address", Service::Weishi, "x http://t.weishi.com/1 z", QString());
        row("ws spaces around", Service::Weishi, "  http://www.weishi.com/t/1  ", QString());

        // Meipai
        row("mp empty", Service::Meipai, "", QStringLiteral("请您输入美拍网页版地址.."));
        row("mp no scheme", Service::Meipai, "www.meipai.com/media/1", scheme);
        row("mp https", Service::Meipai, "https://www.meipai.com/media/1", QString());
        row("mp https base only", Service::Meipai, "https://www.meipai.com/media/",
            QStringLiteral("请输入正确的美拍地址.."));
        row("mp share text", Service::Meipai, "看看这个 http://www.meipai.com/media/123 来自美拍", QString());
        row("mp share text, base only", Service::Meipai, "看看 https://www.meipai.com/media/，来自美拍",
            QStringLiteral("请输入正确的美拍地址.."));
        row("mp capital scheme", Service::Meipai, "Http://www.meipai.com/media/1", scheme);
        row("mp other path", Service::Meipai, "http://www.meipai.com/user/1", wrong);
        row("mp no www", Service::Meipai, "http://meipai.com/media/1", wrong);
        row("mp base only", Service::Meipai, "http://www.meipai.com/media/", QStringLiteral("请输入正确的美拍地址.."));
        row("mp base twice", Service::Meipai, "http://www.meipai.com/media/http://www.meipai.com/media/",
            QStringLiteral("请输入正确的美拍地址.."));
        row("mp passes", Service::Meipai, "http://www.meipai.com/media/642349876", QString());
        row("mp base in the middle", Service::Meipai, "see http://www.meipai.com/media/7 here", QString());
        row("mp base alone in a text", Service::Meipai, "see http://www.meipai.com/media/ here",
            QStringLiteral("请输入正确的美拍地址.."));
        row("mp text without an address", Service::Meipai, "see www.meipai.com/media/7 here", scheme);
        row("mp share address of a category", Service::Meipai,
            "http://www.meipai.com/video/863/6551234567890123459?client_id=1&utm_source=meipai_share", QString());
        row("mp mobile page", Service::Meipai, "https://m.meipai.com/media/6551234567890123457", QString());
        row("mp category without a number", Service::Meipai, "http://www.meipai.com/video/863/", wrong);
        row("mp category on another host", Service::Meipai, "http://www.example.com/video/863/1", wrong);
        row("mp mobile page without a number", Service::Meipai, "http://m.meipai.com/media/abc", wrong);

        // Kuaishou
        row("ks empty", Service::Kuaishou, "", QStringLiteral("请您输入快手网页版地址.."));
        row("ks no scheme", Service::Kuaishou, "www.gifshow.com/i/photo/1", scheme);
        row("ks https", Service::Kuaishou, "https://www.gifshow.com/i/photo/1", QString());
        row("ks https base only", Service::Kuaishou, "https://www.gifshow.com/i", QStringLiteral("请输入正确的快手地址.."));
        row("ks share text", Service::Kuaishou,
            "GIF快手 https://www.gifshow.com/i/photo/lwx/12345?userId=1&photoId=2 复制打开", QString());
        row("ks capital scheme", Service::Kuaishou, "HTTP://www.gifshow.com/i/photo/1", scheme);
        row("ks other host", Service::Kuaishou, "http://www.example.com/i/photo/1", wrong);
        row("ks other path", Service::Kuaishou, "http://www.gifshow.com/user/1", wrong);
        row("ks base only", Service::Kuaishou, "http://www.gifshow.com/i", QStringLiteral("请输入正确的快手地址.."));
        row("ks base twice", Service::Kuaishou, "http://www.gifshow.com/ihttp://www.gifshow.com/i",
            QStringLiteral("请输入正确的快手地址.."));
        row("ks passes", Service::Kuaishou, "http://www.gifshow.com/i/photo/lwx/12345", QString());
        row("ks base in the middle", Service::Kuaishou, "abc http://www.gifshow.com/i/x", QString());

        // Miaopai
        const QString mpWrong = QStringLiteral("您输入的地址有误,请检查!如果网之前没有www，请加www");
        row("mi empty", Service::Miaopai, "", QStringLiteral("请您输入秒拍网页版地址.."));
        row("mi no scheme", Service::Miaopai, "www.miaopai.com/show/a.htm", scheme);
        row("mi https", Service::Miaopai, "https://www.miaopai.com/show/a.htm", QString());
        row("mi https base only", Service::Miaopai, "https://www.miaopai.com/show/", QStringLiteral("请输入正确的秒拍地址.."));
        row("mi share text", Service::Miaopai, "秒拍视频\thttp://www.miaopai.com/show/a.htm\n", QString());
        row("mi capital scheme", Service::Miaopai, "HTTP://www.miaopai.com/show/a.htm", scheme);
        row("mi no www", Service::Miaopai, "http://miaopai.com/show/a.htm", mpWrong);
        row("mi base only", Service::Miaopai, "http://www.miaopai.com/show/", QStringLiteral("请输入正确的秒拍地址.."));
        row("mi base twice", Service::Miaopai, "http://www.miaopai.com/show/http://www.miaopai.com/show/",
            QStringLiteral("请输入正确的秒拍地址.."));
        row("mi passes", Service::Miaopai, "http://www.miaopai.com/show/abcDEF123~xyz.htm", QString());
        row("mi base in the middle", Service::Miaopai, "看 http://www.miaopai.com/show/x.htm 吧", QString());
        row("mi media page", Service::Miaopai, "https://n.miaopai.com/media/Vn5cX2kR8tLq4WmZ7pHd3BfJ9gYs6aUe", QString());
        row("mi media page, .htm", Service::Miaopai, "http://n.miaopai.com/media/Vn5cX2kR8tLq4WmZ7pHd3BfJ9gYs6aUe.htm",
            QString());
        row("mi media page, v2", Service::Miaopai, "http://n.miaopai.com/v2/media/Vn5cX2kR8tLq4WmZ7pHd3BfJ9gYs6aUe",
            QString());
        row("mi media host, another path", Service::Miaopai, "http://n.miaopai.com/u/Vn5cX2kR8tLq4WmZ", mpWrong);

        row("weipai has no checks", Service::Weipai, "", QString());
    }
    void ladder()
    {
        QFETCH(Service, service);
        QFETCH(QString, address);
        QFETCH(QString, message);
        const std::optional<QString> m = Extract::checkAddress(service, address, Config::Settings{});
        QCOMPARE(m.value_or(QString()), message);
        QCOMPARE(m.has_value(), !message.isEmpty());
    }

    void addressIn_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address");
        const auto row = [](const char *name, const char *text, const char *address) {
            QTest::newRow(name) << QString::fromUtf8(text) << QString::fromUtf8(address);
        };
        row("address alone", "http://www.meipai.com/media/1", "http://www.meipai.com/media/1");
        row("spaces around", "  http://www.meipai.com/media/1 \r\n", "http://www.meipai.com/media/1");
        row("share text", "看看这个 http://www.meipai.com/media/123 来自美拍", "http://www.meipai.com/media/123");
        row("chinese right after", "https://www.meipai.com/media/123，来自美拍", "https://www.meipai.com/media/123");
        row("tab after", "x\thttps://a.b/c\td", "https://a.b/c");
        row("first of two", "https://a.b/1 http://c.d/2", "https://a.b/1");
        row("http before https", "http://c.d/2 https://a.b/1", "http://c.d/2");
        row("query kept", "see http://a.b/i?x=1&y=2#z end", "http://a.b/i?x=1&y=2#z");
        row("scheme alone", "look http:// here", "http://");
        row("no address", "www.meipai.com/media/1 来自美拍", "www.meipai.com/media/1 来自美拍");
        row("capital scheme is no address", "x HTTP://a.b/c", "x HTTP://a.b/c");
        row("empty", "", "");
        row("control character ends it", "http://a.b/c\x01d", "http://a.b/c");
    }
    void addressIn()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        QCOMPARE(Extract::addressIn(text), address);
    }

    void webAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("web");
        QTest::newRow("http") << QStringLiteral("http://v.test/a.mp4") << true;
        QTest::newRow("https") << QStringLiteral("https://v.test/a.mp4") << true;
        QTest::newRow("file") << QStringLiteral("file:///etc/passwd") << false;
        QTest::newRow("ftp") << QStringLiteral("ftp://v.test/a.mp4") << false;
        QTest::newRow("no host") << QStringLiteral("http:///a.mp4") << false;
        QTest::newRow("path") << QStringLiteral("/etc/passwd") << false;
        QTest::newRow("encoded value") << QStringLiteral("aHR0cDovL212dmlkZW8xMC5tZWl0dWRhdGEuY29t") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void webAddress()
    {
        QFETCH(QString, address);
        QFETCH(bool, web);
        QCOMPARE(Extract::isWebAddress(address), web);
    }

    void configuredHost()
    {
        Config::Settings s;
        s.services.meipai.host = QStringLiteral("m.example.test");
        const QString addr = QStringLiteral("http://m.example.test/media/5");
        QVERIFY(!Extract::checkAddress(Service::Meipai, addr, s));
        QCOMPARE(Extract::checkAddress(Service::Meipai, addr, Config::Settings{}).value_or(QString()),
                 QStringLiteral("您输入的地址有误,请检查!"));
    }

    void detect_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("service"); // -1: none
        QTest::newRow("weishi") << QStringLiteral("http://www.weishi.com/t/1") << int(Service::Weishi);
        QTest::newRow("meipai") << QStringLiteral("http://www.meipai.com/media/1") << int(Service::Meipai);
        QTest::newRow("kuaishou") << QStringLiteral("http://www.gifshow.com/i/photo/1") << int(Service::Kuaishou);
        QTest::newRow("miaopai") << QStringLiteral("http://www.miaopai.com/show/a.htm") << int(Service::Miaopai);
        QTest::newRow("weishi first") << QStringLiteral("http://www.meipai.com/media/1?from=weishi.com")
                                      << int(Service::Weishi);
        QTest::newRow("the first address of a text decides")
            << QStringLiteral("http://www.miaopai.com/show/a http://www.meipai.com/media/1") << int(Service::Miaopai);
        QTest::newRow("unknown") << QStringLiteral("http://www.example.com/") << -1;
        QTest::newRow("empty") << QString() << -1;
        QTest::newRow("no scheme") << QStringLiteral("www.weishi.com/t/1") << -1;
        QTest::newRow("https meipai") << QStringLiteral("https://www.meipai.com/media/1") << int(Service::Meipai);
        QTest::newRow("share text kuaishou")
            << QStringLiteral("分享 https://www.gifshow.com/i/photo/1 来自快手") << int(Service::Kuaishou);
        QTest::newRow("meipai category share")
            << QStringLiteral("http://www.meipai.com/video/863/6551234567890123459?utm_source=meipai_share")
            << int(Service::Meipai);
        QTest::newRow("meipai mobile page") << QStringLiteral("http://m.meipai.com/media/1") << int(Service::Meipai);
        QTest::newRow("miaopai media page")
            << QStringLiteral("看 https://n.miaopai.com/media/Vn5cX2kR8tLq4WmZ7pHd3BfJ9gYs6aUe 吧") << int(Service::Miaopai);
        // A later address names its host exactly; another service's name in its query does not count.
        QTest::newRow("later address, weishi in its query")
            << QStringLiteral("http://n.miaopai.com/media/Vn5cX2kR8tLq4WmZ7pHd3BfJ9gYs6aUe?from=weishi.com")
            << int(Service::Miaopai);
        const QList<std::pair<const char *, Service>> later{
            {"复制打开快手 https://v.kuaishou.com/Jx7Qa2?from=weishi.com 作品", Service::Kuaishou},
            {"https://gifshow.com/s/aB3dE5fG", Service::Kuaishou},
            {"https://c.kuaishou.com/fw/photo/3xq7hm2nc9rkw4e?fid=1", Service::Kuaishou},
            {"https://h5.weishi.qq.com/weishi/feed/7fQmW2pLc9XrT4vB1/?from=pc", Service::Weishi},
        };
        for (const auto &[text, service] : later)
            QTest::newRow(text) << QString::fromUtf8(text) << int(service);
        for (const char *text : {"http://v.kuaishou.com/", "https://live.kuaishou.com/profile/3xuser88",
                                 "https://h5.weishi.qq.com/weishi/feed/", "https://LIVE.kuaishou.com/u/3xuser88/3xq7hm2nc9rkw4e"})
            QTest::newRow(text) << QString::fromUtf8(text) << -1;
    }
    void detect()
    {
        QFETCH(QString, address);
        QFETCH(int, service);
        const auto s = Extract::detectService(address, Config::Settings{});
        QCOMPARE(s ? int(*s) : -1, service);
    }

    void keys_data()
    {
        QTest::addColumn<Service>("service");
        QTest::addColumn<QString>("key");
        QTest::newRow("weishi") << Service::Weishi << QStringLiteral("weishi");
        QTest::newRow("meipai") << Service::Meipai << QStringLiteral("meipai");
        QTest::newRow("kuaishou") << Service::Kuaishou << QStringLiteral("kuaishou");
        QTest::newRow("weipai") << Service::Weipai << QStringLiteral("weipai");
        QTest::newRow("miaopai") << Service::Miaopai << QStringLiteral("miaopai");
    }
    void keys()
    {
        QFETCH(Service, service);
        QFETCH(QString, key);
        QCOMPARE(Extract::serviceKey(service), key);
        QCOMPARE(Extract::serviceFromKey(key), std::optional<Service>(service));
    }

    void unknownKey()
    {
        QVERIFY(!Extract::serviceFromKey(QStringLiteral("Weishi")));
        QVERIFY(!Extract::serviceFromKey(QString()));
    }
};

QTEST_APPLESS_MAIN(TestAddressChecks)
#include "test_addresschecks.moc"
