#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <functional>

namespace App {

// A picture with an alpha channel drawn over whatever lies behind it. Hidden, it neither draws
// nor raises pointer notifications.
class AlphaPicture : public QWidget
{
    Q_OBJECT
public:
    explicit AlphaPicture(QWidget *parent = nullptr);

    void setPicture(const QImage &picture); // a null image shows nothing
    // Reads a picture file: the window's own pictures come from its loader thread.
    using Reader = std::function<QImage(const QString &path)>;
    // The picture file already scaled to `size` as shownPicture() makes it, or null.
    using ShownReader = std::function<QImage(const QString &path, const QSize &size)>;
    // A picture file decoded only when first needed: hidden looks cost nothing at start-up.
    void setPictureSource(const QString &path, Reader read = {}, ShownReader readShown = {});
    QImage picture() const;
    // Loads and shows a picture file; a file that cannot be read leaves the control as it was.
    bool LoadImage(const QString &path);
    void clear();

signals:
    void MouseMove();
    void MouseLeave();
    void MouseUp();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void decode() const;

    mutable QImage m_picture;
    mutable QString m_source;
    Reader m_read;
    QString m_shownSource; // the file whose scaled copy m_readShown may still give
    ShownReader m_readShown;
    QPixmap m_scaled; // the picture at the control's size, made once per size
};

} // namespace App
