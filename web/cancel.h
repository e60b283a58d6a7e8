#pragma once

#include <QMutex>
#include <atomic>
#include <functional>
#include <map>

namespace Web {

// Lets one thread stop the requests and waits another thread is blocked in: the window's Esc, or
// a signal to zavlen-get. Whoever waits registers how to be woken; cancel() runs every such
// callback once, on the cancelling thread, so each must only post its wake-up to its own thread.
class CancelToken
{
public:
    void cancel();
    bool isCancelled() const { return m_cancelled.load(std::memory_order_acquire); }

    // Runs `wake` at once when the token is cancelled already. The id goes back to remove().
    int onCancel(std::function<void()> wake);
    void remove(int id);

private:
    mutable QMutex m_lock;
    std::atomic_bool m_cancelled{false};
    int m_nextId = 0;
    std::map<int, std::function<void()>> m_wakers;
};

// Registered for the lifetime of a scope; a null token is never cancelled.
class CancelScope
{
public:
    CancelScope(const CancelToken *token, std::function<void()> wake);
    ~CancelScope();
    CancelScope(const CancelScope &) = delete;
    CancelScope &operator=(const CancelScope &) = delete;

private:
    CancelToken *m_token;
    int m_id = -1;
};

} // namespace Web
