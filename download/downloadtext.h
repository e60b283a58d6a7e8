#pragma once

#include <QNetworkReply>
#include <QString>

// What the status line says when a download does not end well: each text names what failed.
namespace Download {

QString networkErrorText(QNetworkReply::NetworkError error, const QString &detail);
QString httpErrorText(int status);
// A redirect the network access point would not follow (see Web::RedirectRefusal).
QString refusedRedirectText(const QNetworkReply &reply);
// stalled: the transfer went quiet rather than being cut off; partKept: a ".part" stays to resume
QString incompleteText(bool stalled, bool partKept);
QString cancelledText(bool partKept);
// The folder of `target` has `available` bytes free, the file needs `needed`.
QString diskFullText(const QString &target, qint64 needed, qint64 available);
QString writeErrorText(const QString &file);
// What stopped `part` from being opened, naming the folder or file at fault; `error` is errno.
QString createErrorText(const QString &part, int error);
QString saveErrorText(const QString &target);
// `target` and every numbered name beside it that a download may take are taken.
QString noFreeNameText(const QString &target);

} // namespace Download
