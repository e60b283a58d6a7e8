#pragma once

// Shared by the tests that run the road against the loopback site and its archive.

#include "config/settings.h"
#include "demo/loopbacksite.h"
#include "web/archivepacer.h"
#include "web/network.h"

#include <QtGlobal>

namespace TestSupport {

inline const QString indexUrl = QStringLiteral("http://web.archive.org/cdx/search/cdx");
inline const QString replayUrl = QStringLiteral("http://web.archive.org/web/");

// The loopback site is reached through the settings' proxy alone.
inline void unsetProxies()
{
    for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "no_proxy"})
        qunsetenv(name);
}

// Everything through `site`, the archive on it over plain http, and no pace to wait for.
inline Config::Settings loopbackSettings(const Demo::LoopbackSite &site)
{
    Web::ArchivePacer::instance().reset();
    Config::Settings cfg;
    cfg.network.proxy = site.proxyUrl();
    cfg.network.timeoutSeconds = 5;
    cfg.archive.indexUrl = indexUrl;
    cfg.archive.replayUrl = replayUrl;
    cfg.archive.indexPerMinute = 6000;
    cfg.archive.replayPerMinute = 6000;
    Web::NetworkAccess::configure(cfg);
    return cfg;
}

} // namespace TestSupport
