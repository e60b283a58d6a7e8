#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace Web {

// The character set a page declares: the Content-Type header, else a <meta> declaration near
// the top of the page. Empty when none is declared.
QByteArray charsetOf(const QByteArray &body, const QByteArray &contentType);

// The page as text, decoded the way a browser would: a byte order mark first, then the declared
// charset, GB2312 and GBK as GB18030, Latin-1 as windows-1252, anything unknown or missing as
// UTF-8. Never fails.
QString decodeBody(const QByteArray &body, const QByteArray &contentType);

// The bytes decodeBody reads as UTF-8, without the byte order mark; nullopt when it reads the
// page in another encoding. They may hold invalid sequences, which it decodes as U+FFFD.
std::optional<QByteArrayView> utf8Bytes(const QByteArray &body, const QByteArray &contentType);

} // namespace Web
