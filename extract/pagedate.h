#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// The services showed their dates in China's time (UTC+8); a later page that gives a moment
// instead of the text it showed is shown the same way.
namespace Extract {

// "YYYY-MM-DD HH:MM" of `secondsSinceEpoch` in China's time.
QString chinaTime(qint64 secondsSinceEpoch);

// A moment these services can have written: from 2010 to a day past now.
bool isPlausibleMoment(qint64 secondsSinceEpoch);

// A timestamp as an answer writes it, in seconds or (13 digits) milliseconds, in China's time;
// empty when it is no plausible moment.
QString chinaTimeOfNumber(QStringView digits);

// An ISO 8601 date in China's time: "2018-12-25T10:20:33+08:00", "2018-12-25 10:20", a date alone
// ("2018-12-25", shown as it is). Without a zone it is China's time already. Empty when it is none.
QString chinaTimeOfIso(QStringView text);

} // namespace Extract
