#include "os/system.h"

#include "os/environmentproxy.h"

#include <QNetworkProxyFactory>

#include <winsock2.h>
#include <windows.h>

namespace Os {

void keepFreedMemory()
{
    // The Windows heap keeps freed blocks for reuse by itself.
}

QList<QNetworkProxy> systemProxy(const QNetworkProxyQuery &query)
{
    // Qt asks only the system's own settings here; the variables a command line sets come first.
    const std::optional<QNetworkProxy> fromEnvironment = proxyFromEnvironment(query, [](const char *name) {
        return qEnvironmentVariable(name);
    });
    if (fromEnvironment)
        return {*fromEnvironment};
    return QNetworkProxyFactory::systemProxyForQuery(query);
}

namespace {

UINT codePageOf(QByteArrayView name)
{
    static const struct
    {
        const char *name;
        UINT codePage;
    } pages[] = {
        {"GB18030", 54936},         {"Big5", 950},           {"windows-1252", 1252}, {"shift_jis", 932},
        {"sjis", 932},              {"ms_kanji", 932},       {"windows-31j", 932},   {"x-sjis", 932},
        {"euc-jp", 20932},          {"iso-2022-jp", 50220},  {"euc-kr", 949},        {"ks_c_5601-1987", 949},
        {"windows-949", 949},       {"cp949", 949},          {"koi8-r", 20866},      {"koi8-u", 21866},
        {"ibm866", 866},            {"macintosh", 10000},    {"x-mac-cyrillic", 10007}, {"windows-874", 874},
        {"windows-1250", 1250},     {"windows-1251", 1251},  {"windows-1253", 1253}, {"windows-1254", 1254},
        {"windows-1255", 1255},     {"windows-1256", 1256},  {"windows-1257", 1257}, {"windows-1258", 1258},
        {"iso-8859-2", 28592},      {"iso-8859-3", 28593},   {"iso-8859-4", 28594},  {"iso-8859-5", 28595},
        {"iso-8859-6", 28596},      {"iso-8859-7", 28597},   {"iso-8859-8", 28598},  {"iso-8859-13", 28603},
        {"iso-8859-15", 28605},
    };
    for (const auto &page : pages) {
        if (name.compare(QByteArrayView(page.name), Qt::CaseInsensitive) == 0)
            return page.codePage;
    }
    return 0;
}

} // namespace

bool canDecodeLegacy(QByteArrayView decoderName)
{
    const UINT page = codePageOf(decoderName);
    return page != 0 && IsValidCodePage(page);
}

std::optional<QString> decodeLegacy(QByteArrayView decoderName, QByteArrayView bytes)
{
    if (!canDecodeLegacy(decoderName))
        return std::nullopt;
    if (bytes.isEmpty())
        return QString();
    const UINT page = codePageOf(decoderName);
    // Pages are capped far below 2 GB; MultiByteToWideChar counts in int.
    const int in = int(std::min<qsizetype>(bytes.size(), INT_MAX));
    const int needed = MultiByteToWideChar(page, 0, bytes.data(), in, nullptr, 0);
    if (needed <= 0)
        return std::nullopt;
    QString text(needed, Qt::Uninitialized);
    const int written = MultiByteToWideChar(page, 0, bytes.data(), in, reinterpret_cast<wchar_t *>(text.data()), needed);
    if (written <= 0)
        return std::nullopt;
    text.truncate(written);
    return text;
}

void resetOnClose(qintptr socketDescriptor)
{
    const linger hard{1, 0};
    ::setsockopt(SOCKET(socketDescriptor), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&hard), sizeof hard);
}

QStringList chineseInterfaceFonts()
{
    return {QStringLiteral("Microsoft YaHei UI"), QStringLiteral("Microsoft YaHei"), QStringLiteral("微软雅黑")};
}

QStringList applicationFontFamilies()
{
    // Qt's default there is Segoe UI, which has no Chinese: every caption would come from a fallback.
    return {QStringLiteral("Microsoft YaHei UI"), QStringLiteral("Microsoft YaHei")};
}

} // namespace Os
