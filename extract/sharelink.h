#pragma once

#include "extract/extraction.h"
#include "web/archiveclient.h"

#include <QString>

// Share links (v.kuaishou.com/<code>, video.weishi.qq.com/<code>, …) lead to their page by a
// redirect or a chain of them. Each hop is judged here, as the access point judges the ones Qt
// follows: http and https only, never on to this machine or a private network, never from https
// back to http, and no more hops than the access point follows.
namespace Extract {

inline constexpr int maxShareHops = 10;

// Whether a share link's hop from `from` may go on to `to`.
bool isAllowedHop(const QUrl &from, const QUrl &to, const Config::Settings &cfg);

struct Followed
{
    QString page;           // where the link led: the address of the last answer; empty: nowhere allowed
    Web::FetchResult answer; // that answer, whatever its status
    bool refused = false;   // a hop broke a rule
};

// Follows `link` one hop at a time through `fetch`, with the page's headers.
Followed followLink(const QString &link, const Config::Settings &cfg, const Web::FetchFunction &fetch,
                    const Web::CancelToken *cancel);

} // namespace Extract
