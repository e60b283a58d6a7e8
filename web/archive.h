#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QString>
#include <chrono>
#include <optional>

namespace Web {

// One capture of a page in the web archive's index.
struct Capture
{
    QString timestamp; // yyyyMMddhhmmss
    QString original;  // the address as the archive captured it
};

// The index query for the captures of `address` whose archived answer was 200, as JSON rows.
// The address goes in whole, percent-encoded: its own query ("&photoId=") must stay its own.
QString captureQuery(const QString &indexUrl, const QString &address);

// The captures of an output=json answer, its first row naming the columns. nullopt when the
// answer is not such a table; rows of another status or without a usable timestamp or address
// are left out.
std::optional<QList<Capture>> parseCaptures(const QByteArray &json);

// At most `tries` captures, nearest to `around` (4 to 14 digits, the rest taken as its start)
// first; of two equally near, the earlier.
QList<Capture> nearestCaptures(QList<Capture> captures, const QString &around, int tries);

// The bytes the archive captured for `original` at (or nearest to) `timestamp`, unchanged:
// REPLAY + TIMESTAMP + "id_/" + ORIGINAL.
QString replayAddress(const QString &replayBase, const QString &timestamp, const QString &original);

// "2015-03-12" for "20150312094501".
QString captureDate(const QString &timestamp);

// Requests to the archive name the program, whatever user agent pages are fetched with.
QList<QPair<QByteArray, QByteArray>> archiveHeaders(const QString &userAgent);

// Index queries of the whole process, every thread together, at a pace the archive accepts; after
// the archive says it is busy (429), nobody asks it again for a while.
class IndexPacer
{
public:
    static IndexPacer &instance();

    // Waits for this query's turn while the calling thread's events keep running. false, at
    // once, when the archive asked us to hold off for longer than `maxWaitMs`.
    bool awaitTurn(int perMinute, int maxWaitMs);
    void holdOff();
    void reset(); // forget the pace and any hold (tests)

    static constexpr std::chrono::seconds holdTime{60};

private:
    using Clock = std::chrono::steady_clock;

    QMutex m_lock;
    Clock::time_point m_next{};
    Clock::time_point m_holdUntil{};
};

} // namespace Web
