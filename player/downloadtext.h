#pragma once

#include <QNetworkReply>
#include <QString>

// What the status line says when a download does not end well: each text names what failed.
namespace Player {

QString networkErrorText(QNetworkReply::NetworkError error, const QString &detail);
QString httpErrorText(int status);
// stalled: the transfer went quiet rather than being cut off
QString incompleteText(bool stalled);
QString writeErrorText(const QString &file);
// What stopped `part` from being opened, naming the folder or file at fault; `error` is errno.
QString createErrorText(const QString &part, int error);
QString saveErrorText(const QString &target);

inline const QString cancelledText = QStringLiteral("下载已取消, 已保留 .part 文件以便续传");

} // namespace Player
