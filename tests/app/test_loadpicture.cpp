#include "app/loadpicture.h"
#include "support/testos.h"
#include "webfixture.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>
#include <optional>

using App::PictureSource;

class TestLoadPicture final : public QObject
{
    Q_OBJECT
private:
    // The picture once the load has ended.
    QImage load(const QString &source, PictureSource allowed = PictureSource::WebOrFile)
    {
        std::optional<QImage> got;
        App::LoadPicture(source, allowed, this, [&got](const QImage &picture) { got = picture; });
        if (!QTest::qWaitFor([&got] { return got.has_value(); }, 10000))
            qWarning("the load never ended");
        return got.value_or(QImage());
    }

    std::unique_ptr<Demo::LoopbackSite> m_site;
    QTemporaryDir m_dir;
    QByteArray m_png;

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return path;
    }

private slots:
    void initTestCase()
    {
        unsetProxyEnvironment();
        QVERIFY(m_dir.isValid());
        QImage image(7, 5, QImage::Format_ARGB32);
        image.fill(QColor(10, 200, 30));
        image.setPixelColor(6, 4, QColor(255, 0, 0));
        QBuffer buffer(&m_png);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(image.save(&buffer, "PNG"));

        m_site = std::make_unique<Demo::LoopbackSite>();
        QVERIFY(m_site->listen());
        Web::NetworkAccess::configure(siteSettings(*m_site));
        m_site->setRoute(QStringLiteral("ugc.qpic.cn"), QStringLiteral("/cover.png"),
                         page(m_png, 200, "image/png"));
        // Some picture hosts send the wrong type; the bytes decide.
        m_site->setRoute(QStringLiteral("ugc.qpic.cn"), QStringLiteral("/cover.jpg"),
                         page(m_png, 200, "text/html"));
        m_site->setRoute(QStringLiteral("ugc.qpic.cn"), QStringLiteral("/page"),
                         page("<html>not a picture</html>"));
        m_site->setRoute(QStringLiteral("ugc.qpic.cn"), QStringLiteral("/gone.png"),
                         page(m_png, 404, "image/png"));
    }
    void cleanupTestCase() { m_site.reset(); }

    void load_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("picture");

        const QString file = writeFile(QStringLiteral("cover.png"), m_png);
        const QString garbage =
            writeFile(QStringLiteral("garbage.png"), QByteArray("\x89PNG\r\n\x1a\nnot really", 18));
        QTest::newRow("web picture") << QStringLiteral("http://ugc.qpic.cn/cover.png") << true;
        QTest::newRow("web picture, wrong type") << QStringLiteral("http://ugc.qpic.cn/cover.jpg") << true;
        QTest::newRow("file path") << file << true;
        QTest::newRow("file address") << QUrl::fromLocalFile(file).toString() << true;
        QTest::newRow("garbage file") << garbage << false;
        QTest::newRow("missing file") << m_dir.filePath(QStringLiteral("none.png")) << false;
        QTest::newRow("folder") << m_dir.path() << false;
        if (!TestSupport::endlessDevice().isEmpty())
            QTest::newRow("device") << TestSupport::endlessDevice() << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("web page") << QStringLiteral("http://ugc.qpic.cn/page") << false;
        QTest::newRow("not found page") << QStringLiteral("http://ugc.qpic.cn/none.png") << false;
        QTest::newRow("error status") << QStringLiteral("http://ugc.qpic.cn/gone.png") << false;
        QTest::newRow("other scheme") << QStringLiteral("ftp://ugc.qpic.cn/cover.png") << false;
        QTest::newRow("text") << QStringLiteral("%%% not an address <>") << false;
    }
    void load()
    {
        QFETCH(QString, source);
        QFETCH(bool, picture);
        const QImage image = load(source);
        QCOMPARE(!image.isNull(), picture);
        if (picture) {
            QCOMPARE(image.size(), QSize(7, 5));
            QCOMPARE(image.pixelColor(0, 0), QColor(10, 200, 30));
            QCOMPARE(image.pixelColor(6, 4), QColor(255, 0, 0));
        }
    }

    void pageAddressesNeverReadLocalFiles()
    {
        const QString file = writeFile(QStringLiteral("local.png"), m_png);
        QVERIFY(!load(file).isNull());
        QVERIFY(load(file, PictureSource::WebOnly).isNull());
        QVERIFY(load(QUrl::fromLocalFile(file).toString(), PictureSource::WebOnly).isNull());
        QVERIFY(!load(QStringLiteral("http://ugc.qpic.cn/cover.png"), PictureSource::WebOnly)
                     .isNull());
    }

    // A load ended by its owner calls back nobody.
    void deletedLoadEndsSilently()
    {
        bool called = false;
        delete App::LoadPicture(QStringLiteral("http://ugc.qpic.cn/cover.png"), PictureSource::WebOnly, this,
                                [&called](const QImage &) { called = true; });
        QTest::qWait(300);
        QVERIFY(!called);
    }

    void otherSchemesNeverReachTheSite()
    {
        const int before = m_site->requestCount();
        QVERIFY(load(QStringLiteral("ftp://ugc.qpic.cn/cover.png")).isNull());
        QVERIFY(load(QStringLiteral("gopher://ugc.qpic.cn/cover.png")).isNull());
        QCOMPARE(m_site->requestCount(), before);
    }
};

QTEST_GUILESS_MAIN(TestLoadPicture)
#include "test_loadpicture.moc"
