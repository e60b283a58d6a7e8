#include "formfixture.h"

#include <QLineEdit>

using namespace TestSupport;

namespace {

int colourDistance(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

} // namespace

class TestForm1Chrome : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void hitBoxes_data();
    void hitBoxes();
    void realMouseEvents_data();
    void realMouseEvents();
    void addressHint_data();
    void addressHint();
    void hintNeedsTheWindowsOwnSurface();
    void feedbackLink_data();
    void feedbackLink();
    void repaintForgetsHover();
    void drawing();
    void stretchedStrips_data();
    void stretchedStrips();

private:
    std::unique_ptr<SiteFixture> m_fx;
    Recorder m_rec;
    std::unique_ptr<App::Form1> m_form;
};

void TestForm1Chrome::init()
{
    m_fx = std::make_unique<SiteFixture>();
    m_fx->serveRecord("appsp:V1.6.0|");
    m_rec = {};
    m_form = makeForm(m_fx->settings, m_rec);
    m_form->Form_Load();
    QVERIFY(TestSupport::waitIdle(*m_form));
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestForm1Chrome::cleanup()
{
    m_form.reset();
    m_fx.reset();
}

void TestForm1Chrome::hitBoxes_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<int>("button");
    QTest::addColumn<QPointF>("pos");
    QTest::addColumn<int>("minimiseLook");
    QTest::addColumn<int>("closeLook");
    QTest::addColumn<int>("moves");
    QTest::addColumn<int>("ends");
    QTest::addColumn<bool>("minimised");

    const int left = Qt::LeftButton;
    const int right = Qt::RightButton;
    const qreal w = 777;
    // The shared column X = W-51 belongs to minimise.
    QTest::newRow("move W-51,10") << "move" << 0 << QPointF(w - 51, 10) << 1 << 0 << 0 << 0 << false;
    QTest::newRow("move W-80,2") << "move" << 0 << QPointF(w - 80, 2) << 1 << 0 << 0 << 0 << false;
    QTest::newRow("move W-81,10") << "move" << 0 << QPointF(w - 81, 10) << 0 << 0 << 0 << 0 << false;
    QTest::newRow("move W-50,22") << "move" << 0 << QPointF(w - 50, 22) << 0 << 1 << 0 << 0 << false;
    QTest::newRow("move W-10,10") << "move" << 0 << QPointF(w - 10, 10) << 0 << 1 << 0 << 0 << false;
    QTest::newRow("move W-9,10") << "move" << 0 << QPointF(w - 9, 10) << 0 << 0 << 0 << 0 << false;
    QTest::newRow("move W-51,1") << "move" << 0 << QPointF(w - 51, 1) << 0 << 0 << 0 << 0 << false;
    QTest::newRow("move W-51,23") << "move" << 0 << QPointF(w - 51, 23) << 0 << 0 << 0 << 0 << false;
    QTest::newRow("move W-30,23") << "move" << 0 << QPointF(w - 30, 23) << 0 << 0 << 0 << 0 << false;

    QTest::newRow("down W-51,10") << "down" << left << QPointF(w - 51, 10) << 2 << 0 << 0 << 0 << false;
    QTest::newRow("down W-50,2") << "down" << left << QPointF(w - 50, 2) << 0 << 2 << 0 << 0 << false;
    QTest::newRow("down W-10,22") << "down" << left << QPointF(w - 10, 22) << 0 << 2 << 0 << 0 << false;
    QTest::newRow("down W-51,1 drags") << "down" << left << QPointF(w - 51, 1) << 0 << 0 << 1 << 0 << false;
    QTest::newRow("down W-51,23 drags") << "down" << left << QPointF(w - 51, 23) << 0 << 0 << 1 << 0 << false;
    QTest::newRow("down 300,68 drags") << "down" << left << QPointF(300, 68) << 0 << 0 << 1 << 0 << false;
    QTest::newRow("down 300,69") << "down" << left << QPointF(300, 69) << 0 << 0 << 0 << 0 << false;
    QTest::newRow("down right in strip") << "down" << right << QPointF(300, 30) << 0 << 0 << 0 << 0 << false;
    QTest::newRow("down right on close") << "down" << right << QPointF(w - 30, 10) << 0 << 0 << 0 << 0 << false;

    QTest::newRow("up W-51,10 minimises") << "up" << left << QPointF(w - 51, 10) << 0 << 0 << 0 << 0 << true;
    QTest::newRow("up W-80,22 minimises") << "up" << left << QPointF(w - 80, 22) << 0 << 0 << 0 << 0 << true;
    QTest::newRow("up W-50,2 ends") << "up" << left << QPointF(w - 50, 2) << 0 << 0 << 0 << 1 << false;
    QTest::newRow("up W-10,10 ends") << "up" << left << QPointF(w - 10, 10) << 0 << 0 << 0 << 1 << false;
    QTest::newRow("up W-9,10") << "up" << left << QPointF(w - 9, 10) << 0 << 0 << 0 << 0 << false;
    QTest::newRow("up W-81,10") << "up" << left << QPointF(w - 81, 10) << 0 << 0 << 0 << 0 << false;
    QTest::newRow("up W-30,1") << "up" << left << QPointF(w - 30, 1) << 0 << 0 << 0 << 0 << false;
    QTest::newRow("up W-30,23") << "up" << left << QPointF(w - 30, 23) << 0 << 0 << 0 << 0 << false;
}

void TestForm1Chrome::hitBoxes()
{
    QFETCH(QString, event);
    QFETCH(int, button);
    QFETCH(QPointF, pos);
    QFETCH(int, minimiseLook);
    QFETCH(int, closeLook);
    QFETCH(int, moves);
    QFETCH(int, ends);
    QFETCH(bool, minimised);

    QCOMPARE(m_form->width(), 777);
    if (event == QLatin1String("move"))
        m_form->Form_MouseMove(pos);
    else if (event == QLatin1String("down"))
        m_form->Form_MouseDown(Qt::MouseButton(button), pos);
    else
        m_form->Form_MouseUp(pos);

    QCOMPARE(m_form->minimiseLook(), minimiseLook);
    QCOMPARE(m_form->closeLook(), closeLook);
    QCOMPARE(m_rec.moves, moves);
    QCOMPARE(m_rec.ends, ends);
    QCOMPARE(m_form->isMinimized(), minimised);
}

void TestForm1Chrome::realMouseEvents_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("pressedMinimise");
    QTest::addColumn<int>("pressedClose");
    QTest::addColumn<int>("moves");
    QTest::addColumn<int>("ends");
    QTest::addColumn<bool>("minimised");

    const int left = Qt::LeftButton;
    const int right = Qt::RightButton;
    QTest::newRow("left on minimise") << left << QPoint(726, 10) << 2 << 0 << 0 << 0 << true;
    QTest::newRow("left on close") << left << QPoint(740, 10) << 0 << 2 << 0 << 1 << false;
    QTest::newRow("right on close ends") << right << QPoint(740, 10) << 0 << 0 << 0 << 1 << false;
    QTest::newRow("right on minimise") << right << QPoint(726, 10) << 0 << 0 << 0 << 0 << true;
    QTest::newRow("left in title strip") << left << QPoint(300, 68) << 0 << 0 << 1 << 0 << false;
    QTest::newRow("left below title strip") << left << QPoint(300, 69) << 0 << 0 << 0 << 0 << false;
    QTest::newRow("right in title strip") << right << QPoint(300, 40) << 0 << 0 << 0 << 0 << false;
}

void TestForm1Chrome::realMouseEvents()
{
    QFETCH(int, button);
    QFETCH(QPoint, pos);
    QFETCH(int, pressedMinimise);
    QFETCH(int, pressedClose);
    QFETCH(int, moves);
    QFETCH(int, ends);
    QFETCH(bool, minimised);

    QTest::mousePress(m_form.get(), Qt::MouseButton(button), {}, pos);
    QCOMPARE(m_form->minimiseLook(), pressedMinimise);
    QCOMPARE(m_form->closeLook(), pressedClose);
    QTest::mouseRelease(m_form.get(), Qt::MouseButton(button), {}, pos);
    QCOMPARE(m_rec.moves, moves);
    QCOMPARE(m_rec.ends, ends);
    QCOMPARE(m_form->isMinimized(), minimised);
}

void TestForm1Chrome::addressHint_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("after");

    const QString hint = App::Form1::addressHint;
    QTest::newRow("empty box, window move") << QString() << "form" << hint;
    QTest::newRow("typed box, window move") << QStringLiteral("http://a") << "form" << QStringLiteral("http://a");
    QTest::newRow("space, window move") << QStringLiteral(" ") << "form" << QStringLiteral(" ");
    QTest::newRow("hint, box move") << hint << "box" << QString();
    QTest::newRow("hint and space, box move") << hint + u' ' << "box" << hint + u' ';
    QTest::newRow("hint without last char, box move") << hint.chopped(1) << "box" << hint.chopped(1);
    QTest::newRow("other text, box move") << QStringLiteral("abc") << "box" << QStringLiteral("abc");
    QTest::newRow("empty, box move") << QString() << "box" << QString();
}

void TestForm1Chrome::addressHint()
{
    QFETCH(QString, before);
    QFETCH(QString, event);
    QFETCH(QString, after);

    QCOMPARE(App::Form1::addressHint.size(), 18);
    auto *box = control<QLineEdit>(*m_form, QStringLiteral("Text1"));
    box->setText(before);
    if (event == QLatin1String("form"))
        m_form->Form_MouseMove(QPointF(20, 300));
    else
        m_form->Text1_MouseMove();
    QCOMPARE(box->text(), after);
}

void TestForm1Chrome::hintNeedsTheWindowsOwnSurface()
{
    auto *box = control<QLineEdit>(*m_form, QStringLiteral("Text1"));
    const QWidget *label2 = control(*m_form, QStringLiteral("Label2"));
    box->clear();

    // over a label the pointer is not on the window's own surface
    QTest::mouseMove(m_form.get(), label2->geometry().center());
    QCoreApplication::processEvents();
    QCOMPARE(box->text(), QString());

    QTest::mouseMove(m_form.get(), QPoint(12, 300));
    QCoreApplication::processEvents();
    QCOMPARE(box->text(), App::Form1::addressHint);

    QTest::mouseMove(box, box->rect().center());
    QCoreApplication::processEvents();
    QCOMPARE(box->text(), QString());
}

void TestForm1Chrome::feedbackLink_data()
{
    QTest::addColumn<QString>("steps"); // m: move over the link, d: down, u: up, w: move over the window
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("opened");

    const QColor grey(231, 231, 231);
    QTest::newRow("untouched") << QString() << grey << 0;
    QTest::newRow("hover") << "m" << QColor(Qt::white) << 0;
    QTest::newRow("pressed") << "md" << QColor(Qt::red) << 1;
    QTest::newRow("released") << "mdu" << grey << 1;
    QTest::newRow("hover then window") << "mw" << grey << 0;
    QTest::newRow("pressed then window") << "mdw" << grey << 1;
    QTest::newRow("pressed twice") << "mdud" << QColor(Qt::red) << 2;
}

void TestForm1Chrome::feedbackLink()
{
    QFETCH(QString, steps);
    QFETCH(QColor, colour);
    QFETCH(int, opened);

    for (QChar step : steps) {
        switch (step.unicode()) {
        case u'm': m_form->Label10_MouseMove(); break;
        case u'd': m_form->Label10_MouseDown(); break;
        case u'u': m_form->Label10_MouseUp(); break;
        case u'w': m_form->Form_MouseMove(QPointF(600, 40)); break;
        }
    }
    QCOMPARE(textColour(control(*m_form, QStringLiteral("Label10"))), colour);
    QCOMPARE(m_rec.pages.size(), opened);
    for (const QString &page : std::as_const(m_rec.pages))
        QCOMPARE(page, m_fx->settings.maker.feedbackUrl);
    QCOMPARE(m_rec.moves, 0);
}

void TestForm1Chrome::repaintForgetsHover()
{
    m_form->Form_MouseMove(QPointF(740, 10));
    QCOMPARE(m_form->closeLook(), 1);
    m_form->repaint(); // the handler's own redraw keeps the look
    QCOMPARE(m_form->closeLook(), 1);
    m_form->repaint(); // any later repaint shows the normal looks
    QCOMPARE(m_form->closeLook(), 0);
    QCOMPARE(m_form->minimiseLook(), 0);

    // a press on the link in the title strip never reaches the window's drag
    QWidget *link = control(*m_form, QStringLiteral("Label10"));
    QTest::mousePress(link, Qt::LeftButton, {}, link->rect().center());
    QCOMPARE(textColour(link), QColor(Qt::red));
    QTest::mouseRelease(link, Qt::LeftButton, {}, link->rect().center());
    QCOMPARE(textColour(link), QColor(231, 231, 231));
    QCOMPARE(m_rec.moves, 0);
    QCOMPARE(m_rec.pages, QStringList{m_fx->settings.maker.feedbackUrl});
    // nor does a press the window passes on from the link
    QTest::mousePress(m_form.get(), Qt::LeftButton, {}, link->geometry().center());
    QCOMPARE(m_rec.moves, 0);
}

void TestForm1Chrome::drawing()
{
    const QImage frame(QStringLiteral(":/assets/frame.jpg"));
    const QImage strip(QStringLiteral(":/assets/buttons.jpg"));
    if (frame.isNull() || strip.isNull())
        QSKIP("the window's pictures are not built in");
    const int w = m_form->width();
    const int h = m_form->height();

    m_form->Form_MouseMove(QPointF(w - 70, 10));
    const QImage hover = m_form->grab().toImage();
    const QImage normal = m_form->grab().toImage();

    // caption buttons: same pixel of the strip in the hover band, then in the normal band
    const QPoint inMinimise(w - 80 + 14, 2 + 10);
    QVERIFY(colourDistance(hover.pixel(inMinimise), strip.pixel(14, 21 + 10)) < 40);
    QVERIFY(colourDistance(normal.pixel(inMinimise), strip.pixel(14, 10)) < 40);
    const QPoint inClose(w - 51 + 20, 2 + 10);
    QVERIFY(colourDistance(normal.pixel(inClose), strip.pixel(29 + 20, 10)) < 40);

    // the side edges stretch from row 68 to H-5, three pixels wide; inside them the window is white
    QVERIFY(colourDistance(normal.pixel(1, h / 2), frame.pixel(1, 80)) < 40);
    QVERIFY(colourDistance(normal.pixel(w - 2, h / 2), frame.pixel(11, 80)) < 40);
    QCOMPARE(normal.pixel(3, h / 2), qRgb(255, 255, 255));
    QCOMPARE(normal.pixel(w - 4, h / 2), qRgb(255, 255, 255));
    QVERIFY(colourDistance(normal.pixel(w / 2, h - 2), frame.pixel(6, 98)) < 40);
    QVERIFY(colourDistance(normal.pixel(w / 2, 80), frame.pixel(6, 80)) < 40);
}

void TestForm1Chrome::stretchedStrips_data()
{
    // x counts from the left, or from the right when negative; rows count from the top, or
    // from the bottom when negative.
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("firstRow");
    QTest::addColumn<int>("frameRow");
    QTest::addColumn<int>("rows");
    QTest::newRow("top strip, first column") << 6 << 0 << 0 << 88;
    QTest::newRow("top strip, left of the logo") << 9 << 0 << 0 << 88;
    QTest::newRow("top strip, last column") << -7 << 0 << 0 << 88;
    QTest::newRow("bottom strip, first column") << 6 << -5 << 96 << 5;
    QTest::newRow("bottom strip, left of the status bar") << 15 << -5 << 96 << 5;
    QTest::newRow("bottom strip, under the status bar") << -7 << -2 << 99 << 2;
}

void TestForm1Chrome::stretchedStrips()
{
    QFETCH(int, x);
    QFETCH(int, firstRow);
    QFETCH(int, frameRow);
    QFETCH(int, rows);
    const QImage frame = QImage(QStringLiteral(":/assets/frame.jpg")).convertToFormat(QImage::Format_RGB32);
    if (frame.isNull())
        QSKIP("the window's pictures are not built in");
    const QImage shown = m_form->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int column = x < 0 ? shown.width() + x : x;
    const int top = firstRow < 0 ? shown.height() + firstRow : firstRow;
    // Column 6 of the frame, stretched: every row is that row's pixel, exactly.
    for (int row = 0; row < rows; ++row)
        QCOMPARE(shown.pixel(column, top + row), frame.pixel(6, frameRow + row));
}

ZAVLEN_GUI_TEST_MAIN(TestForm1Chrome)
#include "test_form1_chrome.moc"
