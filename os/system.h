#pragma once

#include <QByteArrayView>
#include <QList>
#include <QNetworkProxy>
#include <QString>
#include <QStringList>
#include <optional>

class QNetworkProxyQuery;

// The rest of what differs between systems, each behind a name that says what it is for.
namespace Os {

// For a program that extracts page after page, several at once: memory freed stays in the process
// for the next page. Every page passes through blocks of a few hundred kilobytes (its bytes, its
// text, its working texts); by default glibc gives such blocks back to the system as they are
// freed, and the next page pays for fresh memory again, a page fault per 4 KB. The peak stays the
// peak of the pages in flight. zavlen-get calls it first thing in main(); elsewhere it does nothing.
// The window does not: it extracts one page at a time, and its start-up measured no faster.
void keepFreedMemory();

// The proxy the environment asks for: http_proxy, https_proxy, all_proxy and no_proxy on every
// system (command-line users set them on Windows too), then the system's own settings.
QList<QNetworkProxy> systemProxy(const QNetworkProxyQuery &query);

// Text in a legacy encoding (GB18030, Big5, Shift_JIS, windows-1252, ...) decoded by the system's
// own converters, for a Qt that has none of its own for that encoding; nullopt when the system has
// none either.
std::optional<QString> decodeLegacy(QByteArrayView decoderName, QByteArrayView bytes);
bool canDecodeLegacy(QByteArrayView decoderName);

// Makes closing `socketDescriptor` a reset rather than an orderly end.
void resetOnClose(qintptr socketDescriptor);

// The window's designed Chinese font for names, as each system knows it, in order of preference.
QStringList chineseInterfaceFonts();
// The families the whole window's text is drawn in where the system's default would not suit
// Chinese; empty to keep the desktop's own font.
QStringList applicationFontFamilies();

} // namespace Os
