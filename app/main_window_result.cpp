#include "app/main_window.h"

#include "app/alphapicture.h"
#include "app/loadpicture.h"
#include "extract/road.h"
#include "web/archive.h"
#include "web/fetchfile.h"
#include "web/transfer.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSaveFile>
#include <QStandardPaths>

// What an extraction leaves in the window.
namespace App {

void Form1::clearResult()
{
    // The pictures of an earlier result must not arrive into this one.
    delete m_coverLoad;
    delete m_avatarLoad;
    m_slots = {};
    m_info = {};
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

void Form1::applyResult(const Extract::RoadResult &road, const std::function<void()> &then)
{
    const Extract::Result &result = road.result;
    m_slots = result.slot;
    if (road.ok())
        m_info = road.info();
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

    // The cover comes first, then the avatar.
    m_image2->setVisible(true);
    m_aicAlphaImage3->setVisible(shown.avatarInAlpha);
    loadCover(shown.coverAddress, [this, avatar = shown.avatarAddress, intoFile = shown.avatarInAlpha, then] {
        loadAvatar(avatar, intoFile, then);
    });
}

void Form1::loadCover(const QString &address, const std::function<void()> &then)
{
    delete m_coverLoad;
    m_coverLoad = LoadPicture(address, PictureSource::WebOnly, this, [this, then](const QImage &cover) {
        m_image1->setPixmap(QPixmap::fromImage(cover));
        if (!cover.isNull())
            m_aicAlphaImage5->setVisible(false);
        if (then)
            then();
    });
}

void Form1::loadAvatar(const QString &address, bool intoFile, const std::function<void()> &then)
{
    delete m_avatarLoad;
    if (!intoFile) {
        m_avatarLoad = LoadPicture(address, PictureSource::WebOnly, this, [this, then](const QImage &avatar) {
            m_image2->setPixmap(QPixmap::fromImage(avatar));
            then();
        });
        return;
    }
    // The alpha picture control shows a file: the avatar goes to "face" first.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/face");
    QFile::remove(path); // an old face must never stand in for a failed download
    auto file = std::make_shared<QSaveFile>(path);
    if (address.isEmpty() || !file->open(QIODevice::WriteOnly)) {
        m_aicAlphaImage3->clear();
        then();
        return;
    }
    Web::FetchOptions options;
    options.sink = file.get();
    auto *transfer = new Web::Transfer(address, options, this);
    m_avatarLoad = transfer;
    connect(transfer, &Web::Transfer::finished, this, [this, transfer, file, path, then] {
        transfer->deleteLater();
        if (Web::commitFile(*file, transfer->result(), path).ok)
            m_aicAlphaImage3->LoadImage(path);
        else
            m_aicAlphaImage3->clear();
        then();
    });
}

} // namespace App
