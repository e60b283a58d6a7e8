#pragma once

#include <QNetworkReply>
#include <QString>

// What the status line says when a download does not end well.
namespace Player {

QString networkErrorText(QNetworkReply::NetworkError error, const QString &detail);
QString httpErrorText(int status);
// stalled: the transfer went quiet rather than being cut off
QString incompleteText(bool stalled);
QString saveErrorText(const QString &target);

inline const QString fileErrorText = QStringLiteral("下载失败: 无法写入文件 (磁盘已满或文件夹不可写)");

inline const QString cancelledText = QStringLiteral("下载已取消, 已保留 .part 文件以便续传");

} // namespace Player
