#include "web/archive.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

namespace Web {

namespace {

QString kindName(PathLookup::Kind kind)
{
    switch (kind) {
    case PathLookup::Kind::Page: return QStringLiteral("page");
    case PathLookup::Kind::File: return QStringLiteral("file");
    case PathLookup::Kind::Redirect: return QStringLiteral("redirect");
    case PathLookup::Kind::Answer: break;
    }
    return QStringLiteral("answer");
}

// The index's filters are regular expressions over the whole field. A value with anything but
// plain characters is left to our own check of the rows.
std::optional<QString> literalPattern(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c.unicode() >= 128 || !c.isPrint())
            return std::nullopt;
        if (c.isLetterOrNumber() || c == u'_')
            out += c;
        else if (c == u']' || c == u'\\' || c == u'^')
            return std::nullopt;
        else
            out += u'[' + QString(c) + u']';
    }
    return out;
}

bool isVideoType(QStringView type)
{
    // CDNs label their files loosely; a page or a picture is never one.
    return type.startsWith(u"video/") || type == u"application/octet-stream" || type == u"binary/octet-stream"
           || type == u"application/mp4";
}

} // namespace

QString PathLookup::cacheKey() const
{
    QString key = QStringLiteral("under ") + kindName(kind) + u' ' + archiveKey(path);
    for (const auto &[name, value] : parameters)
        key += u' ' + name + u'=' + value;
    return key;
}

PathLookup pathLookup(PathLookup::Kind kind, const QString &address, const QStringList &lasting)
{
    const QUrl url(address, QUrl::TolerantMode);
    PathLookup lookup;
    lookup.kind = kind;
    lookup.path = url.toString(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::FullyEncoded);
    const QUrlQuery query(url);
    for (const QString &name : lasting) {
        if (query.hasQueryItem(name))
            lookup.parameters.append({name, query.queryItemValue(name, QUrl::FullyEncoded)});
    }
    return lookup;
}

QString prefixQuery(const QString &indexUrl, const PathLookup &lookup)
{
    const auto encoded = [](const QString &text) { return QString::fromLatin1(QUrl::toPercentEncoding(text)); };
    QString query = indexUrl + QStringLiteral("?url=") + encoded(lookup.path)
                    + QStringLiteral("&matchType=prefix&output=json&fl=timestamp,original,statuscode,mimetype,digest")
                    + QStringLiteral("&filter=")
                    + encoded(lookup.kind == PathLookup::Kind::Redirect ? QStringLiteral("statuscode:30[12378]")
                                                                        : QStringLiteral("statuscode:20[03]"));
    for (const auto &[name, value] : lookup.parameters) {
        const std::optional<QString> n = literalPattern(name);
        const std::optional<QString> v = literalPattern(value);
        if (n && v)
            query += QStringLiteral("&filter=") + encoded(QStringLiteral("original:.*[?&]%1=%2(&.*)?").arg(*n, *v));
    }
    return query + QStringLiteral("&limit=%1").arg(indexRowLimit);
}

bool countsFor(const PathLookup &lookup, const QString &original, QStringView mimetype)
{
    const QUrl url(original, QUrl::TolerantMode);
    // The path itself: a prefix also names longer paths ("a.mp4.jpg", "/media/12" for "/media/1").
    if (archiveKey(url.toString(QUrl::RemoveQuery | QUrl::RemoveFragment)) != archiveKey(lookup.path))
        return false;
    if (lookup.kind == PathLookup::Kind::File && !isVideoType(mimetype))
        return false;
    const QUrlQuery query(url);
    for (const auto &[name, value] : lookup.parameters) {
        if (!query.allQueryItemValues(name, QUrl::FullyEncoded).contains(value))
            return false;
    }
    return true;
}

bool isRedirectStatus(QStringView status)
{
    return status == u"301" || status == u"302" || status == u"303" || status == u"307" || status == u"308";
}

std::optional<Replayed> replayedCapture(const QString &replayBase, const QUrl &url)
{
    const QUrl base(replayBase.endsWith(u'/') ? replayBase : replayBase + u'/', QUrl::TolerantMode);
    const QString basePath = base.path(QUrl::FullyEncoded);
    if (url.host().compare(base.host(), Qt::CaseInsensitive) != 0 || !url.path(QUrl::FullyEncoded).startsWith(basePath))
        return std::nullopt;
    // "20200101000000id_/https://…?…": the original keeps its own query.
    const QString whole = url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment | QUrl::FullyEncoded);
    static const QRegularExpression head(QStringLiteral("^(\\d{14})(?:[a-z]{2}_)?/"));
    const QRegularExpressionMatch m = head.match(QStringView(whole).sliced(basePath.size()));
    if (!m.hasMatch())
        return std::nullopt;
    return Replayed{m.captured(1), whole.mid(basePath.size() + m.capturedLength())};
}

} // namespace Web
