#pragma once

#include "config/settings.h"
#include "demo/loopbacksite.h"
#include "web/network.h"

#include <QTest>

// Points the shared access point at a fresh loopback site, so the real host names stay in the
// addresses and nothing leaves the machine.
inline Config::Settings siteSettings(const Demo::LoopbackSite &site, int timeoutSeconds = 2,
                                     qint64 maxBodyBytes = 1024 * 1024)
{
    Config::Settings s;
    s.network.proxy = site.proxyUrl();
    s.network.timeoutSeconds = timeoutSeconds;
    s.network.maxBodyBytes = maxBodyBytes;
    return s;
}

inline Demo::Response page(const QByteArray &body, int status = 200,
                           const QByteArray &contentType = "text/html; charset=utf-8")
{
    Demo::Response r;
    r.status = status;
    r.body = body;
    r.contentType = contentType;
    return r;
}

inline void unsetProxyEnvironment()
{
    for (const char *name :
         {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
}
