#include "config/settings.h"
#include "demo/laterdemo.h"
#include "extract/extraction.h"
#include "extract/jsonstate.h"
#include "extract/meipaicode.h"

#include <QTest>

using Extract::Service;

namespace {

const QString smid = QStringLiteral("Vn5cX2kR8tLq4WmZ7pHd3BfJ9gYs6aUe");
const QString meipaiVideo =
    QStringLiteral("//mvvideo3.meitudata.com/5a1c2e3f2d4b6c8e0.mp4?k=0cc175b9c0f1b6a831c399e269772661&t=5a24c170");
const QString mediaStub = QStringLiteral("<html><head><script>var smid = '%1';</script></head>"
                                         "<body><div id=\"app\"></div></body></html>").arg(smid);

} // namespace

// How the later pages carry their data: Meipai's hidden addresses, and JSON states that may be
// anything at all.
class TestHiddenData final : public QObject
{
    Q_OBJECT

    const Config::Settings m_cfg;

private Q_SLOTS:
    // The value a public copy of Meipai's page script was shown with, and what it stands for.
    void workedExample()
    {
        const QString value = QStringLiteral(
            "a6a0aHiUQKI8R0cDovL212dmlkZW8xMS5tZWl0dWRhdGEuY29tLzU5YjAxMTI2MWFjZDEyODI4Lm1wND9rPTE3ODgxM2U5ODJjZG"
            "RmYzdlMGM3ODNhMDIzODM2NjljJnQ9NTliMzARlJitY3YzQ=");
        QCOMPARE(Extract::Meipai::decodeVideo(value).value_or(QString()),
                 QStringLiteral("http://mvvideo11.meitudata.com/59b011261acd12828.mp4?k=178813e982cddfc7e0c783a02383669c"
                                "&t=59b367c4"));
    }

    void hiddenVideo_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("address"); // empty: no address
        const QString plain = QStringLiteral("http://mvvideo1.meitudata.com/58f9cad9a.mp4");
        for (const int places : {1000, 2666, 4497, 9999}) {
            QTest::addRow("places %d", places) << Demo::hideMeipaiVideo(plain, places, u"ABCDEFGHIJKLMNOPQR") << plain;
        }
        QTest::newRow("protocol-relative gets https")
            << Demo::hideMeipaiVideo(meipaiVideo, 2666, u"zzzzzzzzzzzz") << QStringLiteral("https:") + meipaiVideo;
        // The junk also stands in the value itself: deleting every copy of it breaks the address.
        const QString base = QString::fromLatin1(plain.toUtf8().toBase64());
        const QString junk = base.mid(10, 6);
        const QString tricky = Demo::hideMeipaiVideo(plain, 2666, QString(junk + junk));
        QVERIFY(QString(tricky.mid(4)).remove(junk) != base);
        QTest::newRow("junk that also stands elsewhere") << tricky << plain;
        QTest::newRow("too short") << QStringLiteral("a6a0aHR0") << QString();
        QTest::newRow("head not hexadecimal") << QStringLiteral("zzzzaHR0cDovL212dmlkZW8xLm1wNA==") << QString();
        QTest::newRow("three digits") << QStringLiteral("7e30aHR0cDovL212dmlkZW8xLm1wNA==") << QString();
        QTest::newRow("places beyond the value") << QStringLiteral("f2709aHR0") + QStringLiteral("QQ") << QString();
        QTest::newRow("not base64") << Demo::hideMeipaiVideo(plain, 2666, u"ABCDEFGHIJKL").replace(20, 1, u'!')
                                    << QString();
        QTest::newRow("decodes to no address")
            << Demo::hideMeipaiVideo(QStringLiteral("file:///etc/passwd"), 2666, u"ABCDEFGHIJKL") << QString();
        QTest::newRow("decodes to control bytes")
            << Demo::hideMeipaiVideo(QStringLiteral("http://a\x01.mp4"), 2666, u"ABCDEFGHIJKL") << QString();
        QTest::newRow("plain address, the first generation's") << plain << QString();
    }
    void hiddenVideo()
    {
        QFETCH(QString, value);
        QFETCH(QString, address);
        QCOMPARE(Extract::Meipai::decodeVideo(value).value_or(QString()), address);
    }

    // A state that is no JSON, too large or too deep fails clearly, and is refused before it is
    // parsed; JSON's own escapes and a state written into HTML are read.
    void hostileStates_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("problem");
        QTest::addColumn<bool>("found");
        const QString hidden = Demo::hideMeipaiVideo(QStringLiteral("//mvvideo1.meitudata.com/5a1c2e3f.mp4"), 2666,
                                                     u"iUQKI8ARlJit");
        const QString good = QStringLiteral("{\"mediaInfo\":{\"video\":\"%1\"%2}}").arg(hidden);
        const auto row = [](const char *name, const QString &state, Extract::StateProblem problem, bool found) {
            QTest::newRow(name) << state << int(problem) << found;
        };
        using P = Extract::StateProblem;
        row("plain", good.arg(QString()), P::None, true);
        row("trailing comma", good.arg(u','), P::Invalid, false);
        row("cut off", good.arg(QString()).chopped(2), P::Invalid, false);
        row("a script's literal, not JSON", QString(good.arg(QString())).replace(u'"', u'\''), P::Invalid, false);
        row("10 MB", good.arg(QStringLiteral(",\"x\":\"") + QString(10 * 1024 * 1024, u'a') + u'"'), P::TooLarge, false);
        row("100000 levels", good.arg(QStringLiteral(",\"x\":") + QString(100000, u'[') + QString(100000, u']')),
            P::TooDeep, false);
        row("60 levels", good.arg(QStringLiteral(",\"x\":") + QString(60, u'[') + QString(60, u']')), P::None, true);
        row("brackets and quotes inside strings",
            good.arg(QStringLiteral(",\"caption_origin\":\"}]{[ \\\"}\\\" \\\\\"")), P::None, true);
        row("\\u002F escapes", QString(good.arg(QString())).replace(u'/', QStringLiteral("\\u002F")),
            P::None, true);
        row("lone surrogate and NUL", good.arg(QStringLiteral(",\"caption_origin\":\"\\ud800\\u0000\"")), P::None, true);
        row("written into HTML as &#34;", QString(good.arg(QString())).replace(u'"', QStringLiteral("&#34;")), P::None,
            true);
        row("written into HTML as &quot;", QString(good.arg(QString())).replace(u'"', QStringLiteral("&quot;")),
            P::None, true);
        row("no state at all", QStringLiteral("null"), P::Missing, false);
    }
    void hostileStates()
    {
        QFETCH(QString, state);
        QFETCH(int, problem);
        QFETCH(bool, found);
        const QString page = QStringLiteral("<script>window.PHPDATA = %1;</script>").arg(state);
        QCOMPARE(int(Extract::stateAfter(page, u"window.PHPDATA").problem), problem);
        const Extract::Result r = Extract::extract(Service::Meipai, QStringLiteral("http://m.meipai.com/media/1"), page, {}, m_cfg);
        QCOMPARE(r.found(), found);
        const bool refused = problem != int(Extract::StateProblem::None) && problem != int(Extract::StateProblem::Missing);
        QCOMPARE(r.status, found ? Extract::statusDone : refused ? Extract::statusUnreadable : Extract::statusNoVideo);

        // The media answer of Miaopai is read the same way.
        const Extract::Result answer = Extract::extract(
            Service::Miaopai, QStringLiteral("http://n.miaopai.com/media/") + smid, mediaStub,
            [&](const QString &) { return std::optional(QStringLiteral("window._jsonpq1 && _jsonpq1(%1);").arg(state)); },
            m_cfg);
        QCOMPARE(answer.status, refused ? Extract::statusUnreadable : Extract::statusNoVideo);

        // So are Kuaishou's and Weishi's states, whatever their marker.
        const QList<std::tuple<Service, const char *, const char *>> states{
            {Service::Kuaishou, "http://live.kuaishou.com/u/a/3xq7hm2nc9rkw4e", "window.VUE_MODEL_INIT_STATE.profileGallery"},
            {Service::Kuaishou, "http://live.kuaishou.com/u/a/3xq7hm2nc9rkw4e", "window.__APOLLO_STATE__"},
            {Service::Kuaishou, "http://v.m.chenzhongtech.com/fw/photo/3xq7hm2nc9rkw4e", "window.pageData"},
            {Service::Kuaishou, "http://m.gifshow.com/fw/photo/3xq7hm2nc9rkw4e", "window.INIT_STATE"},
            {Service::Weishi, "http://m.weishi.qq.com/vise/share/index.html?id=7fQmW2pLc9XrT4vB1", "window.Vise.initState"},
        };
        for (const auto &[service, address, marker] : states) {
            const QString later = QStringLiteral("<script>%1 = %2;</script>").arg(QLatin1String(marker), state);
            QCOMPARE(Extract::extract(service, QString::fromLatin1(address), later, {}, m_cfg).status,
                     refused ? Extract::statusUnreadable : Extract::statusNoVideo);
        }
    }
};

QTEST_APPLESS_MAIN(TestHiddenData)
#include "test_hiddendata.moc"
