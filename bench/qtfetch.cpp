// zavlen-bench-qt-fetch: what Qt's network access alone costs a batch, at its cheapest. One
// QNetworkAccessManager, as zavlen-get's shared network thread has, keeps 8 requests of a list in
// flight through a proxy and reads each answer whole when it is finished: no extraction, no
// decoding, no time limits or size caps, no output. A line of the batch benchmark, so that its
// ratio against curl can be read against the part of it that the library takes.
// Usage: zavlen-bench-qt-fetch PROXY LIST
#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QUrl>

#include <cstdio>
#include <functional>

int main(int argc, char *argv[])
{
    // As zavlen-get does: Qt's own event dispatcher, not glib's.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fputs("usage: zavlen-bench-qt-fetch PROXY LIST\n", stderr);
        return 2;
    }
    const QUrl proxy(args.at(1));
    QFile list(args.at(2));
    if (!proxy.isValid() || !list.open(QIODevice::ReadOnly)) {
        std::fputs("zavlen-bench-qt-fetch: bad proxy or unreadable list\n", stderr);
        return 2;
    }
    QList<QByteArray> addresses = list.readAll().split('\n');
    addresses.removeAll(QByteArray());
    if (addresses.isEmpty())
        return 0;

    QNetworkAccessManager access;
    access.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, proxy.host(), quint16(proxy.port(8080))));
    qsizetype next = 0;
    qsizetype done = 0;
    int failed = 0;
    std::function<void()> startNext = [&] {
        if (next >= addresses.size())
            return;
        QNetworkReply *reply = access.get(QNetworkRequest(QUrl(QString::fromUtf8(addresses.at(next++)))));
        QObject::connect(reply, &QNetworkReply::finished, &app, [&, reply] {
            if (reply->error() != QNetworkReply::NoError || reply->readAll().isEmpty())
                ++failed;
            reply->deleteLater();
            if (++done == addresses.size())
                QCoreApplication::quit();
            else
                startNext();
        });
    };
    for (int i = 0; i < 8; ++i)
        startNext();
    app.exec();
    if (failed > 0) {
        std::fprintf(stderr, "zavlen-bench-qt-fetch: %d of %lld fetches failed\n", failed,
                     static_cast<long long>(addresses.size()));
        return 1;
    }
    return 0;
}
