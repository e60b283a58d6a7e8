#pragma once

#include "demo/loopbacksite.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <optional>

namespace Demo {

// A web archive on the loopback site, answering as the public one does: the capture index
// (CDX server: url, output=json, fl, filter, limit) and the replay of captures
// (REPLAY + TIMESTAMP + "id_/" + ORIGINAL), which redirects to the nearest capture, answers 404
// when there is none, and replays an archived status as the live status.
class LoopbackArchive
{
public:
    // Addresses as the program is configured with them, e.g. "http://web.archive.org/cdx/search/cdx".
    LoopbackArchive(const QString &indexUrl, const QString &replayUrl);

    void addCapture(const QString &original, const QString &timestamp, const Response &response);
    void clear();

    // 0: answer index queries; another status (429): answer every index query with it.
    void setIndexStatus(int status) { m_indexStatus = status; }

    // Install with site.addHandler(archive.handler()); the archive must outlive the site's use of it.
    LoopbackSite::Handler handler();
    std::optional<Response> answer(const Request &request);

    struct IndexQuery
    {
        QString url;         // the url parameter, decoded
        QString query;       // the whole query string as sent
        qint64 atMs = 0;     // when it arrived, on this archive's clock
    };
    QList<IndexQuery> indexQueries() const { return m_indexQueries; }
    QList<Request> replays() const { return m_replays; }

    // The capture key of an address: scheme, "www." and a default port do not tell captures apart.
    static QString keyOf(const QString &address);

private:
    struct Capture
    {
        QString key;
        QString original;
        QString timestamp;
        Response response;
    };

    Response index(const Request &request);
    Response replay(const Request &request, const QString &rest);
    QString replayAddress(const QString &timestamp, const QString &original) const;

    QString m_indexHost;
    QString m_indexPath;
    QString m_replayBase;
    QString m_replayHost;
    QString m_replayPath;
    QList<Capture> m_captures;
    int m_indexStatus = 0;
    QList<IndexQuery> m_indexQueries;
    QList<Request> m_replays;
    QElapsedTimer m_clock;
};

} // namespace Demo
