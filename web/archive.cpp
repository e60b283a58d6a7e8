#include "web/archive.h"

#include "web/indextable.h"
#include "web/network.h"

#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <algorithm>

namespace Web {

namespace {

constexpr std::chrono::seconds longestHold{3600};

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
    const qsizetype typeAt = names.indexOf(QStringLiteral("mimetype"));
    if (timestampAt < 0 || originalAt < 0)
        return std::nullopt;
    QList<bool> wanted(std::max({timestampAt, originalAt, statusAt, digestAt, typeAt}) + 1, false);
    for (const qsizetype at : {timestampAt, originalAt, statusAt, digestAt, typeAt}) {
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
        // 203 is a whole answer too, passed on by a proxy; 206 is a piece of one.
        const bool redirects = filter.under && filter.under->kind == PathLookup::Kind::Redirect;
        const bool whole = redirects ? statusAt >= 0 && isRedirectStatus(fields.at(statusAt))
                                     : statusAt < 0 || fields.at(statusAt) == u"200"
                                           || (filter.under && fields.at(statusAt) == u"203");
        if (!whole || !isTimestamp(c.timestamp))
            continue;
        if (!filter.latest.isEmpty() && c.timestamp > filter.latest)
            continue;
        if (!NetworkAccess::isFetchable(QUrl(c.original, QUrl::TolerantMode)))
            continue;
        if (filter.under ? !countsFor(*filter.under, c.original, typeAt >= 0 ? QStringView(fields.at(typeAt)) : QStringView())
                         : !filter.key.isEmpty() && archiveKey(c.original) != filter.key)
            continue;
        // One capture replayed once, however often the index lists it. Of the same bytes caught
        // under a path at several moments, the one nearest the page is wanted: all are kept.
        const bool sameBytes = !filter.under && !c.digest.isEmpty() && digests.contains(c.digest);
        if (timestamps.contains(c.timestamp) || sameBytes)
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
