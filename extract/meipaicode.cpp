#include "extract/meipaicode.h"

#include "extract/pagedate.h"

#include <QUrl>

namespace Extract::Meipai {

namespace {

bool isBase64(QStringView text)
{
    for (const QChar c : text) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'+' && c != u'/' && c != u'=')
            return false;
    }
    return true;
}

} // namespace

std::optional<QString> decodeVideo(QStringView encoded)
{
    const QStringView value = encoded.trimmed();
    if (value.size() < 8 || !isBase64(value))
        return std::nullopt;
    QString reversed;
    for (qsizetype i = 3; i >= 0; --i)
        reversed += value.at(i);
    bool hex = false;
    const uint places = reversed.toUInt(&hex, 16);
    const QString digits = QString::number(places);
    // Only the first two characters of each half count, as in the page's own script; with
    // fewer than four digits the second half has no second character and the value no meaning.
    if (!hex || digits.size() < 4)
        return std::nullopt;
    const auto digit = [&](int i) { return qsizetype(digits.at(i).unicode() - u'0'); };
    const qsizetype frontAt = digit(0);
    const qsizetype frontLength = digit(1);
    const qsizetype backOffset = digit(2);
    const qsizetype backLength = digit(3);

    QString body = value.sliced(4).toString();
    if (frontAt + frontLength > body.size())
        return std::nullopt;
    body.remove(frontAt, frontLength);
    const qsizetype backAt = body.size() - backOffset - backLength;
    if (backAt < 0 || backAt + backLength > body.size())
        return std::nullopt;
    body.remove(backAt, backLength);

    QByteArray base64 = body.toLatin1();
    while (base64.size() % 4 != 0)
        base64 += '=';
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    const QString address = QString::fromUtf8(*decoded);
    // Anything else is junk that happened to decode.
    for (const QChar c : address) {
        if (c.unicode() <= u' ' || c.unicode() > u'~')
            return std::nullopt;
    }
    if (address.startsWith(u"//"))
        return QStringLiteral("https:") + address;
    if (address.startsWith(u"http://") || address.startsWith(u"https://"))
        return address;
    return std::nullopt;
}

std::optional<qint64> fileTime(const QString &address)
{
    const QUrl url(address, QUrl::TolerantMode);
    const QString host = url.host().toLower();
    if (!host.startsWith(u"mvvideo") && !host.startsWith(u"mvimg"))
        return std::nullopt;
    const QString name = url.path().section(u'/', -1);
    bool hex = false;
    const qint64 seconds = name.left(8).toLongLong(&hex, 16);
    if (name.size() < 8 || !hex || !isPlausibleMoment(seconds))
        return std::nullopt;
    return seconds;
}

} // namespace Extract::Meipai
