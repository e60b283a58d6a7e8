#include "formfixture.h"

#include "app/cursor.h"
#include "app/startup/fontsetup.h"
#include "os/system.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

using namespace TestSupport;
using Behaviour = Demo::Response::Behaviour;

class TestForm1Startup : public QObject
{
    Q_OBJECT
private slots:
    void versionOutcomes_data();
    void versionOutcomes();
    void inventory_data();
    void inventory();
    void loadSteps();
    void labelsArePlainText();
    void handPointer_data();
    void handPointer();
    void tabOrderAndFocus();
    void loadRunsOnce();
    void missingSkinStillChecks();
    void buttonsWorkDuringCheck();
    void exitAndForum();
};

void TestForm1Startup::versionOutcomes_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("forumOpened");
    QTest::addColumn<bool>("ended");
    QTest::addColumn<bool>("usable");

    const QString failed = QStringLiteral("检测更新失败!请您稍后再试,暂时使用原版");
    const int normal = int(Behaviour::Normal);
    QTest::newRow("equal") << QByteArray("appsp:V1.6.0|") << normal << QString() << 0 << false << false << true;
    QTest::newRow("equal, other entries around")
        << QByteArray("name:x\r\nappsp:V1.6.0|appsp:V9|\r\n") << normal << QString() << 0 << false << false << true;
    QTest::newRow("different")
        << QByteArray("appsp:V1.7.0|") << normal
        << QStringLiteral("发现最新版本![V1.7.0]\r\n \r\n确定后自动打开官方论坛!") << 64 << true << true << false;
    QTest::newRow("lower-case v")
        << QByteArray("appsp:v1.6.0|") << normal
        << QStringLiteral("发现最新版本![v1.6.0]\r\n \r\n确定后自动打开官方论坛!") << 64 << true << true << false;
    QTest::newRow("space after colon")
        << QByteArray("appsp: V1.6.0|") << normal
        << QStringLiteral("发现最新版本![ V1.6.0]\r\n \r\n确定后自动打开官方论坛!") << 64 << true << true << false;
    QTest::newRow("not fetched") << QByteArray("appsp:V1.7.0|") << int(Behaviour::Reset) << failed << 48
                                 << false << false << true;
    QTest::newRow("trickled past the time limit")
        << QByteArray("appsp:V1.6.0|" + QByteArray(200, ' ')) << int(Behaviour::Slow) << failed << 48 << false
        << false << true;
    QTest::newRow("fetched without entry")
        << QByteArray("<html>maintenance</html>") << normal << failed << 48 << false << false << true;
    QTest::newRow("entry without bar") << QByteArray("appsp:V1.6.0") << normal << failed << 48 << false << false
                                       << true;
    QTest::newRow("empty record") << QByteArray() << normal << failed << 48 << false << false << true;
}

void TestForm1Startup::versionOutcomes()
{
    QFETCH(QByteArray, record);
    QFETCH(int, behaviour);
    QFETCH(QString, message);
    QFETCH(int, style);
    QFETCH(bool, forumOpened);
    QFETCH(bool, ended);
    QFETCH(bool, usable);

    SiteFixture fx;
    if (Behaviour(behaviour) == Behaviour::Slow)
        fx.useTimeLimit(2);
    fx.serveRecord(record, Behaviour(behaviour));
    Recorder rec;
    auto form = makeForm(fx.settings, rec);
    form->Form_Load();
    QVERIFY(TestSupport::waitIdle(*form));

    QCOMPARE(fx.requestsFor(fx.settings.maker.versionRecordUrl), 1);
    if (message.isEmpty()) {
        QVERIFY(rec.messages.isEmpty());
    } else {
        QCOMPARE(rec.messages.size(), 1);
        QCOMPARE(rec.messages.first().first, message);
        QCOMPARE(rec.messages.first().second, style);
    }
    QCOMPARE(rec.pages, forumOpened ? QStringList{fx.settings.maker.forumUrl} : QStringList{});
    QCOMPARE(rec.ends, ended ? 1 : 0);

    for (const char *name : {"Frame1", "Text1", "Command1"})
        QCOMPARE(control(*form, QString::fromLatin1(name))->isEnabled(), usable);
    for (const char *name : {"Frame2", "Command2", "Command3", "Command4", "Command5", "Slider1", "Label10"})
        QVERIFY2(control(*form, QString::fromLatin1(name))->isEnabled(), name);
    const QString status = control<QLabel>(*form, QStringLiteral("Label5"))->text();
    QCOMPARE(status, usable ? QStringLiteral("欢迎使用Zavlen系列软件..") : QStringLiteral("正在检测程序是否有更新.."));
    for (int i = 0; i < 5; ++i)
        QVERIFY(!control<QRadioButton>(*form, QStringLiteral("Option1(%1)").arg(i))->isChecked());
    QVERIFY(form->isVisible());
}

void TestForm1Startup::inventory_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("rect"); // width -1: sized to its text
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QString>("text");

    auto row = [](const char *name, const char *container, QRect rect, bool visible, const QString &text = {}) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(container) << rect << visible
                            << text;
    };
    const int fit = -1;
    row("Frame1", "Form1", {24, 104, 329, 57}, true);
    row("Labe1(0)", "Frame1", {8, 22, fit, 0}, true, QStringLiteral("软件类型："));
    row("Option1(0)", "Frame1", {72, 21, 57, 17}, true, QStringLiteral("微视"));
    row("Option1(1)", "Frame1", {120, 21, 57, 17}, true, QStringLiteral("美拍"));
    row("Option1(4)", "Frame1", {168, 21, 49, 17}, true, QStringLiteral("秒拍"));
    row("Option1(2)", "Frame1", {216, 21, 63, 17}, true, QStringLiteral("GIF快手"));
    row("Option1(3)", "Frame1", {280, 16, 65, 17}, false, QStringLiteral("微拍"));
    row("Frame2", "Form1", {24, 176, 329, 65}, true);
    row("Labe1(1)", "Frame2", {8, 27, fit, 0}, true, QStringLiteral("地址（双击文本粘贴）："));
    row("Text1", "Frame2", {128, 24, 185, 18}, true, QString());
    row("Command1", "Form1", {24, 248, 329, 41}, true, QStringLiteral("提取视频"));
    row("Web1", "Form1", {240, 256, 25, 25}, true);
    row("Image2", "Form1", {32, 320, 65, 65}, true);
    row("aicAlphaImage3", "Form1", {32, 320, 65, 65}, true);
    row("Label1", "Form1", {112, 320, fit, 0}, true, QStringLiteral("用户名"));
    row("v(0)", "Form1", {184, 322, 25, 25}, false);
    row("v(1)", "Form1", {216, 322, 25, 25}, false);
    row("v(2)", "Form1", {248, 322, 25, 25}, false);
    row("Label3", "Form1", {112, 352, fit, 0}, true, QStringLiteral("日期"));
    row("Label2", "Form1", {112, 368, fit, 0}, true, QStringLiteral("描述"));
    row("Slider1", "Form1", {24, 408, 329, 25}, true);
    row("Command2", "Form1", {24, 456, 81, 41}, true, QStringLiteral("下载视频"));
    row("Command3", "Form1", {104, 456, 81, 41}, true, QStringLiteral("复制地址"));
    row("Command5", "Form1", {184, 456, 81, 41}, true, QStringLiteral("官方论坛"));
    row("Command4", "Form1", {264, 456, 81, 41}, true, QStringLiteral("退出软件"));
    row("Image1", "Form1", {376, 104, 377, 397}, true);
    row("aicAlphaImage5", "Form1", {376, 104, 380, 400}, true);
    row("aicAlphaImage1", "Form1", {376, 104, 377, 397}, true);
    row("aicAlphaImage2", "Form1", {376, 104, 377, 397}, false);
    row("W1", "Form1", {376, 104, 377, 441}, false);
    row("Label10", "Form1", {642, 7, fit, 0}, true, QStringLiteral("在线反馈"));
    row("Picture1", "Form1", {2, 520, 774, 49}, true);
    row("Label4", "Picture1", {16, 19, fit, 0}, true, QStringLiteral("运行提示："));
    row("Label5", "Picture1", {120, 19, fit, 0}, true, QStringLiteral("欢迎使用Zavlen系列软件.."));
    row("Label6", "Picture1", {688, 19, fit, 0}, true, QStringLiteral("Zavlen出品"));
    row("Line2", "Picture1", {104, 8, 1, 33}, true);
    row("Line3", "Picture1", {680, 8, 1, 33}, true);
}

void TestForm1Startup::inventory()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, rect);
    QFETCH(bool, visible);
    QFETCH(QString, text);

    SiteFixture fx;
    fx.serveRecord("appsp:V1.6.0|");
    Recorder rec;
    auto form = makeForm(fx.settings, rec);
    form->Form_Load();
    QVERIFY(TestSupport::waitIdle(*form));

    QWidget *w = control(*form, name);
    QVERIFY(w);
    QCOMPARE(w->parentWidget()->objectName(), container);
    QCOMPARE(w->pos(), rect.topLeft());
    if (rect.width() >= 0) {
        QCOMPARE(w->size(), rect.size());
    } else {
        // sized to its text: exactly as wide as the text needs
        QCOMPARE(w->size(), w->sizeHint());
    }
    QCOMPARE(w->isVisibleTo(form.get()), visible);
    if (!text.isNull())
        QCOMPARE(w->property("text").toString(), text);
}

void TestForm1Startup::loadSteps()
{
    SiteFixture fx;
    fx.serveRecord("appsp:V1.6.0|");
    Recorder rec;
    auto form = makeForm(fx.settings, rec);
    QCOMPARE(control(*form, QStringLiteral("Picture1"))->geometry(), QRect(16, 520, 785, 49));
    QVERIFY(!form->isVisible());
    form->Form_Load();
    QVERIFY(TestSupport::waitIdle(*form));

    QCOMPARE(form->size(), QSize(777, 571));
    QVERIFY(form->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(form->windowTitle(), QStringLiteral("ZavlenAPP视频助手"));
    QVERIFY(form->windowIcon().isNull());
    QCOMPARE(form->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(control(*form, QStringLiteral("Picture1"))->geometry(), QRect(2, 520, form->width() - 3, 49));
    QCOMPARE(control(*form, QStringLiteral("Picture1"))->palette().color(QPalette::Window), QColor(20, 178, 164));
    QVERIFY(!control(*form, QStringLiteral("W1"))->isVisible());
    auto *slider = control<QSlider>(*form, QStringLiteral("Slider1"));
    QCOMPARE(slider->minimum(), 0);
    QCOMPARE(slider->maximum(), 100);
    QCOMPARE(slider->value(), 50);
    QVERIFY(rec.messages.isEmpty());

    const QFont nameFont = control(*form, QStringLiteral("Label1"))->font();
    // The designed families that are installed, in their order, and the first is what draws it.
    const QStringList asked = nameFont.families();
    QVERIFY(!asked.isEmpty());
    QCOMPARE(asked, App::installedFamilies(Os::chineseInterfaceFonts()));
    // Where none of them is installed (wine has no Windows fonts) a stand-in draws it.
    if (QFontDatabase::hasFamily(asked.constFirst()))
        QCOMPARE(QFontInfo(nameFont).family(), asked.constFirst());
    QCOMPARE(nameFont.pointSizeF(), 15.75);
    QVERIFY(nameFont.bold());
    for (const char *name : {"Label4", "Label5", "Label6"})
        QCOMPARE(textColour(control(*form, QString::fromLatin1(name))), QColor(Qt::white));
    QCOMPARE(textColour(control(*form, QStringLiteral("Label10"))), QColor(231, 231, 231));
    QCOMPARE(control(*form, QStringLiteral("v(0)"))->toolTip(), QStringLiteral("微视认证"));
    QCOMPARE(control(*form, QStringLiteral("v(1)"))->toolTip(), QStringLiteral("秒拍认证"));
    QCOMPARE(control(*form, QStringLiteral("v(2)"))->toolTip(), QStringLiteral("新浪微博认证"));
}

void TestForm1Startup::labelsArePlainText()
{
    SiteFixture fx;
    fx.serveRecord("appsp:V1.6.0|");
    Recorder rec;
    auto form = makeForm(fx.settings, rec);
    const QList<QLabel *> labels = form->findChildren<QLabel *>();
    QVERIFY(labels.size() >= 10);
    for (const QLabel *label : labels)
        QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
}

void TestForm1Startup::handPointer_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("hand");
    for (const char *name : {"Option1(0)", "Option1(1)", "Option1(2)", "Option1(3)", "Option1(4)", "Label10",
                             "aicAlphaImage1", "aicAlphaImage2"})
        QTest::newRow(name) << QString::fromLatin1(name) << true;
    for (const char *name : {"Command1", "Text1", "Label1", "Frame1"})
        QTest::newRow(name) << QString::fromLatin1(name) << false;
}

void TestForm1Startup::handPointer()
{
    QFETCH(QString, name);
    QFETCH(bool, hand);
    SiteFixture fx;
    Recorder rec;
    auto form = makeForm(fx.settings, rec);
    const QCursor expected = App::handCursor();
    const QWidget *w = control(*form, name);
    QVERIFY(w);
    const bool isHand = w->testAttribute(Qt::WA_SetCursor) && w->cursor().shape() == expected.shape()
                        && w->cursor().hotSpot() == expected.hotSpot();
    QCOMPARE(isHand, hand);
}

void TestForm1Startup::tabOrderAndFocus()
{
    SiteFixture fx;
    fx.serveRecord("appsp:V1.6.0|");
    Recorder rec;
    auto form = makeForm(fx.settings, rec);
    form->Form_Load();
    QVERIFY(TestSupport::waitIdle(*form));

    const QStringList order = {QStringLiteral("Command5"),   QStringLiteral("Command3"),   QStringLiteral("Command2"),
                               QStringLiteral("Slider1"),    QStringLiteral("Command1"),   QStringLiteral("Text1"),
                               QStringLiteral("Option1(3)"), QStringLiteral("Option1(2)"), QStringLiteral("Option1(1)"),
                               QStringLiteral("Option1(0)"), QStringLiteral("W1"),         QStringLiteral("Web1"),
                               QStringLiteral("Picture1"),   QStringLiteral("Option1(4)"), QStringLiteral("Command4")};
    // Only what can take the focus by the tab key has a place in the order.
    QStringList focusable;
    for (const QString &name : order) {
        if (control(*form, name)->focusPolicy() & Qt::TabFocus)
            focusable.append(name);
    }
    QVERIFY(focusable.size() >= 12);
    QStringList seen;
    QWidget *first = control(*form, order.first());
    QWidget *w = first;
    do {
        if (focusable.contains(w->objectName()) && !seen.contains(w->objectName()))
            seen.append(w->objectName());
        w = w->nextInFocusChain();
    } while (w && w != first);
    QCOMPARE(seen, focusable);
    QCOMPARE(form->focusWidget(), first);
}

void TestForm1Startup::loadRunsOnce()
{
    SiteFixture fx;
    fx.serveRecord("appsp:V1.6.0|");
    Recorder rec;
    auto form = makeForm(fx.settings, rec);
    form->Form_Load();
    QVERIFY(TestSupport::waitIdle(*form));
    form->Form_Load();
    QVERIFY(TestSupport::waitIdle(*form));
    QCOMPARE(fx.requestsFor(fx.settings.maker.versionRecordUrl), 1);
}

void TestForm1Startup::missingSkinStillChecks()
{
    const QString skin = QCoreApplication::applicationDirPath() + QStringLiteral("/skinh.she");
    if (QFile::exists(skin))
        QSKIP("a skin file lies next to the test program");
    SiteFixture fx;
    fx.serveRecord("appsp:V1.6.0|");
    Recorder rec;
    auto form = makeForm(fx.settings, rec);
    form->Form_Load();
    QVERIFY(TestSupport::waitIdle(*form));
    QVERIFY(form->isVisible());
    QCOMPARE(fx.requestsFor(fx.settings.maker.versionRecordUrl), 1);
    QVERIFY(control(*form, QStringLiteral("Command1"))->isEnabled());
}

void TestForm1Startup::buttonsWorkDuringCheck()
{
    SiteFixture fx;
    Demo::Response slow;
    slow.body = QByteArray("appsp:V1.6.0|").leftJustified(4000, ' ');
    slow.behaviour = Behaviour::Slow;
    slow.slowDelayMs = 40;
    fx.site.setRoute(hostOf(fx.settings.maker.versionRecordUrl), pathOf(fx.settings.maker.versionRecordUrl), slow);
    Recorder rec;
    auto form = makeForm(fx.settings, rec);

    bool sampled = false;
    bool visibleMeanwhile = false;
    bool lockedMeanwhile = false;
    QString statusMeanwhile;
    QTimer::singleShot(30, form.get(), [&] {
        sampled = true;
        visibleMeanwhile = form->isVisible();
        lockedMeanwhile = !control(*form, QStringLiteral("Command1"))->isEnabled()
                          && !control(*form, QStringLiteral("Text1"))->isEnabled()
                          && !control(*form, QStringLiteral("Frame1"))->isEnabled();
        statusMeanwhile = control<QLabel>(*form, QStringLiteral("Label5"))->text();
        control<QPushButton>(*form, QStringLiteral("Command5"))->click();
    });
    form->Form_Load();
    QVERIFY(TestSupport::waitIdle(*form));

    QVERIFY(sampled);
    QVERIFY(visibleMeanwhile);
    QVERIFY(lockedMeanwhile);
    QCOMPARE(statusMeanwhile, QStringLiteral("正在检测程序是否有更新.."));
    QCOMPARE(rec.pages, QStringList{fx.settings.maker.forumUrl});
    QVERIFY(control(*form, QStringLiteral("Command1"))->isEnabled());
}

void TestForm1Startup::exitAndForum()
{
    SiteFixture fx;
    fx.serveRecord("appsp:V1.6.0|");
    Recorder rec;
    auto form = makeForm(fx.settings, rec);
    form->Form_Load();
    QVERIFY(TestSupport::waitIdle(*form));
    control<QPushButton>(*form, QStringLiteral("Command5"))->click();
    QCOMPARE(rec.pages, QStringList{fx.settings.maker.forumUrl});
    QCOMPARE(rec.ends, 0);
    control<QPushButton>(*form, QStringLiteral("Command4"))->click();
    QCOMPARE(rec.ends, 1);
    QVERIFY(rec.messages.isEmpty());
}

ZAVLEN_GUI_TEST_MAIN(TestForm1Startup)
#include "test_form1_startup.moc"
