// A bare Qt Widgets window of the main window's size that ends right after its first paint, as
// the window does with --quit-after-first-paint: the baseline of the start-up benchmark. It
// paints a label and a push button of Chinese text in the application's font, so it pays for
// the font set-up the window pays for; with --empty it paints nothing at all.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <cstdlib>

namespace {

class Bare final : public QWidget
{
protected:
    void paintEvent(QPaintEvent *) override
    {
        if (!m_painted) {
            m_painted = true;
            QTimer::singleShot(0, this, [] { std::_Exit(0); });
        }
    }

private:
    bool m_painted = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Bare window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(777, 571);
    if (!QCoreApplication::arguments().contains(QStringLiteral("--empty"))) {
        auto *label = new QLabel(QStringLiteral("地址（双击文本粘贴）："), &window);
        label->move(32, 203);
        label->adjustSize();
        auto *button = new QPushButton(QStringLiteral("提取视频"), &window);
        button->setGeometry(24, 248, 329, 41);
    }
    window.show();
    return app.exec();
}
