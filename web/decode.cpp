#include "web/decode.h"
#include "os/system.h"

#include <QByteArrayList>
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

// Only the encodings web pages use. Exotic ones that the converter library also knows (SCSU,
// UTF-7, BOCU-1, ...) are refused as browsers refuse them: a page could use them to smuggle
// text past the markers or to inflate itself.
QByteArray decoderName(const QByteArray &charset)
{
    static const QByteArrayList gb = {"gb2312", "gbk", "x-gbk", "cp936", "gb_2312-80", "euc-cn", "chinese",
                                      "gb18030", "csgb2312", "iso-ir-58", "windows-936"};
    static const QByteArrayList latin1 = {"iso-8859-1", "latin1", "l1", "us-ascii", "ascii", "cp1252",
                                          "windows-1252", "iso8859-1", "iso_8859-1", "cp819", "ibm819"};
    static const QByteArrayList big5 = {"big5", "big5-hkscs", "x-x-big5", "cn-big5", "csbig5"};
    static const QByteArrayList others = {
        "utf-16le", "utf-16be", "utf-16", "shift_jis", "sjis", "ms_kanji", "windows-31j", "x-sjis", "euc-jp",
        "iso-2022-jp", "euc-kr", "ks_c_5601-1987", "windows-949", "cp949", "koi8-r", "koi8-u", "ibm866",
        "macintosh", "x-mac-cyrillic", "windows-874", "windows-1250", "windows-1251", "windows-1253",
        "windows-1254", "windows-1255", "windows-1256", "windows-1257", "windows-1258", "iso-8859-2",
        "iso-8859-3", "iso-8859-4", "iso-8859-5", "iso-8859-6", "iso-8859-7", "iso-8859-8", "iso-8859-10",
        "iso-8859-13", "iso-8859-14", "iso-8859-15", "iso-8859-16"};
    if (gb.contains(charset))
        return "GB18030";
    if (latin1.contains(charset))
        return "windows-1252";
    if (big5.contains(charset))
        return "Big5";
    if (others.contains(charset))
        return charset;
    return {};
}

} // namespace

QByteArray charsetOf(const QByteArray &body, const QByteArray &contentType)
{
    const QByteArray charset = charsetFromHeader(contentType);
    return charset.isEmpty() ? charsetFromMeta(body) : charset;
}

namespace {

// How decodeBody reads `body`: as UTF-8 (these bytes, without a byte order mark), or with the
// decoder of that name.
struct Reading
{
    std::optional<QByteArrayView> utf8;
    QByteArray decoder;
};

Reading readingOf(const QByteArray &body, const QByteArray &contentType)
{
    // A byte order mark outweighs every declaration, as in browsers.
    QByteArray charset = charsetFromBom(body);
    if (charset.isEmpty())
        charset = charsetOf(body, contentType);
    if (charset.isEmpty() || charset == "utf-8" || charset == "utf8")
        return {body.startsWith("\xEF\xBB\xBF") ? QByteArrayView(body).sliced(3) : QByteArrayView(body), {}};
    const QByteArray name = decoderName(charset);
    // A Qt without ICU knows only the UTF and Latin-1 encodings; the system may know the rest.
    if (name.isEmpty() || (!QStringDecoder(name.constData()).isValid() && !Os::canDecodeLegacy(name)))
        return {QByteArrayView(body), {}};
    return {std::nullopt, name};
}

} // namespace

std::optional<QByteArrayView> utf8Bytes(const QByteArray &body, const QByteArray &contentType)
{
    return readingOf(body, contentType).utf8;
}

QString decodeBody(const QByteArray &body, const QByteArray &contentType)
{
    const Reading reading = readingOf(body, contentType);
    if (reading.utf8)
        return QString::fromUtf8(*reading.utf8);
    QStringDecoder decoder(reading.decoder.constData());
    if (!decoder.isValid())
        return Os::decodeLegacy(reading.decoder, body).value_or(QString());
    return decoder.decode(body);
}

} // namespace Web
