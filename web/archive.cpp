#include "web/archive.h"

#include "web/network.h"

#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <algorithm>
#include <cctype>

namespace Web {

namespace {

constexpr std::chrono::seconds longestHold{3600};
constexpr int deepestJson = 64;

int digitsAt(QStringView text, qsizetype at, qsizetype count)
{
    int value = 0;
    for (qsizetype i = at; i < at + count; ++i)
        value = value * 10 + (text.at(i).unicode() - u'0');
    return value;
}

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

// Fourteen digits of a real moment, checked without a date-time object: an index answer may
// hold many thousands of rows.
bool isTimestamp(QStringView t)
{
    if (t.size() != 14 || !std::all_of(t.cbegin(), t.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return false;
    const int year = digitsAt(t, 0, 4);
    const int month = digitsAt(t, 4, 2);
    const int day = digitsAt(t, 6, 2);
    return year > 0 && month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month)
           && digitsAt(t, 8, 2) < 24 && digitsAt(t, 10, 2) < 60 && digitsAt(t, 12, 2) < 60;
}

// Seconds since 1970 of a checked timestamp (days from the civil calendar, proleptic Gregorian).
qint64 secondsOf(QStringView t)
{
    qint64 y = digitsAt(t, 0, 4);
    const int m = digitsAt(t, 4, 2);
    const int d = digitsAt(t, 6, 2);
    y -= m <= 2 ? 1 : 0;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yearOfEra = y - era * 400;
    const qint64 dayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const qint64 dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const qint64 days = era * 146097 + dayOfEra - 719468;
    return days * 86400 + digitsAt(t, 8, 2) * 3600 + digitsAt(t, 10, 2) * 60 + digitsAt(t, 12, 2);
}

// Reads the index's JSON table row by row, keeping only the columns asked for: the whole answer
// is never turned into a document.
class TableReader
{
public:
    explicit TableReader(QByteArrayView json) : m_at(json.data()), m_end(json.data() + json.size()) {}

    bool take(char c)
    {
        skipSpace();
        if (m_at == m_end || *m_at != c)
            return false;
        ++m_at;
        return true;
    }
    bool peek(char c)
    {
        skipSpace();
        return m_at != m_end && *m_at == c;
    }
    bool atEnd()
    {
        skipSpace();
        return m_at == m_end;
    }

    // One row; `wanted` says which positions to keep as text (others, and values that are not
    // strings, stay empty). false when the answer is not JSON here. A row that is no array is
    // skipped and gives no fields.
    bool row(const QList<bool> &wanted, QList<QString> &fields, bool &isArray)
    {
        fields.fill(QString(), wanted.size());
        isArray = take('[');
        if (!isArray)
            return skipValue(0);
        if (take(']'))
            return true;
        for (qsizetype i = 0;; ++i) {
            skipSpace();
            if (m_at != m_end && *m_at == '"' && i < wanted.size() && wanted.at(i)) {
                std::optional<QString> text = string();
                if (!text)
                    return false;
                fields[i] = std::move(*text);
            } else if (!skipValue(1)) {
                return false;
            }
            if (take(']'))
                return true;
            if (!take(','))
                return false;
        }
    }

private:
    void skipSpace()
    {
        while (m_at != m_end && (*m_at == ' ' || *m_at == '\n' || *m_at == '\r' || *m_at == '\t'))
            ++m_at;
    }

    static void appendUtf8(QByteArray &out, char32_t c)
    {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xc0 | (c >> 6));
            out += char(0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            out += char(0xe0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3f));
            out += char(0x80 | (c & 0x3f));
        } else {
            out += char(0xf0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3f));
            out += char(0x80 | ((c >> 6) & 0x3f));
            out += char(0x80 | (c & 0x3f));
        }
    }

    std::optional<char32_t> hex4()
    {
        if (m_end - m_at < 4)
            return std::nullopt;
        char32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = *m_at++;
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= char32_t(c - '0');
            else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
                v |= char32_t((c | 0x20) - 'a' + 10);
            else
                return std::nullopt;
        }
        return v;
    }

    // At the opening quote.
    std::optional<QString> string()
    {
        ++m_at;
        const char *start = m_at;
        while (m_at != m_end && *m_at != '"' && *m_at != '\\' && static_cast<unsigned char>(*m_at) >= 0x20)
            ++m_at;
        if (m_at != m_end && *m_at == '"')
            return QString::fromUtf8(start, m_at++ - start);
        QByteArray text(start, m_at - start);
        while (m_at != m_end) {
            const char c = *m_at++;
            if (c == '"')
                return QString::fromUtf8(text);
            if (static_cast<unsigned char>(c) < 0x20)
                return std::nullopt;
            if (c != '\\') {
                text += c;
                continue;
            }
            if (m_at == m_end)
                return std::nullopt;
            const char e = *m_at++;
            switch (e) {
            case '"': case '\\': case '/': text += e; break;
            case 'b': text += '\b'; break;
            case 'f': text += '\f'; break;
            case 'n': text += '\n'; break;
            case 'r': text += '\r'; break;
            case 't': text += '\t'; break;
            case 'u': {
                std::optional<char32_t> c1 = hex4();
                if (!c1)
                    return std::nullopt;
                char32_t code = *c1;
                if (code >= 0xd800 && code < 0xdc00 && m_end - m_at >= 6 && m_at[0] == '\\' && m_at[1] == 'u') {
                    const char *back = m_at;
                    m_at += 2;
                    const std::optional<char32_t> c2 = hex4();
                    if (c2 && *c2 >= 0xdc00 && *c2 < 0xe000)
                        code = 0x10000 + ((code - 0xd800) << 10) + (*c2 - 0xdc00);
                    else
                        m_at = back;
                }
                appendUtf8(text, code >= 0xd800 && code < 0xe000 ? 0xfffd : code);
                break;
            }
            default:
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    bool skipValue(int depth)
    {
        skipSpace();
        if (m_at == m_end || depth > deepestJson)
            return false;
        const char c = *m_at;
        if (c == '"')
            return string().has_value();
        if (c == '[' || c == '{') {
            const char close = c == '[' ? ']' : '}';
            ++m_at;
            if (take(close))
                return true;
            for (;;) {
                if (close == '}') {
                    skipSpace();
                    if (m_at == m_end || *m_at != '"' || !string() || !take(':'))
                        return false;
                }
                if (!skipValue(depth + 1))
                    return false;
                if (take(close))
                    return true;
                if (!take(','))
                    return false;
            }
        }
        const char *start = m_at;
        while (m_at != m_end && (std::isalnum(static_cast<unsigned char>(*m_at)) || *m_at == '-' || *m_at == '+'
                                 || *m_at == '.'))
            ++m_at;
        const QByteArrayView word(start, m_at - start);
        if (word == "true" || word == "false" || word == "null")
            return true;
        bool number = false;
        (void)word.toDouble(&number);
        return number;
    }

    const char *m_at;
    const char *m_end;
};

} // namespace

QString captureQuery(const QString &indexUrl, const QString &address)
{
    return indexUrl + QStringLiteral("?url=") + QString::fromLatin1(QUrl::toPercentEncoding(address))
         + QStringLiteral("&output=json&fl=timestamp,original,statuscode,digest&filter=statuscode:200&limit=%1")
               .arg(indexRowLimit);
}

QString archiveKey(const QString &address)
{
    const QUrl url(address.contains(QLatin1String("://")) ? address : QStringLiteral("http://") + address,
                   QUrl::TolerantMode);
    QString host = url.host().toLower();
    static const QRegularExpression www(QStringLiteral("^www\\d*\\."));
    host.remove(www);
    const int port = url.port();
    const int usual = url.scheme().toLower() == u"https" ? 443 : 80;
    if (port > 0 && port != usual)
        host += u':' + QString::number(port);
    QString path = url.path(QUrl::FullyEncoded);
    while (path.endsWith(u'/'))
        path.chop(1);
    QString key = host + (path.isEmpty() ? QStringLiteral("/") : path);
    if (url.hasQuery())
        key += u'?' + url.query(QUrl::FullyEncoded);
    return key;
}

QString latestCaptureTime(const QDateTime &nowUtc)
{
    return nowUtc.toUTC().addDays(1).toString(QStringLiteral("yyyyMMddHHmmss"));
}

std::optional<QList<Capture>> parseCaptures(QByteArrayView json, const CaptureFilter &filter)
{
    TableReader reader(json);
    if (!reader.take('['))
        return std::nullopt;
    QList<Capture> out;
    if (reader.take(']'))
        return reader.atEnd() ? std::optional(out) : std::nullopt;

    // The header names the columns.
    static const QList<bool> everyColumn(64, true);
    QList<QString> names;
    bool isArray = false;
    if (!reader.row(everyColumn, names, isArray) || !isArray)
        return std::nullopt;
    const qsizetype timestampAt = names.indexOf(QStringLiteral("timestamp"));
    const qsizetype originalAt = names.indexOf(QStringLiteral("original"));
    const qsizetype statusAt = names.indexOf(QStringLiteral("statuscode"));
    const qsizetype digestAt = names.indexOf(QStringLiteral("digest"));
    if (timestampAt < 0 || originalAt < 0)
        return std::nullopt;
    QList<bool> wanted(std::max({timestampAt, originalAt, statusAt, digestAt}) + 1, false);
    for (const qsizetype at : {timestampAt, originalAt, statusAt, digestAt}) {
        if (at >= 0)
            wanted[at] = true;
    }

    QSet<QString> timestamps;
    QSet<QString> digests;
    QList<QString> fields;
    for (int read = 0; read < filter.rowLimit; ++read) {
        if (reader.take(']'))
            return reader.atEnd() ? std::optional(out) : std::nullopt;
        if (!reader.take(',') || !reader.row(wanted, fields, isArray))
            return std::nullopt;
        if (!isArray)
            continue;
        Capture c{fields.at(timestampAt), fields.at(originalAt), digestAt >= 0 ? fields.at(digestAt) : QString()};
        if ((statusAt >= 0 && fields.at(statusAt) != u"200") || !isTimestamp(c.timestamp))
            continue;
        if (!filter.latest.isEmpty() && c.timestamp > filter.latest)
            continue;
        if (!NetworkAccess::isFetchable(QUrl(c.original, QUrl::TolerantMode)))
            continue;
        if (!filter.key.isEmpty() && archiveKey(c.original) != filter.key)
            continue;
        // One capture replayed once, however often the index lists it.
        if (timestamps.contains(c.timestamp) || (!c.digest.isEmpty() && digests.contains(c.digest)))
            continue;
        timestamps.insert(c.timestamp);
        if (!c.digest.isEmpty())
            digests.insert(c.digest);
        out.append(std::move(c));
    }
    return out;
}

QList<Capture> nearestCaptures(QList<Capture> captures, const QString &around, int tries)
{
    const QString padded =
        QString(around + QStringLiteral("00000101000000").mid(qMin(around.size(), qsizetype(14)))).left(14);
    const qint64 target = secondsOf(isTimestamp(padded) ? QStringView(padded) : QStringView(u"20160601000000"));
    const auto distance = [target](const Capture &c) { return qAbs(secondsOf(c.timestamp) - target); };
    std::stable_sort(captures.begin(), captures.end(), [&](const Capture &a, const Capture &b) {
        const qint64 da = distance(a);
        const qint64 db = distance(b);
        return da != db ? da < db : a.timestamp < b.timestamp;
    });
    if (captures.size() > tries)
        captures.resize(qMax(tries, 0));
    return captures;
}

QString replayAddress(const QString &replayBase, const QString &timestamp, const QString &original)
{
    const QString base = replayBase.endsWith(u'/') ? replayBase : replayBase + u'/';
    return base + timestamp + QStringLiteral("id_/") + original;
}

bool isReplayRedirect(const QString &replayBase, const QUrl &from, const QUrl &to)
{
    const QUrl base(replayBase.endsWith(u'/') ? replayBase : replayBase + u'/', QUrl::TolerantMode);
    const auto usualPort = [](const QUrl &u) { return u.port(u.scheme() == u"https" ? 443 : 80); };
    return NetworkAccess::isFetchable(to) && to.host().compare(base.host(), Qt::CaseInsensitive) == 0
           && usualPort(to) == usualPort(base) && to.path().startsWith(base.path())
           && !(from.scheme() == u"https" && to.scheme() == u"http");
}

QString captureDate(const QString &timestamp)
{
    if (timestamp.size() < 8)
        return timestamp;
    return timestamp.left(4) + u'-' + timestamp.mid(4, 2) + u'-' + timestamp.mid(6, 2);
}

std::chrono::seconds retryAfter(const QByteArray &value, std::chrono::seconds fallback, const QDateTime &nowUtc)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return fallback;
    if (std::all_of(text.cbegin(), text.cend(), [](char c) { return c >= '0' && c <= '9'; })) {
        bool ok = false;
        const qint64 seconds = text.size() <= 10 ? text.toLongLong(&ok) : longestHold.count();
        return std::chrono::seconds(ok ? std::min(seconds, qint64(longestHold.count())) : longestHold.count());
    }
    // "Sun, 06 Nov 1994 08:49:37 GMT": Qt reads the zone only as a number.
    QString date = QString::fromLatin1(text);
    if (date.endsWith(QLatin1String(" GMT")))
        date = date.chopped(3) + QStringLiteral("+0000");
    const QDateTime when = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!when.isValid())
        return fallback;
    return std::chrono::seconds(std::clamp(nowUtc.secsTo(when), qint64(0), qint64(longestHold.count())));
}

} // namespace Web
