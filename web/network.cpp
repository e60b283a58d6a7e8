#include "web/network.h"

#include "config/settings.h"

#include <QAtomicInteger>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QThreadStorage>
#include <QTimer>
#include <QUrl>

namespace Web {

namespace {

constexpr int maxRedirects = 10;

QMutex sharedLock;
Config::Settings sharedSettings;
QAtomicInteger<int> sharedGeneration{1};

struct ThreadState
{
    Config::Settings settings;
    int generation = 0;
};

QThreadStorage<ThreadState *> threadState;
QThreadStorage<NetworkAccess *> threadInstance;

// This thread's copy of the settings, refreshed when configure() has run since.
ThreadState &currentState()
{
    if (!threadState.hasLocalData())
        threadState.setLocalData(new ThreadState);
    ThreadState *state = threadState.localData();
    if (state->generation != sharedGeneration.loadAcquire()) {
        QMutexLocker lock(&sharedLock);
        state->settings = sharedSettings;
        state->generation = sharedGeneration.loadRelaxed();
    }
    return *state;
}

// Follows the system configuration (http_proxy and friends) for this instance only, without
// changing the application-wide proxy.
class SystemProxyFactory : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        return systemProxyForQuery(query);
    }
};

// The answer to an address we never fetch: it fails as soon as the caller's loop runs.
class RefusedReply : public QNetworkReply
{
public:
    RefusedReply(QNetworkAccessManager::Operation op, const QNetworkRequest &request, QObject *parent)
        : QNetworkReply(parent)
    {
        setRequest(request);
        setUrl(request.url());
        setOperation(op);
        setOpenMode(QIODevice::ReadOnly);
        const QString reason = QStringLiteral("Only http and https addresses are fetched: \"%1\"")
                                   .arg(request.url().toDisplayString());
        setError(ProtocolUnknownError, reason);
        QTimer::singleShot(0, this, [this] {
            setFinished(true);
            emit errorOccurred(ProtocolUnknownError);
            emit finished();
        });
    }
    void abort() override {}
    qint64 bytesAvailable() const override { return 0; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
};

} // namespace

NetworkAccess::NetworkAccess(QObject *parent) : QNetworkAccessManager(parent)
{
    setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

NetworkAccess &NetworkAccess::forThread()
{
    // QThreadStorage deletes the instance when its thread ends, the main thread's with the application.
    if (!threadInstance.hasLocalData())
        threadInstance.setLocalData(new NetworkAccess);
    return *threadInstance.localData();
}

void NetworkAccess::configure(const Config::Settings &settings)
{
    {
        QMutexLocker lock(&sharedLock);
        sharedSettings = settings;
        sharedGeneration.fetchAndAddOrdered(1);
    }
    currentState();
}

const Config::Settings &NetworkAccess::settings()
{
    return currentState().settings;
}

bool NetworkAccess::isFetchable(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme();
    return scheme == u"http" || scheme == u"https";
}

QNetworkReply *NetworkAccess::createRequest(Operation op, const QNetworkRequest &request,
                                            QIODevice *outgoingData)
{
    if (!isFetchable(request.url()))
        return new RefusedReply(op, request, this);

    const ThreadState &state = currentState();
    if (m_appliedGeneration != state.generation) {
        m_appliedGeneration = state.generation;
        QString proxyText = state.settings.proxy.trimmed();
        if (!proxyText.isEmpty() && !proxyText.contains(QLatin1String("://")))
            proxyText.prepend(QLatin1String("http://"));
        const QUrl proxyUrl(proxyText, QUrl::TolerantMode);
        if (proxyUrl.isValid() && !proxyUrl.host().isEmpty()) {
            setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, proxyUrl.host(), quint16(proxyUrl.port(8080)),
                                   proxyUrl.userName(), proxyUrl.password()));
        } else {
            setProxyFactory(new SystemProxyFactory);
        }
    }

    QNetworkRequest req(request);
    // A caller that names itself on purpose (requests to the web archive) keeps its name.
    if (!req.hasRawHeader("User-Agent"))
        req.setHeader(QNetworkRequest::UserAgentHeader, state.settings.userAgent);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    req.setMaximumRedirectsAllowed(maxRedirects);
    if (req.transferTimeout() == 0)
        req.setTransferTimeout(state.settings.timeoutSeconds * 1000);
    return QNetworkAccessManager::createRequest(op, req, outgoingData);
}

bool isFollowedRedirect(const QNetworkReply &reply, int status)
{
    const bool redirect = status == 301 || status == 302 || status == 303 || status == 305 || status == 307
                          || status == 308;
    return redirect && reply.hasRawHeader("Location")
           && reply.request().attribute(QNetworkRequest::RedirectPolicyAttribute).toInt()
                  != QNetworkRequest::ManualRedirectPolicy;
}

} // namespace Web
