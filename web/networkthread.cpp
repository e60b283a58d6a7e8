#include "web/networkthread.h"

#include "web/transfer.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace Web {

NetworkThread::NetworkThread()
{
    m_thread.setObjectName(QStringLiteral("zavlen-network"));
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread.start();
}

NetworkThread::~NetworkThread()
{
    m_thread.quit();
    m_thread.wait();
}

FetchResult NetworkThread::fetch(const QString &url, const FetchOptions &options)
{
    struct Waiter
    {
        std::mutex lock;
        std::condition_variable ended;
        bool done = false;
        FetchResult result;
    };
    const auto waiter = std::make_shared<Waiter>();
    QMetaObject::invokeMethod(
        m_context,
        [waiter, url, options] {
            auto *transfer = new Transfer(url, options);
            const auto finish = [waiter, transfer] {
                {
                    const std::lock_guard<std::mutex> hold(waiter->lock);
                    waiter->result = transfer->result();
                    waiter->done = true;
                }
                waiter->ended.notify_one();
                transfer->deleteLater();
            };
            if (transfer->isFinished())
                finish();
            else
                QObject::connect(transfer, &Transfer::finished, transfer, finish);
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> hold(waiter->lock);
    waiter->ended.wait(hold, [&] { return waiter->done; });
    return std::move(waiter->result);
}

} // namespace Web
