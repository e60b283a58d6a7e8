#include "app/main_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace App {

namespace {

// Rows of the three looks (normal, hover, pressed) in the button strip; the strip's pressed
// band starts one row lower for the close button.
constexpr int minimiseRows[] = {0, 21, 41};
constexpr int closeRows[] = {0, 21, 42};

constexpr int titleStripBottom = 68;
constexpr int buttonTop = 2;
constexpr int buttonBottom = 22;

void setLinkColour(QLabel *label, QRgb bgr)
{
    // Colours are written the way the platform stores them: 0x00BBGGRR.
    const QColor colour(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}

// A one-pixel column stretched across is each of its rows as a line of one colour. Filled once
// at the width it spans, it is a single copy a paint; tiling the column took a copy per pixel
// across and was most of the first paint's picture work.
QImage stretchedColumn(const QImage &picture, int column, int top, int rows, int width)
{
    if (width <= 0)
        return QImage();
    const QImage::Format format =
        picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    const QImage source = picture.copy(column, top, 1, rows).convertToFormat(format);
    if (source.isNull())
        return QImage();
    QImage strip(width, source.height(), format);
    for (int y = 0; y < source.height(); ++y) {
        const QRgb colour = *reinterpret_cast<const QRgb *>(source.constScanLine(y));
        auto *line = reinterpret_cast<QRgb *>(strip.scanLine(y));
        std::fill(line, line + width, colour);
    }
    return strip;
}

} // namespace

void Form1::paintEvent(QPaintEvent *)
{
    // Only a mouse handler's own redraw keeps a hover or pressed look; any other repaint
    // shows both buttons in their normal looks.
    if (!m_looksFromMouse) {
        m_minimiseLook = 0;
        m_closeLook = 0;
    }
    m_looksFromMouse = false;

    QPainter painter(this);
    const float w = float(width());
    const float h = float(height());
    auto frame = [&](QRectF to, QRectF from) {
        if (!m_framePicture.isNull())
            painter.drawPixmap(to, m_framePicture, from);
    };
    auto across = [&](QRectF to, int column, int top, int rows) {
        if (m_framePicture.isNull())
            return;
        QPixmap &strip = top == 0 ? m_frameTop : m_frameBottom;
        if (strip.width() != int(to.width()))
            strip = QPixmap::fromImage(stretchedColumn(m_framePicture.toImage(), column, top, rows, int(to.width())));
        painter.drawPixmap(to.topLeft(), strip);
    };
    frame({0, 0, 6, 88}, {0, 0, 6, 88});
    across({6, 0, w - 12, 88}, 6, 0, 88);
    frame({w - 6, 0, 6, 88}, {7, 0, 6, 88});
    frame({0, 68, 3, h - 73}, {0, 68, 3, 28});
    frame({w - 3, 68, 3, h - 73}, {10, 68, 3, 28});
    frame({0, h - 5, 6, 5}, {0, 96, 6, 5});
    across({6, h - 5, w - 12, 5}, 6, 96, 5);
    frame({w - 6, h - 5, 6, 5}, {7, 96, 6, 5});

    if (!m_buttonStrip.isNull()) {
        painter.drawPixmap(QRectF(w - 80, 2, 29, 20), m_buttonStrip,
                           QRectF(0, minimiseRows[m_minimiseLook], 29, 20));
        painter.drawPixmap(QRectF(w - 51, 2, 41, 20), m_buttonStrip,
                           QRectF(29, closeRows[m_closeLook], 41, 20));
    }
    if (!m_logo.isNull())
        painter.drawPixmap(QPointF(10, 12), m_logo);
}

void Form1::drawCaptionButtons(int minimiseLook, int closeLook)
{
    m_minimiseLook = minimiseLook;
    m_closeLook = closeLook;
    m_looksFromMouse = true;
    update(QRect(width() - 80, 2, 70, 20));
}

bool Form1::isOwnSurface(QPointF pos) const
{
    // Children pass on the presses they do not want; those are not the window's.
    return childAt(pos.toPoint()) == nullptr;
}

void Form1::mousePressEvent(QMouseEvent *event)
{
    if (isOwnSurface(event->position()))
        Form_MouseDown(event->button(), event->position());
}

void Form1::mouseMoveEvent(QMouseEvent *event)
{
    if (isOwnSurface(event->position()))
        Form_MouseMove(event->position());
}

void Form1::mouseReleaseEvent(QMouseEvent *event)
{
    if (isOwnSurface(event->position()))
        Form_MouseUp(event->position());
}

void Form1::Form_MouseDown(Qt::MouseButton button, QPointF pos)
{
    if (button != Qt::LeftButton || pos.y() > titleStripBottom)
        return;
    const qreal w = width();
    const bool buttonRow = pos.y() >= buttonTop && pos.y() <= buttonBottom;
    if (buttonRow && pos.x() >= w - 80 && pos.x() <= w - 51)
        drawCaptionButtons(2, m_closeLook);
    else if (buttonRow && pos.x() >= w - 51 && pos.x() <= w - 10)
        drawCaptionButtons(m_minimiseLook, 2);
    else
        m_hooks.startMove();
}

void Form1::Form_MouseUp(QPointF pos)
{
    if (pos.y() < buttonTop || pos.y() > buttonBottom)
        return;
    const qreal w = width();
    if (pos.x() >= w - 80 && pos.x() <= w - 51)
        showMinimized();
    else if (pos.x() >= w - 51 && pos.x() <= w - 10)
        m_hooks.endProgram();
}

void Form1::Form_MouseMove(QPointF pos)
{
    const qreal w = width();
    int minimise = 0;
    int close = 0;
    if (pos.y() >= buttonTop && pos.y() <= buttonBottom) {
        if (pos.x() >= w - 80 && pos.x() <= w - 51)
            minimise = 1;
        else if (pos.x() >= w - 51 && pos.x() <= w - 10)
            close = 1;
    }
    drawCaptionButtons(minimise, close);
    if (m_text1->text().isEmpty())
        m_text1->setText(addressHint);
    setLinkColour(m_label10, 0xE7E7E7);
}

void Form1::Label10_MouseMove()
{
    setLinkColour(m_label10, 0xFFFFFF);
}

void Form1::Label10_MouseDown()
{
    setLinkColour(m_label10, 0x0000FF);
    m_hooks.openPage(m_settings.maker.feedbackUrl);
}

void Form1::Label10_MouseUp()
{
    setLinkColour(m_label10, 0xE7E7E7);
}

} // namespace App
