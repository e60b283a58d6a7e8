#include "formfixture.h"

#include "app/startup/fontsetup.h"
#include "web/getbody.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>

#ifdef ZAVLEN_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

using namespace TestSupport;

// What the window's start-up leaves to later or arranges ahead: the fonts set up while the
// application is made, and the sample site filled only when someone first asks it.
class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void siteFilledOnFirstRequest_data();
    void siteFilledOnFirstRequest();
    void fontsSetUpAhead_data();
    void fontsSetUpAhead();
    void unhintedFontsStayUnhinted_data();
    void unhintedFontsStayUnhinted();
    void chineseDrawnAsUnhinted();
    void installedFamiliesOnly_data();
    void installedFamiliesOnly();
};

void TestStartup::fontsSetUpAhead_data()
{
    QTest::addColumn<bool>("waited");
    // Only the first row sets fontconfig up in this process: Qt asks for its fonts while that is
    // still under way, as it would if the window did not wait.
    QTest::newRow("Qt asks at once") << false;
    QTest::newRow("waited for") << true;
    QTest::newRow("waited for, once set up") << true;
}

void TestStartup::fontsSetUpAhead()
{
    QFETCH(bool, waited);
    App::FontSetup fonts;
    if (waited)
        fonts.wait();
    // Whoever sets it up, Qt sees every installed font, the window's Chinese ones among them.
    QVERIFY(!QFontDatabase::families().isEmpty());
    QVERIFY(!QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty());
    QVERIFY(QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("提取视频")) > 0);
}

namespace {

#ifdef ZAVLEN_HAVE_FONTCONFIG
struct Hinting
{
    bool hinting = true;
    int style = -1;
};

// What `config` decides for the font it matches to `request`; null: the current configuration.
Hinting hintingOf(FcConfig *config, const QByteArray &request)
{
    Hinting result;
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>(request.constData()));
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult outcome;
    if (FcPattern *match = FcFontMatch(config, pattern, &outcome)) {
        FcBool hinting = FcTrue;
        FcPatternGetBool(match, FC_HINTING, 0, &hinting);
        result.hinting = hinting;
        FcPatternGetInteger(match, FC_HINT_STYLE, 0, &result.style);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return result;
}
#endif

QImage drawn(const QString &text, QFont font)
{
    QImage image(160, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(4, 28), text);
    return image;
}

} // namespace

void TestStartup::unhintedFontsStayUnhinted_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("systemHints"); // what the installed fonts' own rules say

    // The Chinese font's package tells fontconfig not to hint it; the Latin one's, only when small.
    QTest::newRow("the Chinese font") << QByteArray("WenQuanYi Micro Hei") << false;
    QTest::newRow("the Chinese font, bold and large") << QByteArray("WenQuanYi Micro Hei:bold:pixelsize=21") << false;
    QTest::newRow("sans-serif for Chinese") << QByteArray("sans-serif:lang=zh-cn") << false;
    QTest::newRow("the Latin font") << QByteArray("DejaVu Sans") << true;
    QTest::newRow("the Latin font, small") << QByteArray("DejaVu Sans:pixelsize=6") << false;
}

// A font the system says not to hint gets no hint style either, the only one of the two Qt reads;
// every other font keeps the style the system gives it.
void TestStartup::unhintedFontsStayUnhinted()
{
#ifdef ZAVLEN_HAVE_FONTCONFIG
    QFETCH(QByteArray, request);
    QFETCH(bool, systemHints);
    App::FontSetup fonts;
    fonts.wait();

    FcConfig *system = FcInitLoadConfigAndFonts();
    QVERIFY(system);
    const Hinting before = hintingOf(system, request);
    FcConfigDestroy(system);
    QCOMPARE(before.hinting, systemHints);
    QVERIFY(before.style > FC_HINT_NONE); // the system's style for every font: slight

    const Hinting now = hintingOf(nullptr, request);
    QCOMPARE(now.hinting, before.hinting);
    QCOMPARE(now.style, systemHints ? before.style : FC_HINT_NONE);
#else
    QSKIP("built without fontconfig");
#endif
}

// The same in Qt's drawing: Chinese text in the application's font comes out exactly as with
// hinting turned off by hand.
void TestStartup::chineseDrawnAsUnhinted()
{
    App::FontSetup fonts;
    fonts.wait();
    // A size no test has drawn at: Qt keeps a font's set-up for the process, and an earlier test
    // asks for fonts before fontconfig's set-up is done.
    QFont font = QApplication::font();
    font.setPixelSize(17);
    QFont unhinted = font;
    unhinted.setHintingPreference(QFont::PreferNoHinting);
    for (const QString &text : {QStringLiteral("提取视频"), QStringLiteral("地址（双击文本粘贴）")}) {
        const QImage asSetUp = drawn(text, font);
        QVERIFY(asSetUp != drawn(QString(), font)); // something was drawn
        QCOMPARE(asSetUp, drawn(text, unhinted));
    }
}

void TestStartup::installedFamiliesOnly_data()
{
    QTest::addColumn<QStringList>("families");
    QTest::addColumn<QStringList>("installed");

    const QString chinese = QStringLiteral("WenQuanYi Micro Hei");
    const QString latin = QStringLiteral("DejaVu Sans");
    const QString missing = QStringLiteral("Zavlen No Such Sans");
    QTest::newRow("the first missing") << QStringList{missing, chinese} << QStringList{chinese};
    QTest::newRow("all there, in order") << QStringList{latin, chinese} << QStringList{latin, chinese};
    QTest::newRow("all there, the other order") << QStringList{chinese, latin} << QStringList{chinese, latin};
    QTest::newRow("one missing between") << QStringList{latin, missing, chinese} << QStringList{latin, chinese};
    QTest::newRow("by its Chinese name") << QStringList{missing, QStringLiteral("文泉驿微米黑")}
                                         << QStringList{QStringLiteral("文泉驿微米黑")};
    QTest::newRow("in other letters") << QStringList{QStringLiteral("wenquanyi micro hei")}
                                      << QStringList{QStringLiteral("wenquanyi micro hei")};
    // Nothing to choose from: Qt is left to find what stands in, as it would have.
    QTest::newRow("none there") << QStringList{missing, QStringLiteral("Zavlen No Such Serif")}
                                << QStringList{missing, QStringLiteral("Zavlen No Such Serif")};
    QTest::newRow("none asked for") << QStringList{} << QStringList{};
}

void TestStartup::installedFamiliesOnly()
{
#ifdef ZAVLEN_HAVE_FONTCONFIG
    QFETCH(QStringList, families);
    QFETCH(QStringList, installed);
    QCOMPARE(App::installedFamilies(families), installed);
#else
    QSKIP("built without fontconfig");
#endif
}

void TestStartup::siteFilledOnFirstRequest_data()
{
    QTest::addColumn<int>("requests");
    QTest::addColumn<bool>("replaced"); // a second preparation given before any request
    QTest::addColumn<int>("firstRuns");
    QTest::addColumn<int>("secondRuns");

    QTest::newRow("never asked") << 0 << false << 0 << 0;
    QTest::newRow("asked once") << 1 << false << 1 << 0;
    QTest::newRow("asked three times") << 3 << false << 1 << 0;
    QTest::newRow("replaced before asked") << 2 << true << 0 << 1;
}

void TestStartup::siteFilledOnFirstRequest()
{
    QFETCH(int, requests);
    QFETCH(bool, replaced);
    QFETCH(int, firstRuns);
    QFETCH(int, secondRuns);

    SiteFixture fx;
    const QString address = QStringLiteral("http://update.example/record.txt");
    int first = 0;
    int second = 0;
    const auto filler = [&fx, &address](int &runs) {
        return [&fx, &address, &runs] {
            ++runs;
            Demo::Response answer;
            answer.contentType = "text/plain";
            answer.body = "filled";
            fx.site.setRoute(hostOf(address), pathOf(address), answer);
        };
    };
    fx.site.prepareOnFirstRequest(filler(first));
    if (replaced)
        fx.site.prepareOnFirstRequest(filler(second));
    QCOMPARE(fx.site.requestCount(), 0);

    for (int i = 0; i < requests; ++i) {
        const Web::FetchResult r = Web::fetch(address, {});
        QVERIFY2(r.ok(), qPrintable(r.errorString));
        // The very first answer already comes from what the preparation added.
        QCOMPARE(r.body, QByteArray("filled"));
    }
    QCOMPARE(first, firstRuns);
    QCOMPARE(second, secondRuns);
    QCOMPARE(fx.site.requestCount(), requests);
}

ZAVLEN_GUI_TEST_MAIN(TestStartup)
#include "test_startup.moc"
