#include "app/main_window.h"

#include "app/alphapicture.h"
#include "download/downloader.h"
#include "download/downloadtext.h"
#include "player/mediaplayer.h"
#include "download/targetname.h"
#include "cli/jsonline.h"
#include "cli/record.h"
#include "download/outputtemplate.h"
#include "download/provenance.h"
#include "download/targetchoice.h"
#include "extract/extraction.h"
#include "web/network.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QUrl>

namespace App {

namespace {

constexpr int playerBarHeight = 44; // the player's frame reaches this far below the cover
const QString statusPlaying = QStringLiteral("正在播放视频..");
const QString statusStopped = QStringLiteral("视频已停止..");
const QString statusCopied = QStringLiteral("视频链接地址已复制..");

QString byteText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

} // namespace

void Form1::aicAlphaImage1_MouseMove()
{
    if (m_playing == 1)
        return;
    m_aicAlphaImage1->setVisible(false);
    m_aicAlphaImage2->setVisible(true);
}

void Form1::aicAlphaImage2_MouseLeave()
{
    if (m_playing == 1)
        return;
    m_aicAlphaImage1->setVisible(true);
    m_aicAlphaImage2->setVisible(false);
}

QString Form1::videoOrMessage()
{
    const QString video = m_info.videoToFetch();
    if (video.isEmpty())
        showMessage(noVideoMessage, 64);
    return video;
}

void Form1::aicAlphaImage2_MouseUp()
{
    const QString video = videoOrMessage();
    if (video.isEmpty())
        return;
    // The address comes from a page: the player must not be sent to local files or other schemes.
    if (!Web::NetworkAccess::isFetchable(QUrl(video, QUrl::TolerantMode))) {
        setStatus(QStringLiteral("视频播放失败: 只能播放 http:// 或 https:// 地址"));
        return;
    }
    m_aicAlphaImage1->setVisible(false);
    m_aicAlphaImage2->setVisible(false);
    m_image1->setVisible(false);
    // The picture takes the cover's place; the player's own taller frame would reach into the
    // status bar.
    m_w1->setGeometry(m_image1->geometry());
    m_w1->setVisible(true);
    m_w1->raise();
    m_w1->setURL(video);
    m_playing = 1;
    setStatus(statusPlaying);
}

void Form1::W1_PlayStateChange(int newState)
{
    if (newState != Player::MediaPlayer::Stopped)
        return;
    // Read before tzstop: clearing the address is not a failure of its own.
    const QString failure = m_playing == 1 ? m_w1->errorString() : QString();
    tzstop();
    if (!failure.isEmpty())
        setStatus(QStringLiteral("视频播放失败: ") + failure);
}

void Form1::tzstop()
{
    {
        // This is the stop handling already; the player's own word on it would only repeat it.
        const QSignalBlocker quiet(m_w1);
        m_w1->setURL(QString());
    }
    m_w1->setVisible(false);
    m_w1->setGeometry(m_image1->geometry().adjusted(0, 0, 0, playerBarHeight));
    loadCover(m_cover);
    m_image1->setVisible(true);
    m_aicAlphaImage1->setVisible(true);
    m_aicAlphaImage2->setVisible(false);
    m_playing = 0;
    setStatus(statusStopped);
}

void Form1::Slider1_Scroll()
{
    m_w1->setVolume(int(m_slider1->value()));
    setStatus(QStringLiteral("当前音量为:") + QString::number(m_w1->volume()));
}

void Form1::Command3_Click()
{
    const QString video = videoOrMessage();
    if (video.isEmpty())
        return;
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(video);
    setStatus(statusCopied);
}

void Form1::Command2_Click()
{
    if (videoOrMessage().isEmpty())
        return;
    startDownload();
}

void Form1::startDownload()
{
    const QString address = m_info.videoToFetch();
    if (!m_downloader)
        m_downloader = new Download::Downloader(this);
    connect(m_downloader, &Download::Downloader::progress, this, &Form1::onDownloadProgress, Qt::UniqueConnection);
    connect(m_downloader, &Download::Downloader::finished, this, &Form1::onDownloadFinished, Qt::UniqueConnection);
    if (m_cancelDownload)
        connect(m_cancelDownload, &QPushButton::clicked, m_downloader, &Download::Downloader::cancel,
                Qt::UniqueConnection);

    if (m_downloader->isRunning()) {
        setStatus(QStringLiteral("已有视频正在下载,请等待完成或取消.."));
        return;
    }

    QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    const QString &nameTemplate = m_settings.download.nameTemplate;
    const QString proposed = QDir(folder).filePath(
        nameTemplate.isEmpty() ? Download::downloadName(m_info)
                               : Download::templateName(nameTemplate, m_info,
                                                        Extract::pageId(m_info.service, m_info.page, m_settings)));
    const QString answer = m_hooks.askSavePath ? m_hooks.askSavePath(proposed) : proposed;
    if (answer.isEmpty())
        return;
    const QFileInfo chosen(answer);
    // Whatever the dialog allowed: a name ending in ".part" would pass for another download's
    // unfinished file, and an existing file is never replaced, nor a ".part" or a file beside the
    // video continued unless this video's. A button pressed again downloads again.
    Download::TargetWish wish;
    wish.folder = chosen.dir().path();
    wish.fileName = Download::finalFileName(chosen.fileName());
    wish.video = address;
    wish.sideSuffixes = Download::sideSuffixes(m_settings.download);
    wish.finishedEnds = false;
    const QString path = Download::chooseTarget(wish, *m_records).path;
    if (path.isEmpty()) {
        setStatus(Download::noFreeNameText(chosen.filePath()));
        return;
    }

    m_downloadInfo = m_info;
    m_downloader->setRecords(m_records);
    if (m_settings.download.embedMetadata)
        m_downloader->setBeforeRename([info = m_info](const QString &part) { return Download::embedTags(part, info); });
    else
        m_downloader->setBeforeRename({});
    if (!m_downloader->start(QUrl(address), path)) {
        setStatus(QStringLiteral("该视频正在下载中.."));
        return;
    }
    if (m_downloadBar) {
        m_downloadBar->setRange(0, 0);
        m_downloadBar->setValue(0);
        m_downloadBar->setFormat(QString());
        m_downloadBar->setVisible(true);
    }
    if (m_cancelDownload)
        m_cancelDownload->setVisible(true);
    setStatus(QStringLiteral("正在下载视频: ") + QDir::toNativeSeparators(path));
}

void Form1::onDownloadProgress(qint64 received, qint64 total, double bytesPerSecond)
{
    if (!m_downloadBar)
        return;
    const QString speed = byteText(qint64(bytesPerSecond)) + QStringLiteral("/s");
    if (total > 0) {
        m_downloadBar->setRange(0, 1000);
        m_downloadBar->setValue(int(qBound(qint64(0), received * 1000 / total, qint64(1000))));
        m_downloadBar->setFormat(byteText(received) + QStringLiteral(" / ") + byteText(total) + u' ' + speed);
    } else {
        m_downloadBar->setRange(0, 0);
        m_downloadBar->setFormat(byteText(received) + u' ' + speed);
    }
    m_downloadBar->setToolTip(m_downloadBar->format());
}

void Form1::onDownloadFinished(const Download::DownloadResult &result)
{
    if (m_cancelDownload)
        m_cancelDownload->setVisible(false);
    if (m_downloadBar) {
        m_downloadBar->setRange(0, 1000);
        m_downloadBar->setVisible(false);
    }
    if (!result.ok()) {
        setStatus(result.error);
        return;
    }
    setStatus(QStringLiteral("视频下载完成: ") + QDir::toNativeSeparators(result.path));
    keepProvenance(result.path, result.note);
}

void Form1::keepProvenance(const QString &path, const QString &tagNote)
{
    // What goes beside the video never turns a completed download into a failed one.
    const Config::Download &keep = m_settings.download;
    const Extract::VideoInfo &v = m_downloadInfo;
    if (!tagNote.isEmpty())
        qWarning("%s: %s", qUtf8Printable(path), qUtf8Printable(tagNote));
    if (keep.pageDateAsMtime && Download::datePageFile(path, v.date) != Download::PageDating::Set)
        qWarning("%s: modification time left alone", qUtf8Printable(path));
    if (keep.writeInfoJson) {
        Cli::Record record;
        record.address = v.page;
        record.service = v.service;
        record.outcome = Extract::Outcome::Done;
        record.info = v;
        const Download::SideOutcome json = Download::writeInfoJson(path, Cli::jsonLine(record),
                                                                   QDateTime::currentDateTimeUtc(), *m_records,
                                                                   v.videoToFetch());
        if (!json.problem.isEmpty())
            qWarning("%s", qUtf8Printable(json.problem));
    }
    if (keep.writeThumbnail) {
        Download::saveThumbnail(v.coverToFetch(), path, m_records, v.videoToFetch(), this,
                                [](const QString &, const QString &problem) {
            if (!problem.isEmpty())
                qWarning("%s", qUtf8Printable(problem));
        });
    }
}

} // namespace App
