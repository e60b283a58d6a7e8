// A bare Qt Widgets window of the main window's size that ends right after its first paint, as
// the window does with --quit-after-first-paint: the baseline of the start-up benchmark.
#include <QApplication>
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
    window.show();
    return app.exec();
}
