#include "web/archive.h"

#include "web/network.h"

#include <QDateTime>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <QUrl>
#include <algorithm>

namespace Web {

namespace {

// Far more captures than one short-video page ever had, and still a small answer.
constexpr int indexRowLimit = 1000;
const QString programName = QStringLiteral("ZavlenVideo/1.6.0");

bool allDigits(QStringView text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

QDateTime timeOf(const QString &timestamp)
{
    QDateTime t = QDateTime::fromString(timestamp, QStringLiteral("yyyyMMddHHmmss"));
    t.setTimeSpec(Qt::UTC);
    return t;
}

void waitFor(std::chrono::milliseconds span)
{
    if (span.count() <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(span, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

QString captureQuery(const QString &indexUrl, const QString &address)
{
    return indexUrl + QStringLiteral("?url=") + QString::fromLatin1(QUrl::toPercentEncoding(address))
         + QStringLiteral("&output=json&fl=timestamp,original,statuscode&filter=statuscode:200&limit=%1")
               .arg(indexRowLimit);
}

std::optional<QList<Capture>> parseCaptures(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.trimmed(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    const QJsonArray rows = doc.array();
    QList<Capture> out;
    if (rows.isEmpty())
        return out;
    const QJsonArray head = rows.first().toArray();
    qsizetype timestampAt = -1;
    qsizetype originalAt = -1;
    qsizetype statusAt = -1;
    for (qsizetype i = 0; i < head.size(); ++i) {
        const QString name = head.at(i).toString();
        if (name == u"timestamp")
            timestampAt = i;
        else if (name == u"original")
            originalAt = i;
        else if (name == u"statuscode")
            statusAt = i;
    }
    if (timestampAt < 0 || originalAt < 0)
        return std::nullopt;
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QJsonArray row = rows.at(r).toArray();
        Capture c{row.at(timestampAt).toString(), row.at(originalAt).toString()};
        if (statusAt >= 0 && row.at(statusAt).toString() != u"200")
            continue;
        if (c.timestamp.size() != 14 || !allDigits(c.timestamp) || !timeOf(c.timestamp).isValid())
            continue;
        if (!NetworkAccess::isFetchable(QUrl(c.original, QUrl::TolerantMode)))
            continue;
        out.append(std::move(c));
    }
    return out;
}

QList<Capture> nearestCaptures(QList<Capture> captures, const QString &around, int tries)
{
    const QString padded = around + QStringLiteral("00000101000000").mid(qMin(around.size(), qsizetype(14)));
    QDateTime target = timeOf(padded.left(14));
    if (!target.isValid())
        target = timeOf(QStringLiteral("20160601000000"));
    const auto distance = [&](const Capture &c) { return qAbs(timeOf(c.timestamp).secsTo(target)); };
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

QString captureDate(const QString &timestamp)
{
    if (timestamp.size() < 8)
        return timestamp;
    return timestamp.left(4) + u'-' + timestamp.mid(4, 2) + u'-' + timestamp.mid(6, 2);
}

QList<QPair<QByteArray, QByteArray>> archiveHeaders(const QString &userAgent)
{
    const QString agent = userAgent.contains(QLatin1String("ZavlenVideo"))
                              ? userAgent
                              : (userAgent.isEmpty() ? programName : userAgent + u' ' + programName);
    return {{QByteArrayLiteral("User-Agent"), agent.toUtf8()}};
}

IndexPacer &IndexPacer::instance()
{
    static IndexPacer pacer;
    return pacer;
}

bool IndexPacer::awaitTurn(int perMinute, int maxWaitMs)
{
    const auto interval = std::chrono::milliseconds(60000 / qMax(perMinute, 1));
    for (;;) {
        Clock::time_point turn;
        {
            QMutexLocker lock(&m_lock);
            const Clock::time_point now = Clock::now();
            if (m_holdUntil > now) {
                if (m_holdUntil - now > std::chrono::milliseconds(maxWaitMs))
                    return false;
            }
            turn = std::max({now, m_next, m_holdUntil});
            m_next = turn + interval;
        }
        waitFor(std::chrono::duration_cast<std::chrono::milliseconds>(turn - Clock::now()));
        // A busy answer to someone else's query may have come in while we waited.
        QMutexLocker lock(&m_lock);
        if (m_holdUntil <= Clock::now())
            return true;
    }
}

void IndexPacer::holdOff()
{
    QMutexLocker lock(&m_lock);
    m_holdUntil = std::max(m_holdUntil, Clock::now() + holdTime);
}

void IndexPacer::reset()
{
    QMutexLocker lock(&m_lock);
    m_next = {};
    m_holdUntil = {};
}

} // namespace Web
