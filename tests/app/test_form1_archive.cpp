#include "formfixture.h"

#include "app/alphapicture.h"
#include "demo/demosite.h"
#include "demo/laterdemo.h"
#include "extract/road.h"
#include "player/mediaplayer.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

using namespace TestSupport;
using Extract::Service;

Q_DECLARE_METATYPE(Extract::Service)

// Pages the live web has lost, found in the web archive of the demonstration site.
class TestForm1Archive : public QObject
{
    Q_OBJECT

    std::unique_ptr<SiteFixture> m_fx;
    Recorder m_rec;
    std::unique_ptr<App::Form1> m_form;

    QString label(const char *name) const { return control<QLabel>(*m_form, QString::fromLatin1(name))->text(); }
    QLabel *provenance() const { return control<QLabel>(*m_form, QStringLiteral("archiveLabel")); }

    QString archivedAddress(Service service) const
    {
        for (const auto &[s, address] : Demo::archivedDemoAddresses(m_fx->settings)) {
            if (s == service)
                return address;
        }
        return {};
    }

    // Extracts, noting every status line and whether the extract button was usable meanwhile.
    QStringList extract(Service service, const QString &address, bool *unlockedMeanwhile = nullptr)
    {
        control<QRadioButton>(*m_form, QStringLiteral("Option1(%1)").arg(int(service)))->click();
        control<QLineEdit>(*m_form, QStringLiteral("Text1"))->setText(address);
        QStringList seen;
        bool unlocked = false;
        QTimer watch;
        watch.setInterval(1);
        connect(&watch, &QTimer::timeout, this, [&] {
            const QString now = label("Label5");
            if (seen.isEmpty() || seen.last() != now)
                seen << now;
            unlocked |= control(*m_form, QStringLiteral("Command1"))->isEnabled();
        });
        watch.start();
        // What the window shows after the extraction is no longer "meanwhile".
        connect(m_form.get(), &App::Form1::extractionEnded, &watch, &QTimer::stop);
        m_form->Command1_Click();
        if (!TestSupport::waitIdle(*m_form))
            qWarning("the extraction never ended");
        watch.stop();
        if (unlockedMeanwhile)
            *unlockedMeanwhile = unlocked;
        return seen;
    }

    Extract::RoadResult expected(Service service, const QString &address) const
    {
        return Extract::runRoad(address, service, m_fx->settings, Web::networkFetch());
    }

private Q_SLOTS:
    void init()
    {
        m_fx = std::make_unique<SiteFixture>();
        Demo::addDemoSite(m_fx->site, m_fx->settings);
        Player::MediaPlayer::setProxy(m_fx->site.proxyUrl());
        m_rec = {};
        m_form = makeForm(m_fx->settings, m_rec);
        m_form->Form_Load();
        QVERIFY(TestSupport::waitIdle(*m_form));
    }

    void cleanup()
    {
        m_form.reset();
        m_fx.reset();
    }

    void archivedExtraction_data()
    {
        QTest::addColumn<Service>("service");
        QTest::addColumn<QString>("date");
        QTest::newRow("weishi") << Service::Weishi << QStringLiteral("2014-11-08");
        QTest::newRow("meipai") << Service::Meipai << QStringLiteral("2015-03-12");
        QTest::newRow("kuaishou") << Service::Kuaishou << QStringLiteral("2015-06-19");
        QTest::newRow("miaopai") << Service::Miaopai << QStringLiteral("2016-04-22");
    }

    void archivedExtraction()
    {
        QFETCH(Service, service);
        QFETCH(QString, date);
        const QString address = archivedAddress(service);
        const Extract::RoadResult want = expected(service, address);
        QVERIFY2(want.ok() && want.archived, qPrintable(want.result.status));

        bool unlocked = true;
        const QStringList seen = extract(service, address, &unlocked);
        QVERIFY2(seen.contains(Extract::statusArchiveSearch), qPrintable(seen.join(u'|')));
        QVERIFY(!unlocked);
        QCOMPARE(label("Label5"), Extract::statusDone);
        QVERIFY(control(*m_form, QStringLiteral("Command1"))->isEnabled());
        QCOMPARE(label("Label1"), want.result.display.author);
        QCOMPARE(m_form->resultSlots()[2], want.result.video());

        QVERIFY(provenance()->isVisible());
        QCOMPARE(provenance()->text(), QStringLiteral("来自网页存档 ") + date);
        QCOMPARE(provenance()->textFormat(), Qt::PlainText);
        QVERIFY(provenance()->y() > control(*m_form, QStringLiteral("Label2"))->geometry().bottom());

        // The pictures' own hosts are gone: they come from the archive.
        QVERIFY(!control<QLabel>(*m_form, QStringLiteral("Image1"))->pixmap().isNull());
        if (want.result.display.avatarInAlpha)
            QVERIFY(!control<App::AlphaPicture>(*m_form, QStringLiteral("aicAlphaImage3"))->picture().isNull());
        else
            QVERIFY(!control<QLabel>(*m_form, QStringLiteral("Image2"))->pixmap().isNull());
    }

    // Pages of the later layouts show as the first ones do, live or from the archive.
    void laterPages_data()
    {
        QTest::addColumn<Service>("service");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("archived");
        for (const Demo::LaterSample &later : Demo::laterSamples(Config::Settings{}))
            QTest::newRow(qPrintable(later.address)) << later.service << later.address << later.archived;
    }

    void laterPages()
    {
        QFETCH(Service, service);
        QFETCH(QString, address);
        QFETCH(bool, archived);
        const Extract::RoadResult want = expected(service, address);
        QVERIFY2(want.ok() && bool(want.archived) == archived, qPrintable(want.result.status));
        extract(service, address);
        QCOMPARE(label("Label5"), Extract::statusDone);
        QCOMPARE(label("Label1"), want.result.display.author);
        QCOMPARE(label("Label2"), want.result.display.description);
        QCOMPARE(label("Label3"), want.result.display.date);
        QCOMPARE(m_form->resultSlots()[2], want.result.video());
        QCOMPARE(provenance()->isVisible(), archived);
        QVERIFY(!control<QLabel>(*m_form, QStringLiteral("Image1"))->pixmap().isNull());
        if (!want.result.display.avatarAddress.isEmpty() && want.result.display.avatarInAlpha)
            QVERIFY(!control<App::AlphaPicture>(*m_form, QStringLiteral("aicAlphaImage3"))->picture().isNull());
        else if (!want.result.display.avatarAddress.isEmpty())
            QVERIFY(!control<QLabel>(*m_form, QStringLiteral("Image2"))->pixmap().isNull());
        m_form->Command3_Click();
        QCOMPARE(QGuiApplication::clipboard()->text(), want.info().videoToFetch());
    }

    // Play, download and copy take the archived file when the archive has it.
    void actionsUseTheArchivedVideo_data()
    {
        QTest::addColumn<Service>("service");
        QTest::addColumn<bool>("fileKept");
        QTest::newRow("meipai, file archived") << Service::Meipai << true;
        QTest::newRow("kuaishou, file not archived") << Service::Kuaishou << false;
    }

    void actionsUseTheArchivedVideo()
    {
        QFETCH(Service, service);
        QFETCH(bool, fileKept);
        const QString address = archivedAddress(service);
        const Extract::RoadResult want = expected(service, address);
        QCOMPARE(!want.archived->video.isEmpty(), fileKept);
        const QString video = fileKept ? want.archived->video : want.result.video();
        QVERIFY(video.startsWith(QLatin1String("http://")));
        extract(service, address);

        m_form->Command3_Click();
        QCOMPARE(QGuiApplication::clipboard()->text(), video);

        m_form->aicAlphaImage1_MouseMove();
        m_form->aicAlphaImage2_MouseUp();
        QCOMPARE(m_form->playingFlag(), 1);
        QCOMPARE(control<Player::MediaPlayer>(*m_form, QStringLiteral("W1"))->URL(), video);
        m_form->tzstop();
        QVERIFY(TestSupport::waitIdle(*m_form));
        QVERIFY(!control<QLabel>(*m_form, QStringLiteral("Image1"))->pixmap().isNull());
        QVERIFY(m_rec.messages.isEmpty());
    }

    // The label belongs to one result: the next extraction starts without it.
    void provenanceGoesWithTheResult()
    {
        extract(Service::Meipai, archivedAddress(Service::Meipai));
        QVERIFY(provenance()->isVisible());
        const QString live = Demo::demoAddresses(m_fx->settings).at(1).second;
        extract(Service::Meipai, live);
        QCOMPARE(label("Label5"), Extract::statusDone);
        QVERIFY(!provenance()->isVisible());

        extract(Service::Meipai, archivedAddress(Service::Meipai));
        QVERIFY(provenance()->isVisible());
        extract(Service::Meipai, QStringLiteral("http://www.meipai.com/media/1"));
        QCOMPARE(label("Label5"), Extract::statusNoVideo);
        QVERIFY(!provenance()->isVisible());
        m_form->Command3_Click();
        QCOMPARE(m_rec.messages.size(), 1);
        QCOMPARE(m_rec.messages.first().first, App::Form1::noVideoMessage);
    }

    // An address copied from a browser or a share text works in the window too.
    void shareTextInTheAddressBox()
    {
        const QString address = archivedAddress(Service::Miaopai);
        const QString text = QStringLiteral("我在秒拍分享了一段视频 https") + address.mid(4) + QStringLiteral(" 快来看");
        extract(Service::Miaopai, text);
        QCOMPARE(label("Label5"), Extract::statusDone);
        QVERIFY(provenance()->isVisible());
        QCOMPARE(m_form->resultSlots()[20], QStringLiteral("abcDEF124~xyz"));
    }

    // A search ends at once when the user presses Esc or chooses another service; nothing of it
    // is shown afterwards.
    void searchCancelled_data()
    {
        QTest::addColumn<bool>("byChoice");
        QTest::newRow("Esc") << false;
        QTest::newRow("another service") << true;
    }
    void searchCancelled()
    {
        QFETCH(bool, byChoice);
        m_fx->site.setHandler([](const Demo::Request &req) -> std::optional<Demo::Response> {
            if (req.host != u"web.archive.org")
                return std::nullopt;
            Demo::Response never;
            never.behaviour = Demo::Response::Behaviour::Never;
            return never;
        });
        QTimer::singleShot(300, m_form.get(), [this, byChoice] {
            if (byChoice)
                control<QRadioButton>(*m_form, QStringLiteral("Option1(2)"))->click();
            else
                QTest::keyClick(m_form.get(), Qt::Key_Escape);
        });
        QElapsedTimer clock;
        clock.start();
        const QStringList seen = extract(Service::Meipai, archivedAddress(Service::Meipai));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(seen.contains(Extract::statusArchiveSearch), qPrintable(seen.join(u'|')));
        QCOMPARE(label("Label5"), byChoice ? QStringLiteral("您当前选择的是GIF快手视频提取..") : Extract::statusCancelled);
        QVERIFY(control(*m_form, QStringLiteral("Command1"))->isEnabled());
        QCOMPARE(control<QRadioButton>(*m_form, QStringLiteral("Option1(2)"))->isChecked(), byChoice);
        QCOMPARE(label("Label1"), QStringLiteral("用户名"));
        QVERIFY(m_form->resultSlots()[2].isEmpty());
        QVERIFY(!provenance()->isVisible());
        QTest::qWait(100);
        QCOMPARE(label("Label5"), byChoice ? QStringLiteral("您当前选择的是GIF快手视频提取..") : Extract::statusCancelled);
    }

    // The window closed while it waits: whatever it waits for ends with it, at once.
    void closedWhileWaiting_data()
    {
        QTest::addColumn<bool>("duringSearch");
        QTest::newRow("during a search") << true;
        QTest::newRow("during the update check") << false;
    }
    void closedWhileWaiting()
    {
        QFETCH(bool, duringSearch);
        Demo::Response never;
        never.behaviour = Demo::Response::Behaviour::Never;
        m_fx->site.setHandler([never](const Demo::Request &req) -> std::optional<Demo::Response> {
            return req.host == u"web.archive.org" ? std::optional(never) : std::nullopt;
        });
        if (duringSearch) {
            control<QRadioButton>(*m_form, QStringLiteral("Option1(1)"))->click();
            control<QLineEdit>(*m_form, QStringLiteral("Text1"))->setText(archivedAddress(Service::Meipai));
            m_form->Command1_Click();
        } else {
            m_fx->serveRecord("appsp:V1.6.0|", Demo::Response::Behaviour::Never);
            m_form = makeForm(m_fx->settings, m_rec);
            m_form->Form_Load();
        }
        QTest::qWait(300);
        QVERIFY(m_form->isWaiting());
        QElapsedTimer clock;
        clock.start();
        m_form.reset();
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m_rec.ends, 0);
    }

    // A failed extraction asks for no picture: what its cutting left is no address.
    void failedExtractionLoadsNoPicture()
    {
        Demo::Response page;
        page.body = "<html><title>nothing here</title></html>";
        m_fx->site.setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/media/5"), page);
        const qsizetype before = m_fx->site.requests().size();
        extract(Service::Meipai, QStringLiteral("http://www.meipai.com/media/5"));
        QCOMPARE(label("Label5"), Extract::statusNoVideo);
        for (const Demo::Request &req : m_fx->site.requests().mid(before))
            QVERIFY2(req.host == u"www.meipai.com" || req.host == u"web.archive.org", qPrintable(req.host));
    }
};

ZAVLEN_GUI_TEST_MAIN(TestForm1Archive)
#include "test_form1_archive.moc"
