#include "download/downloadtext.h"

#include "web/network.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <cerrno>

namespace Download {

QString networkErrorText(QNetworkReply::NetworkError error, const QString &detail)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("下载失败: 连接被拒绝");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("下载失败: 找不到服务器");
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return QStringLiteral("下载失败: 连接超时");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("下载失败: 连接被服务器关闭");
    case QNetworkReply::TooManyRedirectsError:
        return QStringLiteral("下载失败: 重定向次数过多");
    case QNetworkReply::InsecureRedirectError:
        return QStringLiteral("下载失败: 服务器从 https 重定向到了 http, 已拒绝");
    case QNetworkReply::ProtocolUnknownError:
        return QStringLiteral("下载失败: 服务器重定向到了不允许的地址");
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
        return QStringLiteral("下载失败: 无法连接代理服务器");
    default:
        return QStringLiteral("下载失败: ") + detail;
    }
}

QString refusedRedirectText(const QNetworkReply &reply)
{
    return Web::redirectRefusal(reply) == Web::RedirectRefusal::Insecure
               ? networkErrorText(QNetworkReply::InsecureRedirectError, QString())
               : QStringLiteral("下载失败: 服务器重定向到了本机或内网地址, 已拒绝");
}

QString httpErrorText(int status)
{
    return QStringLiteral("下载失败: 服务器返回 %1").arg(status);
}

namespace {

const QString partKeptClause = QStringLiteral(", 已保留 .part 文件以便续传");

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

} // namespace

QString incompleteText(bool stalled, bool partKept)
{
    return (stalled ? QStringLiteral("下载未完成: 传输超时") : QStringLiteral("下载未完成: 连接提前关闭"))
         + (partKept ? partKeptClause : QString());
}

QString cancelledText(bool partKept)
{
    return QStringLiteral("下载已取消") + (partKept ? partKeptClause : QString());
}

QString diskFullText(const QString &target, qint64 needed, qint64 available)
{
    return QStringLiteral("下载失败: 磁盘空间不足, 文件夹 %1 只剩 %2, 视频需要 %3")
        .arg(QDir::toNativeSeparators(QFileInfo(target).absolutePath()), sizeText(available), sizeText(needed));
}

QString writeErrorText(const QString &file)
{
    return QStringLiteral("下载失败: 无法写入文件 %1 (磁盘已满或文件过大)").arg(QDir::toNativeSeparators(file));
}

QString createErrorText(const QString &part, int error)
{
    const QFileInfo info(part);
    if (error == ENAMETOOLONG)
        return QStringLiteral("下载失败: 文件名太长, 文件系统不接受");
    if (info.exists() || info.isSymLink())
        return QStringLiteral("下载失败: 无法打开文件 %1").arg(QDir::toNativeSeparators(part));
    const QFileInfo folder(info.absolutePath());
    QString reason;
    if (!folder.exists())
        reason = QStringLiteral(" (文件夹不存在)");
    else if (!folder.isDir())
        reason = QStringLiteral(" (不是文件夹)");
    else if (error == EACCES || error == EPERM || error == EROFS)
        reason = QStringLiteral(" (没有写入权限)");
    else if (error == ENOSPC)
        reason = QStringLiteral(" (磁盘已满)");
    return QStringLiteral("下载失败: 无法在文件夹 %1 中创建文件%2")
        .arg(QDir::toNativeSeparators(folder.filePath()), reason);
}

QString noFreeNameText(const QString &target)
{
    return QStringLiteral("下载失败: 文件夹 %1 中 %2 及其编号名 (2) 到 (999) 都已被占用")
        .arg(QDir::toNativeSeparators(QFileInfo(target).absolutePath()), QFileInfo(target).fileName());
}

QString saveErrorText(const QString &target)
{
    return QStringLiteral("下载失败: 无法保存为 %1").arg(QDir::toNativeSeparators(target));
}

} // namespace Download
