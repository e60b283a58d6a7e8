#include "demo/httphead.h"

#include <QList>

namespace Demo {

namespace {

// "host[:port]" or "user@host:port" or "[v6]:port" to the lower-case host name.
QString hostOf(QByteArray authority)
{
    const qsizetype at = authority.lastIndexOf('@');
    if (at >= 0)
        authority = authority.mid(at + 1);
    if (authority.startsWith('[')) {
        const qsizetype close = authority.indexOf(']');
        return QString::fromLatin1(authority.mid(1, close < 0 ? -1 : close - 1)).toLower();
    }
    const qsizetype colon = authority.indexOf(':');
    if (colon >= 0)
        authority.truncate(colon);
    return QString::fromLatin1(authority).toLower();
}

} // namespace

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 416:
        return "Range Not Satisfiable";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

std::optional<Request> parseHead(const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    if (first.size() < 3)
        return std::nullopt;
    Request req;
    req.method = first[0];
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            req.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    const QByteArray &target = first[1];
    const qsizetype scheme = target.indexOf("://");
    if (scheme > 0 && !target.startsWith('/')) {
        const qsizetype pathStart = target.indexOf('/', scheme + 3);
        req.host = hostOf(target.mid(scheme + 3, pathStart < 0 ? -1 : pathStart - scheme - 3));
        req.path = pathStart < 0 ? QStringLiteral("/") : QString::fromLatin1(target.mid(pathStart));
    } else {
        req.host = hostOf(req.headers.value("host"));
        req.path = QString::fromLatin1(target);
    }
    return req;
}

} // namespace Demo
