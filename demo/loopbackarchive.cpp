#include "demo/loopbackarchive.h"

#include "web/archive.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>

namespace Demo {

namespace {

const QStringList allFields{QStringLiteral("urlkey"),     QStringLiteral("timestamp"), QStringLiteral("original"),
                            QStringLiteral("mimetype"),   QStringLiteral("statuscode"), QStringLiteral("digest"),
                            QStringLiteral("length")};

Response plain(int status, const QByteArray &body)
{
    Response r;
    r.status = status;
    r.contentType = "text/plain; charset=utf-8";
    r.body = body;
    return r;
}

// "com,meipai)/media/1", the sort key the archive's index is kept in.
QString surtOf(const QString &key)
{
    const qsizetype slash = key.indexOf(u'/');
    const QString host = slash < 0 ? key : key.left(slash);
    QStringList parts = host.split(u'.');
    std::reverse(parts.begin(), parts.end());
    return parts.join(u',') + u')' + (slash < 0 ? QStringLiteral("/") : key.mid(slash));
}

qint64 secondsOf(const QString &timestamp)
{
    QDateTime t = QDateTime::fromString(timestamp.leftJustified(14, u'0').left(14), QStringLiteral("yyyyMMddHHmmss"));
    t.setTimeSpec(Qt::UTC);
    return t.isValid() ? t.toSecsSinceEpoch() : 0;
}

} // namespace

LoopbackArchive::LoopbackArchive(const QString &indexUrl, const QString &replayUrl)
{
    const QUrl index(indexUrl);
    m_indexHost = index.host().toLower();
    m_indexPath = index.path();
    m_replayBase = replayUrl.endsWith(u'/') ? replayUrl : replayUrl + u'/';
    const QUrl replay(m_replayBase);
    m_replayHost = replay.host().toLower();
    m_replayPath = replay.path();
    m_clock.start();
}

QString LoopbackArchive::keyOf(const QString &address)
{
    return Web::archiveKey(address);
}

void LoopbackArchive::addCapture(const QString &original, const QString &timestamp, const Response &response)
{
    m_captures.append({keyOf(original), original, timestamp, response});
    std::stable_sort(m_captures.begin(), m_captures.end(),
                     [](const Capture &a, const Capture &b) { return a.timestamp < b.timestamp; });
}

void LoopbackArchive::clear()
{
    m_captures.clear();
    m_indexQueries.clear();
    m_replays.clear();
    m_indexStatus = 0;
}

LoopbackSite::Handler LoopbackArchive::handler()
{
    return [this](const Request &request) { return answer(request); };
}

std::optional<Response> LoopbackArchive::answer(const Request &request)
{
    const qsizetype question = request.path.indexOf(u'?');
    const QString path = question < 0 ? request.path : request.path.left(question);
    if (request.host == m_indexHost && path == m_indexPath)
        return index(request);
    if (request.host == m_replayHost && request.path.startsWith(m_replayPath))
        return replay(request, request.path.mid(m_replayPath.size()));
    return std::nullopt;
}

Response LoopbackArchive::index(const Request &request)
{
    const qsizetype question = request.path.indexOf(u'?');
    const QString queryText = question < 0 ? QString() : request.path.mid(question + 1);
    const QUrlQuery query(queryText);
    const QString url = query.queryItemValue(QStringLiteral("url"), QUrl::FullyDecoded);
    m_indexQueries.append({url, queryText, m_clock.elapsed()});
    if (m_indexStatus != 0)
        return plain(m_indexStatus, "Too many requests from this client; slow down.");
    if (url.isEmpty())
        return plain(400, "url parameter required");

    QStringList fields = allFields;
    if (query.hasQueryItem(QStringLiteral("fl"))) {
        fields = query.queryItemValue(QStringLiteral("fl"), QUrl::FullyDecoded).split(u',', Qt::SkipEmptyParts);
        for (const QString &f : std::as_const(fields)) {
            if (!allFields.contains(f))
                return plain(400, "unknown field: " + f.toUtf8());
        }
    }
    struct Filter
    {
        qsizetype field;
        QRegularExpression pattern;
        bool inverted;
    };
    QList<Filter> filters;
    for (QString f : query.allQueryItemValues(QStringLiteral("filter"), QUrl::FullyDecoded)) {
        const bool inverted = f.startsWith(u'!');
        if (inverted)
            f.remove(0, 1);
        const qsizetype colon = f.indexOf(u':');
        const qsizetype field = allFields.indexOf(f.left(colon));
        QRegularExpression pattern(QRegularExpression::anchoredPattern(f.mid(colon + 1)));
        if (colon < 0 || field < 0 || !pattern.isValid())
            return plain(400, "bad filter: " + f.toUtf8());
        filters.append({field, pattern, inverted});
    }

    // A prefix query names a path; the archive's keys hold queries in an order of their own, so
    // no prefix reaches into a query.
    const bool prefix = query.queryItemValue(QStringLiteral("matchType")) == u"prefix" || url.endsWith(u'*');
    const QString key = keyOf(prefix && url.endsWith(u'*') ? url.chopped(1) : url);
    QList<QStringList> rows;
    for (const Capture &c : std::as_const(m_captures)) {
        if (prefix ? !c.key.startsWith(key) : c.key != key)
            continue;
        const QStringList row{surtOf(c.key),
                              c.timestamp,
                              c.original,
                              QString::fromLatin1(c.response.contentType.split(';').first().trimmed()),
                              QString::number(c.response.status),
                              QString::fromLatin1(QCryptographicHash::hash(c.response.body, QCryptographicHash::Sha1)
                                                      .toBase64()),
                              QString::number(c.response.body.size())};
        const bool kept = std::all_of(filters.cbegin(), filters.cend(), [&](const Filter &f) {
            return f.pattern.match(row.at(f.field)).hasMatch() != f.inverted;
        });
        if (kept)
            rows.append(row);
    }
    bool limited = false;
    const int limit = query.queryItemValue(QStringLiteral("limit")).toInt(&limited);
    if (limited && limit >= 0 && rows.size() > limit)
        rows = rows.mid(0, limit);
    else if (limited && limit < 0 && rows.size() > -limit)
        rows = rows.mid(rows.size() + limit);

    const auto pick = [&](const QStringList &row) {
        QStringList out;
        for (const QString &f : std::as_const(fields))
            out.append(row.at(allFields.indexOf(f)));
        return out;
    };
    Response r = plain(200, {});
    if (query.queryItemValue(QStringLiteral("output")) != u"json") {
        for (const QStringList &row : std::as_const(rows))
            r.body += pick(row).join(u' ').toUtf8() + '\n';
        return r;
    }
    QJsonArray table;
    if (!rows.isEmpty()) {
        table.append(QJsonArray::fromStringList(fields));
        for (const QStringList &row : std::as_const(rows))
            table.append(QJsonArray::fromStringList(pick(row)));
    }
    r.contentType = "application/json";
    r.body = QJsonDocument(table).toJson(QJsonDocument::Compact);
    return r;
}

QString LoopbackArchive::replayAddress(const QString &timestamp, const QString &original) const
{
    return m_replayBase + timestamp + QStringLiteral("id_/") + original;
}

Response LoopbackArchive::replay(const Request &request, const QString &rest)
{
    m_replays.append(request);
    static const QRegularExpression head(QStringLiteral("^(\\d{1,14})([a-z]{2}_)?/"));
    const QRegularExpressionMatch m = head.match(rest);
    if (!m.hasMatch())
        return plain(404, "not in the archive");
    const QString timestamp = m.captured(1);
    const QString original = rest.mid(m.capturedLength());
    const QString key = keyOf(original);

    const Capture *nearest = nullptr;
    const qint64 wanted = secondsOf(timestamp);
    for (const Capture &c : std::as_const(m_captures)) {
        if (c.key == key && (!nearest || qAbs(secondsOf(c.timestamp) - wanted) < qAbs(secondsOf(nearest->timestamp) - wanted)))
            nearest = &c;
    }
    if (!nearest)
        return plain(404, "Wayback Machine has not archived that URL.");
    if (nearest->timestamp != timestamp) {
        Response moved = plain(302, {});
        moved.headers.append({"Location", replayAddress(nearest->timestamp, original).toUtf8()});
        return moved;
    }
    Response r = nearest->response;
    // The length of what was captured, as the public archive states it beside a replay.
    const bool stated = std::any_of(r.headers.cbegin(), r.headers.cend(), [](const auto &h) {
        return h.first.compare("X-Archive-Orig-Content-Length", Qt::CaseInsensitive) == 0;
    });
    if (!stated && r.status == 200)
        r.headers.append({"X-Archive-Orig-Content-Length",
                          QByteArray::number(r.generatedSize >= 0 ? r.generatedSize : qint64(r.body.size()))});
    // An archived redirect leads to the archive's copy of its target, as the public one does.
    for (auto &[name, value] : r.headers) {
        if (name.compare("Location", Qt::CaseInsensitive) == 0) {
            const QString target = QUrl(nearest->original).resolved(QUrl(QString::fromUtf8(value))).toString();
            value = replayAddress(timestamp, target).toUtf8();
        }
    }
    return r;
}

} // namespace Demo
