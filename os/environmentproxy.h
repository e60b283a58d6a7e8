#pragma once

#include <QNetworkProxy>
#include <functional>
#include <optional>

class QNetworkProxyQuery;

namespace Os {

// The proxy that http_proxy, https_proxy, all_proxy and no_proxy (or their upper-case forms) ask
// for `query`, read through `variable`; nullopt when they say nothing of it. no_proxy "*" or a
// matching host or domain suffix means a direct connection (QNetworkProxy::NoProxy).
std::optional<QNetworkProxy> proxyFromEnvironment(const QNetworkProxyQuery &query,
                                                  const std::function<QString(const char *name)> &variable);

} // namespace Os
