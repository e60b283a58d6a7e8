#include "web/cancel.h"

#include <QMutexLocker>

namespace Web {

void CancelToken::cancel()
{
    // Under the lock: a waiter that is leaving blocks in remove() until its wake-up is posted, so
    // nothing is posted to an object that is gone.
    QMutexLocker lock(&m_lock);
    if (m_cancelled.exchange(true, std::memory_order_acq_rel))
        return;
    for (auto &[id, wake] : m_wakers)
        wake();
}

int CancelToken::onCancel(std::function<void()> wake)
{
    QMutexLocker lock(&m_lock);
    const int id = m_nextId++;
    if (m_cancelled.load(std::memory_order_acquire)) {
        lock.unlock();
        wake();
        return -1;
    }
    m_wakers.emplace(id, std::move(wake));
    return id;
}

void CancelToken::remove(int id)
{
    QMutexLocker lock(&m_lock);
    m_wakers.erase(id);
}

CancelScope::CancelScope(const CancelToken *token, std::function<void()> wake)
    // Registering changes the token's list, not whether it is cancelled.
    : m_token(const_cast<CancelToken *>(token))
{
    if (m_token)
        m_id = m_token->onCancel(std::move(wake));
}

CancelScope::~CancelScope()
{
    if (m_token && m_id >= 0)
        m_token->remove(m_id);
}

} // namespace Web
