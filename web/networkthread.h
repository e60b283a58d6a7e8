#pragma once

#include "web/getbody.h"

#include <QThread>

namespace Web {

// One thread whose network access point carries the requests of many callers that block on
// them: zavlen-get's jobs. An access point per job thread hands every piece of every answer from
// its own HTTP thread over to the job's event loop; one shared access point has one HTTP thread
// and one event loop for all jobs, fewer threads to switch between, and its connections serve
// every job.
class NetworkThread
{
public:
    NetworkThread();
    // Waits for the thread: no caller may be blocked in fetch() any more.
    ~NetworkThread();
    NetworkThread(const NetworkThread &) = delete;
    NetworkThread &operator=(const NetworkThread &) = delete;

    // fetch() as the shared thread's access point answers it, from any other thread; blocks the
    // caller (without an event loop) until the answer is complete. Options' sink and cancel token
    // are used on the shared thread while the caller waits.
    FetchResult fetch(const QString &url, const FetchOptions &options);

private:
    QThread m_thread;
    QObject *m_context = nullptr; // lives on m_thread
};

} // namespace Web
