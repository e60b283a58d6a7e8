#include "app/main_window.h"

#include "app/alphapicture.h"
#include "extract/road.h"
#include "web/archive.h"
#include "web/fetchfile.h"
#include "web/loadpicture.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QStandardPaths>

// What an extraction leaves in the window.
namespace App {

void Form1::clearResult()
{
    m_slots = {};
    m_video.clear();
    m_cover.clear();
    m_archiveLabel->setVisible(false);
    m_label1->setText(QStringLiteral("用户名"));
    m_label1->adjustSize();
    m_label2->setText(QStringLiteral("描述"));
    m_label2->adjustSize();
    m_label3->setText(QStringLiteral("日期"));
    m_label3->adjustSize();
    for (QLabel *badge : m_v)
        badge->setVisible(false);
    m_image1->clear();
    m_image2->clear();
    m_aicAlphaImage3->clear();
    m_aicAlphaImage5->setVisible(true);
}

void Form1::applyResult(const Extract::RoadResult &road)
{
    const Extract::Result &result = road.result;
    m_slots = result.slot;
    m_video = road.videoAddress();
    const Extract::Display &shown = result.display;
    m_cover = shown.coverAddress;

    m_label1->setText(shown.author);
    m_label1->adjustSize();
    for (int i = 0; i < 3; ++i) {
        QLabel *badge = m_v[std::size_t(i)];
        if (i == shown.badge) {
            badge->move(m_label1->x() + m_label1->width() + shown.badgeGap, badge->y());
            badge->setVisible(true);
        } else {
            badge->setVisible(false);
        }
    }
    m_label2->setText(shown.description);
    m_label2->adjustSize();
    m_label3->setText(shown.date);
    m_label3->adjustSize();
    if (road.archived) {
        m_archiveLabel->setText(QStringLiteral("来自网页存档 ") + Web::captureDate(road.archived->timestamp));
        m_archiveLabel->adjustSize();
        m_archiveLabel->setVisible(true);
    }

    // The cover comes first, then the avatar; a handler run during a picture's wait may close us.
    QPointer<Form1> self(this);
    const QImage cover = Web::LoadPicture(shown.coverAddress, Web::PictureSource::WebOnly);
    if (!self)
        return;
    m_image1->setPixmap(QPixmap::fromImage(cover));
    if (!cover.isNull())
        m_aicAlphaImage5->setVisible(false);

    m_image2->setVisible(true);
    m_aicAlphaImage3->setVisible(shown.avatarInAlpha);
    if (shown.avatarInAlpha) {
        showAvatarFile(shown.avatarAddress);
    } else {
        const QImage avatar = Web::LoadPicture(shown.avatarAddress, Web::PictureSource::WebOnly);
        if (self)
            m_image2->setPixmap(QPixmap::fromImage(avatar));
    }
}

void Form1::showAvatarFile(const QString &avatarAddress)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/face");
    QFile::remove(path); // an old face must never stand in for a failed download
    if (Web::fetchToFile(avatarAddress, path).ok)
        m_aicAlphaImage3->LoadImage(path);
    else
        m_aicAlphaImage3->clear();
}

} // namespace App
