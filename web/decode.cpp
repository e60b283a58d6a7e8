#include "web/decode.h"

#include <QByteArrayView>
#include <QStringDecoder>

namespace Web {

namespace {

// A declaration further down than this is not looked for: pages put it in the head.
constexpr qsizetype metaScanBytes = 4096;

bool isCharsetChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ':';
}

// The value after "charset=" at `from` in `text`, without quotes.
QByteArray charsetValue(QByteArrayView text, qsizetype from)
{
    qsizetype i = from;
    while (i < text.size() && (text[i] == ' ' || text[i] == '"' || text[i] == '\'' || text[i] == '\t'))
        ++i;
    const qsizetype start = i;
    while (i < text.size() && isCharsetChar(text[i]))
        ++i;
    return text.sliced(start, i - start).toByteArray().toLower();
}

QByteArray charsetFromHeader(const QByteArray &contentType)
{
    const QByteArray lower = contentType.toLower();
    const qsizetype at = lower.indexOf("charset=");
    return at < 0 ? QByteArray() : charsetValue(lower, at + 8);
}

QByteArray charsetFromBom(const QByteArray &body)
{
    if (body.startsWith("\xEF\xBB\xBF"))
        return "utf-8";
    if (body.startsWith("\xFF\xFE"))
        return "utf-16le";
    if (body.startsWith("\xFE\xFF"))
        return "utf-16be";
    return {};
}

// Covers <meta charset="x"> and <meta http-equiv="Content-Type" content="text/html; charset=x">.
QByteArray charsetFromMeta(const QByteArray &body)
{
    const QByteArray head = body.left(metaScanBytes).toLower();
    qsizetype pos = 0;
    while ((pos = head.indexOf("<meta", pos)) >= 0) {
        qsizetype end = head.indexOf('>', pos);
        if (end < 0)
            end = head.size();
        const qsizetype at = QByteArrayView(head).sliced(pos, end - pos).indexOf("charset");
        if (at >= 0) {
            qsizetype i = pos + at + 7;
            while (i < end && head[i] == ' ')
                ++i;
            if (i < end && head[i] == '=') {
                const QByteArray value = charsetValue(QByteArrayView(head).first(end), i + 1);
                if (!value.isEmpty())
                    return value;
            }
        }
        pos = end;
    }
    return {};
}

QByteArray decoderName(const QByteArray &charset)
{
    if (charset == "gb2312" || charset == "gbk" || charset == "x-gbk" || charset == "cp936" ||
        charset == "gb_2312-80" || charset == "euc-cn" || charset == "chinese" || charset == "gb18030")
        return "GB18030";
    if (charset == "iso-8859-1" || charset == "latin1" || charset == "us-ascii" || charset == "ascii")
        return "windows-1252";
    if (charset == "big5" || charset == "big5-hkscs" || charset == "x-x-big5")
        return "Big5";
    return charset;
}

} // namespace

QByteArray charsetOf(const QByteArray &body, const QByteArray &contentType)
{
    const QByteArray charset = charsetFromHeader(contentType);
    return charset.isEmpty() ? charsetFromMeta(body) : charset;
}

QString decodeBody(const QByteArray &body, const QByteArray &contentType)
{
    // A byte order mark outweighs every declaration, as in browsers.
    QByteArray charset = charsetFromBom(body);
    if (charset.isEmpty())
        charset = charsetOf(body, contentType);
    if (charset.isEmpty() || charset == "utf-8" || charset == "utf8")
        return QString::fromUtf8(body.startsWith("\xEF\xBB\xBF") ? QByteArrayView(body).sliced(3)
                                                                 : QByteArrayView(body));
    QStringDecoder decoder(decoderName(charset).constData());
    if (!decoder.isValid())
        return QString::fromUtf8(body);
    return decoder.decode(body);
}

} // namespace Web
