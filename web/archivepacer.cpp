#include "web/archivepacer.h"

#include "web/cancel.h"

#include <QEventLoop>
#include <QMutexLocker>
#include <QTimer>
#include <algorithm>

namespace Web {

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

} // namespace

bool waitCancellably(milliseconds span, const CancelToken *cancel)
{
    if (cancel && cancel->isCancelled())
        return false;
    if (span.count() <= 0)
        return true;
    bool cancelled = false;
    QEventLoop loop;
    QTimer::singleShot(span, &loop, &QEventLoop::quit);
    const CancelScope scope(cancel, [&loop, &cancelled] {
        QMetaObject::invokeMethod(&loop, [&loop, &cancelled] {
            cancelled = true;
            loop.quit();
        }, Qt::QueuedConnection);
    });
    loop.exec();
    return !cancelled;
}

ArchivePacer &ArchivePacer::instance()
{
    static ArchivePacer pacer;
    return pacer;
}

ArchivePacer::Turn ArchivePacer::awaitTurn(Lane lane, int perMinute, milliseconds maxHoldWait,
                                           const CancelToken *cancel)
{
    const auto interval = milliseconds(60000 / qMax(perMinute, 1));
    Turn turn;
    for (;;) {
        Clock::time_point at;
        milliseconds holdPart{0};
        {
            QMutexLocker lock(&m_lock);
            const Clock::time_point now = Clock::now();
            if (m_holdUntil > now) {
                holdPart = duration_cast<milliseconds>(m_holdUntil - now);
                if (holdPart + turn.held > maxHoldWait) {
                    turn.kind = Turn::Kind::Held;
                    return turn;
                }
            }
            Clock::time_point &next = m_next[lane == Lane::Index ? 0 : 1];
            at = std::max({now, next, m_holdUntil});
            next = at + interval;
            const milliseconds whole = duration_cast<milliseconds>(at - now);
            turn.held += holdPart;
            turn.paced += std::max(whole - holdPart, milliseconds(0));
        }
        if (!waitCancellably(duration_cast<milliseconds>(at - Clock::now()), cancel)) {
            turn.kind = Turn::Kind::Cancelled;
            return turn;
        }
        // A busy answer to someone else's request may have come in while we waited.
        QMutexLocker lock(&m_lock);
        if (m_holdUntil <= Clock::now())
            return turn;
    }
}

void ArchivePacer::holdOff(std::chrono::seconds span)
{
    QMutexLocker lock(&m_lock);
    m_holdUntil = std::max(m_holdUntil, Clock::now() + span);
}

milliseconds ArchivePacer::holdLeft()
{
    QMutexLocker lock(&m_lock);
    return std::max(duration_cast<milliseconds>(m_holdUntil - Clock::now()), milliseconds(0));
}

milliseconds ArchivePacer::nextTurnIn(Lane lane)
{
    QMutexLocker lock(&m_lock);
    const Clock::time_point at = std::max(m_next[lane == Lane::Index ? 0 : 1], m_holdUntil);
    return std::max(duration_cast<milliseconds>(at - Clock::now()), milliseconds(0));
}

void ArchivePacer::reset()
{
    QMutexLocker lock(&m_lock);
    m_next[0] = m_next[1] = {};
    m_holdUntil = {};
}

} // namespace Web
