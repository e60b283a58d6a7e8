#pragma once

#include <QNetworkAccessManager>

namespace Config {
struct Network;
struct Settings;
}

namespace Web {

// The one network access point: user agent, redirect policy, transfer time limit, proxy and
// scheme check for every request the program makes. One instance per thread.
class NetworkAccess : public QNetworkAccessManager
{
    Q_OBJECT
public:
    explicit NetworkAccess(QObject *parent = nullptr);

    // The calling thread's instance, created on first use with the current settings.
    static NetworkAccess &forThread();
    // The one way settings reach the access point: every instance takes them up before its next
    // request.
    static void configure(const Config::Settings &settings);
    // The limits this instance applies (time limit, size cap, user agent), as of now.
    const Config::Network &network();

    static bool isFetchable(const QUrl &url);

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &request,
                                 QIODevice *outgoingData = nullptr) override;

private:
    int m_appliedGeneration = 0;
};

// The program's own name after the configured user agent: the web archive is always told who asks.
QString namedUserAgent(const QString &userAgent);

// A host that names this machine or a private network by itself: "localhost", or a loopback,
// link-local, private or unspecified IPv4 or IPv6 literal. A page must not send us there.
bool isLocalHost(const QString &host);

// Why the access point stopped a reply at a redirect it would not follow: to this machine or a
// private network (unless network/allowLocalAddresses), or from https down to http. Such a reply
// ends as aborted (OperationCanceledError) before any request goes to the refused address.
enum class RedirectRefusal { None, Insecure, Local };
RedirectRefusal redirectRefusal(const QNetworkReply &reply);
// What the user is told of it, for messages in English.
QString redirectRefusalText(const QNetworkReply &reply);

// Qt follows these by itself and marks the answer (RedirectionTargetAttribute) only when it does
// not, so a redirect under way looks like any other answer until the next one arrives.
bool isFollowedRedirect(const QNetworkReply &reply, int status);

} // namespace Web
