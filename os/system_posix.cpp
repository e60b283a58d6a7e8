#include "os/system.h"

#include <QNetworkProxyFactory>

#include <cstdlib>
#include <sys/socket.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace Os {

void keepFreedMemory()
{
#if defined(__GLIBC__)
    // The largest threshold glibc takes; only blocks beyond any page cap are mapped on their own.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
#endif
}

QList<QNetworkProxy> systemProxy(const QNetworkProxyQuery &query)
{
    // Qt reads the proxy variables of the environment itself on these systems.
    return QNetworkProxyFactory::systemProxyForQuery(query);
}

// Qt's converters cover every encoding pages use here.
std::optional<QString> decodeLegacy(QByteArrayView, QByteArrayView)
{
    return std::nullopt;
}

bool canDecodeLegacy(QByteArrayView)
{
    return false;
}

void resetOnClose(qintptr socketDescriptor)
{
    const linger hard{1, 0};
    ::setsockopt(int(socketDescriptor), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

QStringList chineseInterfaceFonts()
{
    // The Windows font first, for systems that have it installed; then what Debian ships.
    return {QStringLiteral("微软雅黑"), QStringLiteral("WenQuanYi Micro Hei")};
}

QStringList applicationFontFamilies()
{
    return {};
}

} // namespace Os
