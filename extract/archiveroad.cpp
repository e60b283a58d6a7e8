#include "extract/archiveroad.h"

#include "config/settings.h"
#include "extract/generation.h"
#include "extract/service.h"
#include "extract/sharelink.h"
#include "web/archive.h"
#include "web/decode.h"
#include "web/lookupcache.h"

#include <QHash>
#include <QUrl>

namespace Extract {

namespace {

using Web::ArchiveProblem;
using Index = Web::ArchiveClient::Index;
using Kept = Web::LookupCache::Replay;

// One address's conversation with the archive: the client that keeps its pace and budget, and
// what the lookup cache kept of earlier conversations.
class Session
{
public:
    Session(const Config::Settings &cfg, const Web::FetchFunction &fetch, const RoadHooks &hooks)
        : archive(cfg, fetch, hooks.cancel), cache(hooks.cache ? hooks.cache->get() : nullptr),
          m_refresh(hooks.refreshCache), m_cfg(cfg)
    {
    }

    // The captures of `address`: what the cache kept of the index's answer, or the index's answer.
    Index captures(const QString &address)
    {
        if (cache && m_refresh)
            cache->forget(address);
        else if (cache) {
            if (std::optional<QList<Web::Capture>> kept = cache->captures(address))
                return {ArchiveProblem::None, std::move(*kept)};
        }
        Index index = archive.captures(address);
        // Only an answer is kept: a busy or broken archive is asked again next time.
        if (cache && index.problem == ArchiveProblem::None)
            cache->storeCaptures(address, index.captures);
        return index;
    }

    // The captures under a path that count, nearest to `around` first. Each lookup is asked once
    // a road, however many of the page's captures need it.
    Index captures(const Web::PathLookup &lookup, const QString &around)
    {
        const QString key = lookup.cacheKey();
        if (!m_known.contains(key)) {
            std::optional<QList<Web::Capture>> kept;
            if (cache && m_refresh)
                cache->forget(lookup);
            else if (cache)
                kept = cache->captures(lookup);
            if (!kept) {
                Index asked = archive.captures(lookup);
                if (asked.problem != ArchiveProblem::None)
                    return asked;
                if (cache)
                    cache->storeCaptures(lookup, asked.captures);
                kept = std::move(asked.captures);
            }
            m_known.insert(key, *kept);
        }
        return {ArchiveProblem::None, Web::nearestCaptures(m_known.value(key), around, m_cfg.archive.tries)};
    }

    Web::ArchiveClient archive;
    Web::LookupCache *cache;

private:
    bool m_refresh;
    const Config::Settings &m_cfg;
    QHash<QString, QList<Web::Capture>> m_known;
};

struct FileFound
{
    ArchiveProblem problem = ArchiveProblem::None;
    bool answered = false; // the archive answered about the file, held or not
    QString replay;        // empty: not held whole
};

// The video a capture of the page names, as the archive holds it: at its own address, or, when
// that carries a signature or an expiry that changed with every visit, at any capture of its host
// and path, the nearest to the page's first. Only a whole replay counts.
FileFound findFile(Session &session, const QString &timestamp, const QString &video)
{
    FileFound out;
    const Web::ArchiveClient::Replay exact = session.archive.replay(timestamp, video, true);
    out.problem = exact.problem;
    out.answered = exact.answered;
    if (out.problem != ArchiveProblem::None || exact.whole()) {
        out.replay = exact.problem == ArchiveProblem::None ? exact.address : QString();
        return out;
    }
    if (!QUrl(video, QUrl::TolerantMode).hasQuery())
        return out;
    const Index index = session.captures(Web::pathLookup(Web::PathLookup::Kind::File, video), timestamp);
    // An index that cannot say where the file is leaves the page's result as it is, unkept.
    if (index.problem == ArchiveProblem::Unavailable) {
        out.answered = false;
        return out;
    }
    out.problem = index.problem;
    for (const Web::Capture &capture : index.captures) {
        if (out.problem != ArchiveProblem::None)
            break;
        const Web::ArchiveClient::Replay file = session.archive.replay(capture.timestamp, capture.original, true);
        out.problem = file.problem;
        if (file.problem == ArchiveProblem::None && file.whole()) {
            out.replay = file.address;
            break;
        }
    }
    out.answered = out.answered && out.problem == ArchiveProblem::None;
    return out;
}

// A page's further request asked of the archive at the page's moment: its own address, or, when
// that changes from visit to visit, the nearest capture under its path that carries what stays.
std::optional<QString> furtherAnswer(Session &session, ArchiveProblem &problem, Service service,
                                     const Web::Capture &page, const QString &url, const Config::Settings &cfg)
{
    if (!isWebAddress(url) || problem != ArchiveProblem::None)
        return std::nullopt;
    QList<Web::Capture> candidates{{page.timestamp, url}};
    if (const std::optional<Web::PathLookup> lookup = answerLookup(service, url, cfg)) {
        const Index index = session.captures(*lookup, page.timestamp);
        problem = index.problem;
        candidates = index.captures;
    }
    for (const Web::Capture &capture : candidates) {
        if (problem != ArchiveProblem::None)
            break;
        const Web::ArchiveClient::Replay answer = session.archive.replay(capture.timestamp, capture.original);
        problem = answer.problem;
        if (answer.found)
            return Web::decodeBody(answer.body, answer.contentType);
    }
    return std::nullopt;
}

// Where a share link led as the archive caught its redirects (each hop a page address of the
// service or another link, never this machine or a private network), and the moment of the last
// redirect; an empty page when the archive caught none that leads to a page of the service.
Web::Capture ledTo(Session &session, ArchiveProblem &problem, Service service, const QString &link,
                   const Config::Settings &cfg)
{
    Web::Capture led{cfg.archive.around, link};
    for (int hops = 0; isShareLink(service, led.original, cfg); ++hops) {
        if (hops == maxShareHops)
            return {};
        const Index index = session.captures(Web::pathLookup(Web::PathLookup::Kind::Redirect, led.original), led.timestamp);
        problem = index.problem;
        Web::Capture next;
        for (const Web::Capture &capture : index.captures) {
            if (problem != ArchiveProblem::None)
                break;
            const Web::ArchiveClient::Hop hop = session.archive.redirectOf(capture.timestamp, capture.original);
            problem = hop.problem;
            if (hop.problem == ArchiveProblem::None && isSafePageAddress(hop.target, cfg)) {
                next = {hop.timestamp, hop.target};
                break;
            }
        }
        if (next.original.isEmpty())
            return {};
        led = next;
    }
    return isPageOf(service, led.original, cfg) ? led : Web::Capture{};
}

} // namespace

void judgeAddresses(Result &result, const Config::Settings &cfg)
{
    if (result.found() && !isSafePageAddress(result.video(), cfg))
        result.end(Outcome::Unsafe);
    const bool done = result.outcome == Outcome::Done;
    for (QString *picture : {&result.display.coverAddress, &result.display.avatarAddress}) {
        if (!done || !isSafePageAddress(*picture, cfg))
            picture->clear();
    }
}

ArchiveOutcome archiveRoad(Service service, const QString &asked, const Config::Settings &cfg,
                           const Web::FetchFunction &fetch, const RoadHooks &hooks)
{
    ArchiveOutcome out;
    Session session(cfg, fetch, hooks);
    Web::LookupCache *cache = session.cache;
    // A share link's page is where the redirect the archive caught led, near that moment.
    QString around = cfg.archive.around;
    QString address = pageAddress(service, asked, cfg);
    if (isShareLink(service, address, cfg)) {
        const Web::Capture led = ledTo(session, out.problem, service, address, cfg);
        if (led.original.isEmpty())
            return out;
        address = pageAddress(service, led.original, cfg);
        around = led.timestamp;
    }
    // A share address of a later layout carries tracking parameters the archive's captures of the
    // page do not share: it is looked up by its path.
    const std::optional<Web::PathLookup> byPath = pageLookup(service, address, cfg);
    // Asked again, nothing of what its captures were worth is kept either.
    if (byPath && cache && hooks.refreshCache)
        cache->forget(address);
    const Index index = byPath ? session.captures(*byPath, around) : session.captures(address);
    out.problem = index.problem;
    for (const Web::Capture &capture : index.captures) {
        if (out.problem != ArchiveProblem::None)
            break;
        const Web::LookupCache::ReplayEntry kept =
            cache ? cache->replay(address, capture.timestamp) : Web::LookupCache::ReplayEntry{};
        if (kept.outcome == Kept::Useless)
            continue;
        const auto useless = [&] {
            if (cache)
                cache->storeReplay(address, capture.timestamp, Kept::Useless);
        };
        const Web::ArchiveClient::Replay page = session.archive.replay(capture.timestamp, capture.original);
        out.problem = page.problem;
        if (!page.found || page.body.isEmpty()) {
            if (page.answered && out.problem == ArchiveProblem::None)
                useless();
            continue;
        }
        out.anyPage = true;
        // The page's further requests go to the same moment of the archive.
        const FetchFn further = [&](const QString &url) {
            return furtherAnswer(session, out.problem, service, capture, url, cfg);
        };
        Result result = extract(service, address, PageBody{page.body, page.contentType}, further, cfg);
        if (out.problem != ArchiveProblem::None)
            continue;
        if (!result.found()) {
            useless();
            continue;
        }
        if (!isSafePageAddress(result.video(), cfg)) {
            out.unsafe = true;
            useless();
            continue;
        }

        Archived archived{capture.timestamp, page.address, QString(), QString()};
        if (kept.video) {
            archived.video = *kept.video;
        } else {
            const FileFound file = findFile(session, capture.timestamp, result.video());
            out.problem = file.problem;
            if (out.problem != ArchiveProblem::None)
                break;
            archived.video = file.replay;
            if (cache && file.answered)
                cache->storeReplay(address, capture.timestamp, Kept::Useful, archived.video);
        }
        judgeAddresses(result, cfg);
        // The pictures' hosts are as gone as the page's: the window loads them from the archive.
        for (QString *picture : {&result.display.coverAddress, &result.display.avatarAddress}) {
            if (!picture->isEmpty())
                *picture = session.archive.replayAddress(capture.timestamp, *picture);
        }
        out.result = std::move(result);
        out.archived = std::move(archived);
        return out;
    }
    return out;
}

} // namespace Extract
