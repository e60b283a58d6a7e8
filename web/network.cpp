#include "web/network.h"

#include "config/settings.h"
#include "os/system.h"

#include <QAtomicInteger>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QThreadStorage>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace Web {

namespace {

constexpr int maxRedirects = 10;
// On a reply: the address of its latest hop, and why it was stopped at the next one.
const char *const hopProperty = "zavlenHop";
const char *const refusalProperty = "zavlenRedirectRefusal";
const QString programName = QStringLiteral(ZAVLEN_PROGRAM_NAME);

QMutex sharedLock;
Config::Settings sharedSettings;
QAtomicInteger<int> sharedGeneration{1};

struct ThreadState
{
    Config::Settings settings;
    QStringList archiveHosts; // every request to these names the program
    int generation = 0;
};

QStringList archiveHostsOf(const Config::Settings &s)
{
    QStringList hosts;
    for (const QString &address : {s.archive.indexUrl, s.archive.replayUrl}) {
        const QString host = QUrl(address, QUrl::TolerantMode).host().toLower();
        if (!host.isEmpty() && !hosts.contains(host))
            hosts.append(host);
    }
    return hosts;
}

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
        state->archiveHosts = archiveHostsOf(sharedSettings);
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
        return Os::systemProxy(query);
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

RedirectRefusal judgeRedirect(const QUrl &from, const QUrl &to, bool allowLocal)
{
    if (from.scheme() == u"https" && to.scheme() == u"http")
        return RedirectRefusal::Insecure;
    if (!allowLocal && isLocalHost(to.host()))
        return RedirectRefusal::Local;
    return RedirectRefusal::None;
}

// Qt asks before each hop; the rule for the addresses a page names holds for every hop, so a
// public address cannot send us to this machine or into the user's network.
void verifyRedirects(QNetworkReply *reply, bool allowLocal)
{
    reply->setProperty(hopProperty, reply->request().url());
    QObject::connect(reply, &QNetworkReply::redirected, reply, [reply, allowLocal](const QUrl &to) {
        const QUrl from = reply->property(hopProperty).toUrl();
        const RedirectRefusal refusal = judgeRedirect(from, from.resolved(to), allowLocal);
        if (refusal == RedirectRefusal::None) {
            reply->setProperty(hopProperty, from.resolved(to));
            emit reply->redirectAllowed();
            // Qt (6.4) connects redirectAllowed to its next hop once more at every hop, without
            // dropping the earlier connections: the third hop would be taken twice and the reply
            // end with an empty "100" answer. Each connection is dropped once it has served.
            QObject::disconnect(reply, &QNetworkReply::redirectAllowed, nullptr, nullptr);
            return;
        }
        reply->setProperty(refusalProperty, int(refusal));
        reply->setProperty(hopProperty, from.resolved(to));
        // Not from inside the reply's own notification.
        QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
    });
}

} // namespace

NetworkAccess::NetworkAccess(QObject *parent) : QNetworkAccessManager(parent)
{
    setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
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

const Config::Network &NetworkAccess::network()
{
    return currentState().settings.network;
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
        QString proxyText = state.settings.network.proxy.trimmed();
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
    if (!req.hasRawHeader("User-Agent")) {
        const bool archive = state.archiveHosts.contains(req.url().host().toLower());
        req.setHeader(QNetworkRequest::UserAgentHeader,
                      archive ? namedUserAgent(state.settings.network.userAgent) : state.settings.network.userAgent);
    }
    // A caller that judges every hop itself follows none; for everyone else each hop is judged here.
    const QVariant policy = req.attribute(QNetworkRequest::RedirectPolicyAttribute);
    const bool manual = policy.isValid() && policy.toInt() == QNetworkRequest::ManualRedirectPolicy;
    if (!manual)
        req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    req.setMaximumRedirectsAllowed(maxRedirects);
    if (req.transferTimeout() == 0)
        req.setTransferTimeout(state.settings.network.timeoutSeconds * 1000);
    QNetworkReply *reply = QNetworkAccessManager::createRequest(op, req, outgoingData);
    if (!manual)
        verifyRedirects(reply, state.settings.network.allowLocalAddresses);
    return reply;
}

RedirectRefusal redirectRefusal(const QNetworkReply &reply)
{
    const QVariant refusal = reply.property(refusalProperty);
    return refusal.isValid() ? RedirectRefusal(refusal.toInt()) : RedirectRefusal::None;
}

QString redirectRefusalText(const QNetworkReply &reply)
{
    const QString to = reply.property(hopProperty).toUrl().toDisplayString();
    switch (redirectRefusal(reply)) {
    case RedirectRefusal::Insecure:
        return QStringLiteral("Refused a redirect from https to http: \"%1\"").arg(to);
    case RedirectRefusal::Local:
        return QStringLiteral("Refused a redirect to this machine or a private network: \"%1\"").arg(to);
    case RedirectRefusal::None:
        break;
    }
    return QString();
}

QString namedUserAgent(const QString &userAgent)
{
    if (userAgent.contains(programName.section(u'/', 0, 0)))
        return userAgent;
    return userAgent.isEmpty() ? programName : userAgent + u' ' + programName;
}

bool isLocalHost(const QString &host)
{
    QString name = host.toLower();
    if (name.endsWith(u'.'))
        name.chop(1);
    if (name == u"localhost" || name.endsWith(QLatin1String(".localhost")))
        return true;
    QHostAddress address;
    if (!address.setAddress(name))
        return false;
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (address.protocol() == QAbstractSocket::IPv4Protocol || mapped) {
        const auto in = [v4](quint32 network, int bits) { return (v4 >> (32 - bits)) == (network >> (32 - bits)); };
        return in(0x00000000, 8) || in(0x7f000000, 8) || in(0x0a000000, 8) || in(0xac100000, 12)
               || in(0xc0a80000, 16) || in(0xa9fe0000, 16) || in(0x64400000, 10);
    }
    const Q_IPV6ADDR v6 = address.toIPv6Address();
    const bool unspecified = std::all_of(std::begin(v6.c), std::end(v6.c), [](quint8 b) { return b == 0; });
    return unspecified || address.isLoopback() || (v6[0] == 0xfe && (v6[1] & 0xc0) == 0x80) // link-local
           || (v6[0] & 0xfe) == 0xfc                                                       // unique local
           || (v6[0] == 0xfe && (v6[1] & 0xc0) == 0xc0);                                   // site-local
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
