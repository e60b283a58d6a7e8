// zavlen-bench-qt-fetch: what Qt's network access alone costs a batch. Eight threads, each with
// a QNetworkAccessManager of its own as zavlen-get's jobs have, fetch the addresses of a list
// through a proxy, one after another, and decode each page as UTF-8: no extraction, no second
// request, no output. A line of the batch benchmark, so that its ratio against curl can be read
// against the part of it that the library takes.
// Usage: zavlen-bench-qt-fetch PROXY LIST
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

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

    std::atomic<int> next{0};
    std::atomic<int> failed{0};
    std::vector<std::unique_ptr<QThread>> jobs;
    for (int j = 0; j < 8; ++j) {
        jobs.emplace_back(QThread::create([&] {
            QNetworkAccessManager access;
            access.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, proxy.host(), quint16(proxy.port(8080))));
            for (int i; (i = next++) < addresses.size();) {
                std::unique_ptr<QNetworkReply> reply(
                    access.get(QNetworkRequest(QUrl(QString::fromUtf8(addresses.at(i))))));
                QEventLoop loop;
                QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
                if (!reply->isFinished())
                    loop.exec();
                const QString page = QString::fromUtf8(reply->readAll());
                if (reply->error() != QNetworkReply::NoError || page.isEmpty())
                    ++failed;
            }
        }));
        jobs.back()->start();
    }
    for (const auto &job : jobs)
        job->wait();
    if (failed > 0) {
        std::fprintf(stderr, "zavlen-bench-qt-fetch: %d of %lld fetches failed\n", failed.load(),
                     static_cast<long long>(addresses.size()));
        return 1;
    }
    return 0;
}
