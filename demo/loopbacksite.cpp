#include "demo/loopbacksite.h"

#include "demo/httphead.h"
#include "os/system.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace Demo {

namespace {

constexpr qsizetype maxRequestHead = 64 * 1024;
constexpr qint64 streamChunk = 64 * 1024;
// Keep this much queued in the socket while streaming, so a large body never sits in memory.
constexpr qint64 queueLimit = 256 * 1024;
constexpr int resetDelayMs = 50;

Response notFound()
{
    Response r;
    r.status = 404;
    r.body = "<html><head><title>404 Not Found</title></head>"
             "<body><h1>404 Not Found</h1><p>The page you asked for is not here.</p></body></html>";
    return r;
}

// Where the body of one answer comes from: fixed bytes or the generated pattern.
struct BodySource
{
    QByteArray fixed;
    qint64 generated = -1;

    qint64 size() const { return generated >= 0 ? generated : fixed.size(); }
    QByteArray chunk(qint64 offset, qint64 length) const
    {
        if (generated >= 0)
            return LoopbackSite::generatedBytes(offset, length);
        return fixed.mid(offset, length);
    }
};

// One accepted connection: reads one request, answers it, closes.
class Connection : public QObject
{
public:
    using Resolve = std::function<Response(const Request &)>;

    Connection(QTcpSocket *socket, Resolve resolve, QObject *parent)
        : QObject(parent), m_socket(socket), m_resolve(std::move(resolve))
    {
        m_socket->setParent(this);
        connect(m_socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        connect(m_socket, &QTcpSocket::bytesWritten, this, [this] { pump(); });
        connect(m_socket, &QTcpSocket::disconnected, this, [this] { finish(); });
        connect(m_socket, &QTcpSocket::errorOccurred, this, [this] {
            if (m_socket->state() == QAbstractSocket::UnconnectedState)
                finish();
        });
        connect(&m_slowTimer, &QTimer::timeout, this, [this] { writeSome(m_slowChunk); });
    }

    void shutdown()
    {
        m_slowTimer.stop();
        disconnect(m_socket, nullptr, this, nullptr);
        m_socket->abort();
    }

private:
    enum class End { Close, Reset, Hold };

    void onReadyRead()
    {
        if (m_answered) {
            m_socket->readAll();
            return;
        }
        m_buffer += m_socket->readAll();
        const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            if (m_buffer.size() > maxRequestHead)
                m_socket->abort();
            return;
        }
        m_answered = true;
        const std::optional<Request> req = parseHead(m_buffer.left(headEnd));
        m_buffer.clear();
        if (!req) {
            m_socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            m_socket->disconnectFromHost();
            return;
        }
        answer(*req, m_resolve(*req));
    }

    // If-Range: a part only of the version the client names by its ETag or Last-Modified.
    static bool sameVersion(const Request &req, const Response &resp)
    {
        const QByteArray wanted = req.headers.value("if-range").trimmed();
        if (wanted.isEmpty())
            return true;
        for (const auto &[name, value] : resp.headers) {
            const QByteArray header = name.toLower();
            if ((header == "etag" && wanted.startsWith('"')) || (header == "last-modified" && !wanted.startsWith('"')))
                return value.trimmed() == wanted;
        }
        return false;
    }

    void answer(const Request &req, const Response &resp)
    {
        using B = Response::Behaviour;
        if (resp.behaviour == B::Never) {
            m_end = End::Hold;
            return;
        }
        m_source.fixed = resp.body;
        m_source.generated = resp.generatedSize;
        const qint64 total = m_source.size();

        int status = resp.status;
        qint64 from = 0;
        QByteArray extra;
        const QByteArray range = req.headers.value("range").trimmed();
        if (status == 200 && resp.acceptRanges && range.startsWith("bytes=") && range.endsWith('-')
            && sameVersion(req, resp)) {
            bool ok = false;
            const qint64 start = range.mid(6, range.size() - 7).toLongLong(&ok);
            if (ok && start < total) {
                status = 206;
                from = start;
                extra += "Content-Range: bytes " + QByteArray::number(start) + '-' +
                         QByteArray::number(total - 1) + '/' + QByteArray::number(total) + "\r\n";
            } else if (ok) {
                status = 416;
                from = total;
                extra += "Content-Range: bytes */" + QByteArray::number(total) + "\r\n";
            }
        }
        const qint64 length = total - from;

        QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
        if (!resp.contentType.isEmpty())
            head += "Content-Type: " + resp.contentType + "\r\n";
        head += "Content-Length: " + QByteArray::number(length) + "\r\nConnection: close\r\n";
        if (resp.acceptRanges)
            head += "Accept-Ranges: bytes\r\n";
        head += extra;
        for (const auto &[name, value] : resp.headers)
            head += name + ": " + value + "\r\n";
        head += "\r\n";
        m_socket->write(head);

        m_pos = from;
        m_stop = req.method == "HEAD" ? from : total;
        m_end = End::Close;
        if (resp.behaviour == B::Reset || resp.behaviour == B::ShortBody)
            m_stop = from + length / 2;
        if (resp.behaviour == B::Reset)
            m_end = End::Reset;
        if (resp.behaviour == B::Slow) {
            m_slowChunk = std::max(1, resp.slowChunkBytes);
            m_slowTimer.start(std::max(1, resp.slowDelayMs));
            return;
        }
        pump();
    }

    void writeSome(qint64 limit)
    {
        const qint64 n = std::min(limit, m_stop - m_pos);
        if (n > 0) {
            m_socket->write(m_source.chunk(m_pos, n));
            m_pos += n;
        }
        if (m_pos >= m_stop)
            complete();
    }

    // Keeps the socket's queue short: the next chunk goes out as the previous one drains.
    void pump()
    {
        if (m_done || m_end == End::Hold || m_slowTimer.isActive())
            return;
        while (!m_done && m_socket->bytesToWrite() < queueLimit)
            writeSome(streamChunk);
    }

    void complete()
    {
        if (m_done)
            return;
        m_done = true;
        m_slowTimer.stop();
        if (m_end == End::Close) {
            m_socket->disconnectFromHost();
            return;
        }
        // Give the client the headers and partial body before the connection breaks.
        QPointer<QTcpSocket> socket = m_socket;
        QTimer::singleShot(resetDelayMs, this, [socket] {
            if (!socket)
                return;
            socket->flush();
            Os::resetOnClose(socket->socketDescriptor());
            socket->abort();
        });
    }

    void finish()
    {
        m_slowTimer.stop();
        deleteLater();
    }

    QTcpSocket *m_socket;
    Resolve m_resolve;
    QByteArray m_buffer;
    BodySource m_source;
    QTimer m_slowTimer;
    qint64 m_pos = 0;
    qint64 m_stop = 0;
    qint64 m_slowChunk = 512;
    End m_end = End::Close;
    bool m_answered = false;
    bool m_done = false;
};

} // namespace

Response Response::redirect(const QByteArray &location, int status)
{
    Response r;
    r.status = status;
    r.contentType.clear();
    r.acceptRanges = false;
    r.headers.append({QByteArrayLiteral("Location"), location});
    return r;
}

struct LoopbackSite::Private
{
    QTcpServer *server = nullptr;
    QHash<QString, Response> routes;
    QList<Handler> handlers;
    QList<Request> requests;
    QList<QPointer<Connection>> connections;
    std::function<void()> prepare;
};

LoopbackSite::LoopbackSite(QObject *parent) : QObject(parent), d(new Private)
{
    d->server = new QTcpServer(this);
    connect(d->server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = d->server->nextPendingConnection()) {
            auto resolve = [this](const Request &req) {
                if (std::function<void()> prepare = std::exchange(d->prepare, nullptr))
                    prepare();
                d->requests.append(req);
                // A copy: a handler may change the list while it answers.
                const QList<Handler> handlers = d->handlers;
                for (const Handler &handler : handlers) {
                    if (std::optional<Response> r = handler(req))
                        return *r;
                }
                const auto it = d->routes.constFind(req.host + u'\n' + req.path);
                return it != d->routes.cend() ? *it : notFound();
            };
            d->connections.removeAll(nullptr);
            d->connections.append(new Connection(socket, resolve, this));
        }
    });
}

LoopbackSite::~LoopbackSite()
{
    for (const QPointer<Connection> &c : std::as_const(d->connections)) {
        if (c) {
            c->shutdown();
            delete c.data();
        }
    }
    delete d->server;
    delete d;
}

bool LoopbackSite::listen(quint16 port)
{
    return d->server->listen(QHostAddress::LocalHost, port);
}

quint16 LoopbackSite::port() const
{
    return d->server->serverPort();
}

QNetworkProxy LoopbackSite::proxy() const
{
    return QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), port());
}

QString LoopbackSite::proxyUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void LoopbackSite::setRoute(const QString &host, const QString &path, const Response &response)
{
    d->routes.insert(host.toLower() + u'\n' + path, response);
}

void LoopbackSite::setHandler(Handler handler)
{
    d->handlers.clear();
    addHandler(std::move(handler));
}

void LoopbackSite::addHandler(Handler handler)
{
    if (handler)
        d->handlers.append(std::move(handler));
}

void LoopbackSite::forEachRoute(
    const std::function<void(const QString &host, const QString &path, const Response &)> &visit) const
{
    for (auto it = d->routes.cbegin(); it != d->routes.cend(); ++it) {
        const qsizetype cut = it.key().indexOf(u'\n');
        visit(it.key().left(cut), it.key().mid(cut + 1), it.value());
    }
}

void LoopbackSite::clearRoutes()
{
    d->routes.clear();
}

void LoopbackSite::prepareOnFirstRequest(std::function<void()> prepare)
{
    d->prepare = std::move(prepare);
}

int LoopbackSite::requestCount() const
{
    return int(d->requests.size());
}

QList<Request> LoopbackSite::requests() const
{
    return d->requests;
}

QByteArray LoopbackSite::generatedBytes(qint64 offset, qint64 length)
{
    QByteArray out;
    if (offset < 0 || length <= 0)
        return out;
    out.resize(length);
    char *p = out.data();
    for (qint64 i = 0; i < length; ++i) {
        const quint64 n = quint64(offset + i);
        // Varies within every 256-byte run and from run to run, so a shifted or repeated block shows.
        p[i] = char(quint8(n ^ ((n >> 8) * 31) ^ ((n >> 16) * 7) ^ ((n >> 24) * 3)));
    }
    return out;
}

} // namespace Demo
