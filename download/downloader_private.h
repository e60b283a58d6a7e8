#pragma once

// Shared by the files of Downloader: its life (start, end, cancel) and how it reads the answers.
#include "download/downloader.h"

#include "download/records.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkReply>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

namespace Download {

inline QString partPathOf(const QString &target)
{
    return target + partSuffix;
}

inline DownloadResult failed(DownloadResult::Status status, const QString &text)
{
    DownloadResult result;
    result.status = status;
    result.error = text;
    return result;
}

struct Downloader::Private
{
    Downloader *q = nullptr;
    QPointer<QNetworkReply> reply;
    QFile file;
    QUrl url;
    QString target;
    QString key;
    bool running = false;
    std::shared_ptr<Records> records = std::make_shared<Records>(nullptr);
    QString validator; // of the answer the ".part" holds, sent with If-Range

    qint64 offset = 0;   // bytes already in the ".part" before this answer's body
    qint64 received = 0; // body bytes of this answer written
    qint64 total = -1;
    bool resumed = false;
    bool headersSeen = false;
    bool alreadyComplete = false; // the ".part" already holds the whole file
    bool cancelled = false;
    bool restarted = false;
    bool restartPending = false;
    bool ownsPart = false; // this download opened the ".part"
    bool partKnown = false; // the records say whose the ".part" is, so that a later run may continue it
    bool stalled = false;  // an incomplete transfer went quiet rather than being cut off
    std::optional<DownloadResult> failure;
    std::function<QString(const QString &)> beforeRename;

    QElapsedTimer clock;
    QElapsedTimer lastProgress;

    void issue(bool useRange);
    void onHeaders();
    void noteVersion();
    void onReadyRead();
    void onFinished();
    bool roomFor(qint64 bytes);
    void restartFromZero();
    void fail(DownloadResult::Status status, const QString &text);
    void emitProgress(bool force);
    void finish(DownloadResult result);
    void finishLater(DownloadResult::Status status, const QString &text);
    void dropReply();
};


} // namespace Download
