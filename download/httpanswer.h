#pragma once

#include <QByteArray>
#include <QNetworkReply>

// What an HTTP answer means to a download, beyond its status.
namespace Download {

// "bytes 100-199/200" or "bytes */200"; -1 for a part that is absent or unreadable.
struct ContentRange
{
    qint64 first = -1;
    qint64 total = -1;
};

ContentRange parseContentRange(const QByteArray &value);

// Redirects the access point's policy refuses to follow: the server's answer is not the file.
bool isRefusedRedirect(QNetworkReply::NetworkError error);

} // namespace Download
