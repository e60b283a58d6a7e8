#include "extract/pagedate.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>

namespace Extract {

namespace {

const QTimeZone chinaZone(8 * 3600);
constexpr qint64 earliest = 1262304000; // 2010-01-01

} // namespace

QString chinaTime(qint64 secondsSinceEpoch)
{
    return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, chinaZone).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

bool isPlausibleMoment(qint64 secondsSinceEpoch)
{
    return secondsSinceEpoch >= earliest && secondsSinceEpoch <= QDateTime::currentSecsSinceEpoch() + 86400;
}

QString chinaTimeOfNumber(QStringView digits)
{
    const QStringView t = digits.trimmed();
    if (t.isEmpty() || t.size() > 13 || !std::all_of(t.begin(), t.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
        return QString();
    const qint64 n = t.toLongLong();
    const qint64 seconds = t.size() == 13 ? n / 1000 : n;
    return isPlausibleMoment(seconds) ? chinaTime(seconds) : QString();
}

QString chinaTimeOfIso(QStringView text)
{
    static const QRegularExpression iso(QStringLiteral(
        "^(\\d{4}-\\d{2}-\\d{2})(?:[T ](\\d{2}:\\d{2})(?::(\\d{2})(?:\\.\\d+)?)?\\s*(Z|[+-]\\d{2}:?\\d{2})?)?$"));
    const QRegularExpressionMatch m = iso.match(text.trimmed());
    if (!m.hasMatch())
        return QString();
    if (!m.hasCaptured(2))
        return QDate::fromString(m.captured(1), Qt::ISODate).isValid() ? m.captured(1) : QString();
    const QString zone = m.captured(4);
    QDateTime when = QDateTime::fromString(m.captured(1) + u'T' + m.captured(2) + u':'
                                               + (m.hasCaptured(3) ? m.captured(3) : QStringLiteral("00")),
                                           Qt::ISODate);
    if (!when.isValid())
        return QString();
    if (zone.isEmpty()) {
        when.setTimeZone(chinaZone);
    } else if (zone == u"Z") {
        when.setTimeZone(QTimeZone::utc());
    } else {
        const QString digits = QString(zone).remove(u':');
        const int minutes = digits.mid(1, 2).toInt() * 60 + digits.mid(3, 2).toInt();
        when.setTimeZone(QTimeZone((zone.startsWith(u'-') ? -60 : 60) * minutes));
    }
    return when.toTimeZone(chinaZone).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

} // namespace Extract
