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
        row("ws https", Service::Weishi, "https://www.weishi.com/t/1", scheme);
        row("ws capital scheme", Service::Weishi, "HTTP://www.weishi.com/t/1", scheme);
        row("ws no domain", Service::Weishi, "http://www.example.com/t/1", QStringLiteral("请输入正确的微视地址.."));
        row("ws domain in capitals", Service::Weishi, "http://www.WEISHI.com/t/1",
            QStringLiteral("请输入正确的微视地址.."));
        row("ws passes", Service::Weishi, "http://www.weishi.com/t/2001234567890", QString());
        row("ws domain anywhere", Service::Weishi, "x http:// y weishi.com z", QString());
        row("ws spaces around", Service::Weishi, "  http://www.weishi.com/t/1  ", QString());

        // Meipai
        row("mp empty", Service::Meipai, "", QStringLiteral("请您输入美拍网页版地址.."));
        row("mp no scheme", Service::Meipai, "www.meipai.com/media/1", scheme);
        row("mp https", Service::Meipai, "https://www.meipai.com/media/1", scheme);
        row("mp capital scheme", Service::Meipai, "Http://www.meipai.com/media/1", scheme);
        row("mp other path", Service::Meipai, "http://www.meipai.com/user/1", wrong);
        row("mp no www", Service::Meipai, "http://meipai.com/media/1", wrong);
        row("mp base only", Service::Meipai, "http://www.meipai.com/media/", QStringLiteral("请输入正确的美拍地址.."));
        row("mp base twice", Service::Meipai, "http://www.meipai.com/media/http://www.meipai.com/media/",
            QStringLiteral("请输入正确的美拍地址.."));
        row("mp passes", Service::Meipai, "http://www.meipai.com/media/642349876", QString());
        row("mp base in the middle", Service::Meipai, "see http://www.meipai.com/media/ here", QString());

        // Kuaishou
        row("ks empty", Service::Kuaishou, "", QStringLiteral("请您输入快手网页版地址.."));
        row("ks no scheme", Service::Kuaishou, "www.gifshow.com/i/photo/1", scheme);
        row("ks https", Service::Kuaishou, "https://www.gifshow.com/i/photo/1", scheme);
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
        row("mi https", Service::Miaopai, "https://www.miaopai.com/show/a.htm", scheme);
        row("mi capital scheme", Service::Miaopai, "HTTP://www.miaopai.com/show/a.htm", scheme);
        row("mi no www", Service::Miaopai, "http://miaopai.com/show/a.htm", mpWrong);
        row("mi base only", Service::Miaopai, "http://www.miaopai.com/show/", QStringLiteral("请输入正确的秒拍地址.."));
        row("mi base twice", Service::Miaopai, "http://www.miaopai.com/show/http://www.miaopai.com/show/",
            QStringLiteral("请输入正确的秒拍地址.."));
        row("mi passes", Service::Miaopai, "http://www.miaopai.com/show/abcDEF123~xyz.htm", QString());
        row("mi base in the middle", Service::Miaopai, "看 http://www.miaopai.com/show/x.htm 吧", QString());

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

    void configuredHost()
    {
        Config::Settings s;
        s.meipaiHost = QStringLiteral("m.example.test");
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
        QTest::newRow("meipai before miaopai")
            << QStringLiteral("http://www.miaopai.com/show/a http://www.meipai.com/media/1") << int(Service::Meipai);
        QTest::newRow("unknown") << QStringLiteral("http://www.example.com/") << -1;
        QTest::newRow("empty") << QString() << -1;
        QTest::newRow("no scheme") << QStringLiteral("www.weishi.com/t/1") << -1;
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
