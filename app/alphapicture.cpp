#include "app/alphapicture.h"

#include "app/startup/pictures.h"

#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>

namespace App {

AlphaPicture::AlphaPicture(QWidget *parent) : QWidget(parent)
{
    // Whatever lies behind shows through the transparent parts.
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    setMouseTracking(true);
}

void AlphaPicture::setPicture(const QImage &picture)
{
    m_source.clear();
    m_shownSource.clear();
    m_picture = picture;
    m_scaled = QPixmap();
    update();
}

void AlphaPicture::setPictureSource(const QString &path, Reader read, ShownReader readShown)
{
    m_source = path;
    m_read = std::move(read);
    m_shownSource = path;
    m_readShown = std::move(readShown);
    m_picture = QImage();
    m_scaled = QPixmap();
    update();
}

void AlphaPicture::decode() const
{
    if (m_source.isEmpty())
        return;
    m_picture = m_read ? m_read(m_source) : readPicture(m_source);
    m_source.clear();
}

QImage AlphaPicture::picture() const
{
    decode();
    return m_picture;
}

bool AlphaPicture::LoadImage(const QString &path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    QImage loaded = reader.read();
    if (loaded.isNull())
        return false;
    setPicture(loaded);
    return true;
}

void AlphaPicture::clear()
{
    setPicture(QImage());
}

void AlphaPicture::paintEvent(QPaintEvent *)
{
    if (m_scaled.size() != size()) {
        QImage shown;
        if (m_readShown && !m_shownSource.isEmpty())
            shown = m_readShown(m_shownSource, size());
        m_shownSource.clear();
        if (shown.isNull()) {
            decode();
            if (m_picture.isNull())
                return;
            shown = shownPicture(m_picture, size());
        }
        m_scaled = QPixmap::fromImage(std::move(shown));
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_scaled);
}

// Accepted here so that the release comes back to this control and the window's own
// press handling (dragging) stays out of it.
void AlphaPicture::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void AlphaPicture::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    emit MouseMove();
}

void AlphaPicture::leaveEvent(QEvent *event)
{
    emit MouseLeave();
    QWidget::leaveEvent(event);
}

void AlphaPicture::mouseReleaseEvent(QMouseEvent *event)
{
    // A press that was dragged off the picture and let go elsewhere is not a release over it.
    event->accept();
    if (rect().contains(event->position().toPoint()))
        emit MouseUp();
}

} // namespace App
