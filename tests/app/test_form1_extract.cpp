#include "formfixture.h"

#include "app/alphapicture.h"
#include "demo/demosite.h"
#include "extract/extraction.h"
#include "web/getbody.h"

#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

using namespace TestSupport;
using Behaviour = Demo::Response::Behaviour;
using Extract::Service;

Q_DECLARE_METATYPE(Extract::Service)

class TestForm1Extract : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void serviceChoice_data();
    void serviceChoice();
    void paste_data();
    void paste();
    void pasteNeedsEnabledBox();
    void addressChecks_data();
    void addressChecks();
    void noServiceChosen();
    void demoExtraction_data();
    void demoExtraction();
    void badgeFollowsAuthor_data();
    void badgeFollowsAuthor();
    void pageTextShownLiterally_data();
    void pageTextShownLiterally();
    void extractButtonLockedWhileFetching();
    void failedFetchLeavesNothingBehind_data();
    void failedFetchLeavesNothingBehind();
    void pageWithoutVideo();

private:
    QString demoAddress(Service service) const;
    QString routeKey(const QString &address) const;
    void choose(Service service, const QString &address);
    QString label(const char *name) const { return control<QLabel>(*m_form, QString::fromLatin1(name))->text(); }
    void serve(const QString &address, const QString &page, Behaviour behaviour = Behaviour::Normal);

    std::unique_ptr<SiteFixture> m_fx;
    Recorder m_rec;
    std::unique_ptr<App::Form1> m_form;
};

void TestForm1Extract::init()
{
    m_fx = std::make_unique<SiteFixture>();
    Demo::addDemoSite(m_fx->site, m_fx->settings);
    m_rec = {};
    m_form = makeForm(m_fx->settings, m_rec);
    m_form->Form_Load();
    QVERIFY(TestSupport::waitIdle(*m_form));
    QVERIFY(control(*m_form, QStringLiteral("Command1"))->isEnabled());
}

void TestForm1Extract::cleanup()
{
    m_form.reset();
    m_fx.reset();
}

QString TestForm1Extract::demoAddress(Service service) const
{
    for (const auto &[s, address] : Demo::demoAddresses(m_fx->settings)) {
        if (s == service)
            return address;
    }
    qFatal("no sample address for a service");
}

QString TestForm1Extract::routeKey(const QString &address) const
{
    const QUrl url(address);
    return url.path() + (url.hasQuery() ? u'?' + url.query() : QString());
}

void TestForm1Extract::serve(const QString &address, const QString &page, Behaviour behaviour)
{
    Demo::Response answer;
    answer.body = page.toUtf8();
    answer.behaviour = behaviour;
    answer.slowDelayMs = 30;
    m_fx->site.setRoute(hostOf(address), routeKey(address), answer);
}

void TestForm1Extract::choose(Service service, const QString &address)
{
    control<QRadioButton>(*m_form, QStringLiteral("Option1(%1)").arg(int(service)))->click();
    control<QLineEdit>(*m_form, QStringLiteral("Text1"))->setText(address);
}

void TestForm1Extract::serviceChoice_data()
{
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QString>("status");
    QTest::newRow("weishi") << QList<int>{0} << QStringLiteral("您当前选择的是微视视频提取..");
    QTest::newRow("meipai") << QList<int>{1} << QStringLiteral("您当前选择的是美拍视频提取..");
    QTest::newRow("kuaishou") << QList<int>{2} << QStringLiteral("您当前选择的是GIF快手视频提取..");
    QTest::newRow("miaopai") << QList<int>{4} << QStringLiteral("您当前选择的是秒拍视频提取..");
    QTest::newRow("meipai then kuaishou") << QList<int>{1, 2} << QStringLiteral("您当前选择的是GIF快手视频提取..");
    QTest::newRow("miaopai then weishi") << QList<int>{4, 0} << QStringLiteral("您当前选择的是微视视频提取..");
    QTest::newRow("same twice") << QList<int>{4, 4} << QStringLiteral("您当前选择的是秒拍视频提取..");
}

void TestForm1Extract::serviceChoice()
{
    QFETCH(QList<int>, clicks);
    QFETCH(QString, status);
    QCOMPARE(label("Label5"), QStringLiteral("欢迎使用Zavlen系列软件.."));
    for (int i : clicks) {
        auto *option = control<QRadioButton>(*m_form, QStringLiteral("Option1(%1)").arg(i));
        QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(4, option->height() / 2));
    }
    QCOMPARE(label("Label5"), status);
    int checked = 0;
    for (int i = 0; i < 5; ++i)
        checked += control<QRadioButton>(*m_form, QStringLiteral("Option1(%1)").arg(i))->isChecked() ? 1 : 0;
    QCOMPARE(checked, 1);
    QVERIFY(!control(*m_form, QStringLiteral("Option1(3)"))->isVisible());
    // the status line sizes itself to the message
    auto *status5 = control<QLabel>(*m_form, QStringLiteral("Label5"));
    QCOMPARE(status5->width(), status5->sizeHint().width());
}

void TestForm1Extract::paste_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("clip");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    const QString address = QStringLiteral("http://www.meipai.com/media/1");
    QTest::newRow("address over empty box") << "text" << address << QString() << address;
    QTest::newRow("address over hint") << "text" << address << App::Form1::addressHint << address;
    QTest::newRow("address over typed text") << "text" << address << QStringLiteral("http://www.mei") << address;
    QTest::newRow("spaces kept") << "text" << QStringLiteral("  x  ") << QString() << QStringLiteral("  x  ");
    QTest::newRow("several lines") << "text" << QStringLiteral("a\r\nb\nc") << QStringLiteral("old")
                                   << QStringLiteral("a\r\nb\nc");
    QTest::newRow("picture") << "image" << QString() << QStringLiteral("old") << QString();
    QTest::newRow("nothing") << "empty" << QString() << QStringLiteral("old") << QString();
}

void TestForm1Extract::paste()
{
    QFETCH(QString, kind);
    QFETCH(QString, clip);
    QFETCH(QString, before);
    QFETCH(QString, after);

    QClipboard *clipboard = QGuiApplication::clipboard();
    if (kind == QLatin1String("text")) {
        clipboard->setText(clip);
    } else if (kind == QLatin1String("image")) {
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::red);
        clipboard->setImage(picture);
    } else {
        clipboard->clear();
    }

    auto *box = control<QLineEdit>(*m_form, QStringLiteral("Text1"));
    box->setText(before);
    QTest::mouseDClick(box, Qt::LeftButton, {}, box->rect().center());
    QCOMPARE(box->text(), after);
    if (kind == QLatin1String("text"))
        QCOMPARE(clipboard->text(), clip); // the clipboard itself is left alone
}

void TestForm1Extract::pasteNeedsEnabledBox()
{
    Recorder rec;
    auto fresh = makeForm(m_fx->settings, rec);
    QGuiApplication::clipboard()->setText(QStringLiteral("http://x"));
    auto *box = control<QLineEdit>(*fresh, QStringLiteral("Text1"));
    QVERIFY(!box->isEnabled());
    fresh->show();
    QTest::mouseDClick(box, Qt::LeftButton, {}, box->rect().center());
    QCOMPARE(box->text(), QString());
    fresh->Text1_DblClick(); // the handler itself always pastes
    QCOMPARE(box->text(), QStringLiteral("http://x"));
}

void TestForm1Extract::addressChecks_data()
{
    QTest::addColumn<Service>("service");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("status");

    QTest::newRow("weishi empty") << Service::Weishi << QString() << QStringLiteral("请您输入微视网页版地址..");
    QTest::newRow("meipai empty") << Service::Meipai << QString() << QStringLiteral("请您输入美拍网页版地址..");
    QTest::newRow("kuaishou empty") << Service::Kuaishou << QString() << QStringLiteral("请您输入快手网页版地址..");
    QTest::newRow("miaopai empty") << Service::Miaopai << QString() << QStringLiteral("请您输入秒拍网页版地址..");
    const QString noScheme = QStringLiteral("请在网之前加入http://");
    QTest::newRow("meipai without scheme") << Service::Meipai << QStringLiteral("www.meipai.com/media/1") << noScheme;
    QTest::newRow("weishi capital scheme") << Service::Weishi << QStringLiteral("HTTP://www.weishi.com/t/1")
                                           << noScheme;
    QTest::newRow("miaopai hint as address") << Service::Miaopai << App::Form1::addressHint << noScheme;
}

void TestForm1Extract::addressChecks()
{
    QFETCH(Service, service);
    QFETCH(QString, address);
    QFETCH(QString, status);

    // a badge left from an earlier extraction is hidden by every press
    control(*m_form, QStringLiteral("v(2)"))->setVisible(true);
    const int before = m_fx->site.requestCount();
    choose(service, address);
    m_form->Command1_Click();
    QVERIFY(TestSupport::waitIdle(*m_form));
    QCOMPARE(label("Label5"), status);
    QCOMPARE(m_fx->site.requestCount(), before);
    QVERIFY(control(*m_form, QStringLiteral("Command1"))->isEnabled());
    QVERIFY(!control(*m_form, QStringLiteral("v(2)"))->isVisible());
    QCOMPARE(label("Label1"), QStringLiteral("用户名"));
}

void TestForm1Extract::noServiceChosen()
{
    control(*m_form, QStringLiteral("v(0)"))->setVisible(true);
    control<QLineEdit>(*m_form, QStringLiteral("Text1"))->setText(demoAddress(Service::Meipai));
    const int before = m_fx->site.requestCount();
    control<QPushButton>(*m_form, QStringLiteral("Command1"))->click();
    QVERIFY(TestSupport::waitIdle(*m_form));
    QCOMPARE(label("Label5"), QStringLiteral("欢迎使用Zavlen系列软件.."));
    QCOMPARE(m_fx->site.requestCount(), before);
    QVERIFY(!control(*m_form, QStringLiteral("v(0)"))->isVisible());
}

void TestForm1Extract::demoExtraction_data()
{
    QTest::addColumn<Service>("service");
    QTest::newRow("weishi") << Service::Weishi;
    QTest::newRow("meipai") << Service::Meipai;
    QTest::newRow("kuaishou") << Service::Kuaishou;
    QTest::newRow("miaopai") << Service::Miaopai;
}

void TestForm1Extract::demoExtraction()
{
    QFETCH(Service, service);
    const QString address = demoAddress(service);
    const std::optional<QString> page = Web::GetBody(address).text;
    QVERIFY(page && !page->isEmpty());
    const Extract::FetchFn fetch = [](const QString &url) { return Web::GetBody(url).text; };
    const Extract::Result expected = Extract::extract(service, address, *page, fetch, m_fx->settings);
    QVERIFY(expected.found());

    choose(service, address);
    control<QPushButton>(*m_form, QStringLiteral("Command1"))->click();
    QVERIFY(TestSupport::waitIdle(*m_form));

    QCOMPARE(label("Label5"), Extract::statusDone);
    QCOMPARE(label("Label1"), expected.display.author);
    QCOMPARE(label("Label2"), expected.display.description);
    QCOMPARE(label("Label3"), expected.display.date);
    QCOMPARE(m_form->resultSlots()[2], expected.video());
    QCOMPARE(m_form->resultSlots()[4], expected.slot[4]);
    QVERIFY(control(*m_form, QStringLiteral("Command1"))->isEnabled());
    QCOMPARE(m_form->playingFlag(), 0);
    for (const char *name : {"Label1", "Label2", "Label3"}) {
        const auto *l = control<QLabel>(*m_form, QString::fromLatin1(name));
        QCOMPARE(l->size(), l->sizeHint());
    }

    // the cover replaces the placeholder; the play button stays on top
    const auto *cover = control<QLabel>(*m_form, QStringLiteral("Image1"));
    QVERIFY(cover->isVisible());
    QVERIFY(!cover->pixmap().isNull());
    QVERIFY(!control(*m_form, QStringLiteral("aicAlphaImage5"))->isVisible());
    QVERIFY(control(*m_form, QStringLiteral("aicAlphaImage1"))->isVisible());
    QVERIFY(!control(*m_form, QStringLiteral("aicAlphaImage2"))->isVisible());
    const QPoint middle = cover->geometry().center();
    QCOMPARE(m_form->childAt(middle)->objectName(), QStringLiteral("aicAlphaImage1"));

    const auto *image2 = control<QLabel>(*m_form, QStringLiteral("Image2"));
    const auto *alpha3 = control<App::AlphaPicture>(*m_form, QStringLiteral("aicAlphaImage3"));
    QVERIFY(image2->isVisible());
    QCOMPARE(alpha3->isVisible(), expected.display.avatarInAlpha);
    if (expected.display.avatarInAlpha) {
        QVERIFY(!alpha3->picture().isNull());
        QVERIFY(image2->pixmap().isNull());
    } else {
        QVERIFY(!image2->pixmap().isNull());
    }
}

void TestForm1Extract::badgeFollowsAuthor_data()
{
    QTest::addColumn<Service>("service");
    QTest::addColumn<int>("badge");
    QTest::addColumn<int>("gap");
    QTest::newRow("weishi") << Service::Weishi << 0 << 0;
    QTest::newRow("meipai") << Service::Meipai << 2 << 5;
    QTest::newRow("miaopai") << Service::Miaopai << 1 << 5;
}

void TestForm1Extract::badgeFollowsAuthor()
{
    QFETCH(Service, service);
    QFETCH(int, badge);
    QFETCH(int, gap);

    const QString address = demoAddress(service);
    const std::optional<QString> page = Web::GetBody(address).text;
    QVERIFY(page);
    const Extract::FetchFn fetch = [](const QString &url) { return Web::GetBody(url).text; };
    const QString original = Extract::extract(service, address, *page, fetch, m_fx->settings).slot[8];
    QVERIFY(!original.isEmpty());

    int previousWidth = -1;
    for (const QString &author : {QStringLiteral("短"), QStringLiteral("一个很长很长很长名字")}) {
        // every badge test holds for this page, whoever the author is
        serve(address, QStringLiteral("<!-- vip vip.png v1.png -->") + QString(*page).replace(original, author));
        choose(service, address);
        m_form->Command1_Click();
        QVERIFY(TestSupport::waitIdle(*m_form));
        const QWidget *name = control(*m_form, QStringLiteral("Label1"));
        QVERIFY(label("Label1").startsWith(author.left(8)));
        QVERIFY(name->width() > previousWidth);
        previousWidth = name->width();
        for (int i = 0; i < 3; ++i) {
            const QWidget *v = control(*m_form, QStringLiteral("v(%1)").arg(i));
            QCOMPARE(v->isVisible(), i == badge);
            QCOMPARE(v->y(), 322);
        }
        const QWidget *shown = control(*m_form, QStringLiteral("v(%1)").arg(badge));
        QCOMPARE(shown->x(), name->x() + name->width() + gap);
        QCOMPARE(name->width(), name->sizeHint().width());
    }
}

void TestForm1Extract::pageTextShownLiterally_data()
{
    QTest::addColumn<Service>("service");
    QTest::addColumn<QString>("markup");
    QTest::newRow("meipai bold") << Service::Meipai << QStringLiteral("<b>粗</b>");
    QTest::newRow("meipai picture") << Service::Meipai << QStringLiteral("<img src=x>");
    QTest::newRow("weishi entities") << Service::Weishi << QStringLiteral("a&amp;b&lt;i&gt;");
    QTest::newRow("miaopai picture") << Service::Miaopai << QStringLiteral("<img src=x>");
}

void TestForm1Extract::pageTextShownLiterally()
{
    QFETCH(Service, service);
    QFETCH(QString, markup);

    const QString address = demoAddress(service);
    const Extract::FetchFn fetch = [](const QString &url) { return Web::GetBody(url).text; };
    QString page = *Web::GetBody(address).text;
    const Extract::Result plain = Extract::extract(service, address, page, fetch, m_fx->settings);
    const QString author = plain.slot[service == Service::Kuaishou ? 12 : 8];
    QVERIFY(!author.isEmpty());
    page.replace(author, markup);
    const Extract::Result marked = Extract::extract(service, address, page, fetch, m_fx->settings);
    const QString start = markup.left(5);
    const bool carried = marked.display.author.contains(start) || marked.display.description.contains(start);
    QVERIFY2(carried, "the edited page must carry markup into a shown field");
    serve(address, page);

    choose(service, address);
    m_form->Command1_Click();
    QVERIFY(TestSupport::waitIdle(*m_form));
    QCOMPARE(label("Label1"), marked.display.author);
    QCOMPARE(label("Label2"), marked.display.description);
    for (const char *name : {"Label1", "Label2"}) {
        const auto *l = control<QLabel>(*m_form, QString::fromLatin1(name));
        QCOMPARE(l->textFormat(), Qt::PlainText);
        // drawn as characters: as wide as the raw text, not as an empty rendering of markup
        QVERIFY(l->width() >= l->fontMetrics().horizontalAdvance(l->text()) - 1);
    }
}

void TestForm1Extract::extractButtonLockedWhileFetching()
{
    const QString address = demoAddress(Service::Meipai);
    const QString page = *Web::GetBody(address).text;
    serve(address, page + QString(3000, u' '), Behaviour::Slow);

    QList<bool> enabledMeanwhile;
    QStringList statusMeanwhile;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&] {
        enabledMeanwhile.append(control(*m_form, QStringLiteral("Command1"))->isEnabled());
        statusMeanwhile.append(label("Label5"));
    });
    sampler.start(15);
    // What the window shows after the extraction is no longer "meanwhile".
    connect(m_form.get(), &App::Form1::extractionEnded, &sampler, &QTimer::stop);
    choose(Service::Meipai, address);
    m_form->Command1_Click();
    QVERIFY(TestSupport::waitIdle(*m_form));
    sampler.stop();

    QVERIFY(!enabledMeanwhile.isEmpty());
    QVERIFY(!enabledMeanwhile.contains(true));
    for (const QString &s : std::as_const(statusMeanwhile))
        QCOMPARE(s, QStringLiteral("正在提取视频,请稍等..."));
    QVERIFY(control(*m_form, QStringLiteral("Command1"))->isEnabled());
    QCOMPARE(label("Label5"), Extract::statusDone);
}

void TestForm1Extract::failedFetchLeavesNothingBehind_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<bool>("emptyBody");
    QTest::newRow("connection reset") << int(Behaviour::Reset) << false;
    QTest::newRow("empty page") << int(Behaviour::Normal) << true;
}

void TestForm1Extract::failedFetchLeavesNothingBehind()
{
    QFETCH(int, behaviour);
    QFETCH(bool, emptyBody);

    const QString address = demoAddress(Service::Meipai);
    const QString page = *Web::GetBody(address).text;
    serve(address, QStringLiteral("<!-- vip.png -->") + page);
    choose(Service::Meipai, address);
    m_form->Command1_Click();
    QVERIFY(TestSupport::waitIdle(*m_form));
    QCOMPARE(label("Label5"), Extract::statusDone);
    QVERIFY(control(*m_form, QStringLiteral("v(2)"))->isVisible());
    const QString firstAuthor = label("Label1");

    serve(address, emptyBody ? QString() : page, Behaviour(behaviour));
    m_form->Command1_Click();
    QVERIFY(TestSupport::waitIdle(*m_form));

    QCOMPARE(label("Label5"), Extract::statusFetchFailed);
    QVERIFY(label("Label1") != firstAuthor);
    QCOMPARE(label("Label1"), QStringLiteral("用户名"));
    QCOMPARE(label("Label2"), QStringLiteral("描述"));
    QCOMPARE(label("Label3"), QStringLiteral("日期"));
    for (const QString &slot : m_form->resultSlots())
        QVERIFY(slot.isEmpty());
    for (int i = 0; i < 3; ++i)
        QVERIFY(!control(*m_form, QStringLiteral("v(%1)").arg(i))->isVisible());
    QVERIFY(control<QLabel>(*m_form, QStringLiteral("Image1"))->pixmap().isNull());
    QVERIFY(control<QLabel>(*m_form, QStringLiteral("Image2"))->pixmap().isNull());
    QVERIFY(control(*m_form, QStringLiteral("aicAlphaImage5"))->isVisible());
    QVERIFY(control(*m_form, QStringLiteral("Command1"))->isEnabled());
    QCOMPARE(m_form->playingFlag(), 0);
}

void TestForm1Extract::pageWithoutVideo()
{
    const QString address = demoAddress(Service::Meipai);
    choose(Service::Meipai, address);
    m_form->Command1_Click();
    QVERIFY(TestSupport::waitIdle(*m_form));
    QCOMPARE(label("Label5"), Extract::statusDone);
    const QString firstAuthor = label("Label1");
    QVERIFY(!m_form->resultSlots()[2].isEmpty());

    serve(address, QStringLiteral("<html><body>removed</body></html>"));
    m_form->Command1_Click();
    QVERIFY(TestSupport::waitIdle(*m_form));
    QCOMPARE(label("Label5"), Extract::statusNoVideo);
    QVERIFY(m_form->resultSlots()[2].isEmpty());
    QVERIFY(label("Label1") != firstAuthor);
    QVERIFY(control<QLabel>(*m_form, QStringLiteral("Image1"))->pixmap().isNull());
    QVERIFY(control(*m_form, QStringLiteral("Command1"))->isEnabled());
}

ZAVLEN_GUI_TEST_MAIN(TestForm1Extract)
#include "test_form1_extract.moc"
