#include "rawserver.h"

#include <QTcpSocket>

#include <memory>

RawServer::RawServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &RawServer::onConnection);
}

bool RawServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

quint16 RawServer::port() const
{
    return m_server.serverPort();
}

QString RawServer::proxyUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void RawServer::setAnswer(const QByteArray &head, Ending ending, const QByteArray &repeat, int repeatCount)
{
    m_head = head;
    m_ending = ending;
    m_repeat = repeat;
    m_repeatCount = repeatCount;
}

void RawServer::onConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        ++m_connections;
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto request = std::make_shared<QByteArray>();
        auto left = std::make_shared<int>(m_repeatCount);
        const QByteArray head = m_head;
        const QByteArray repeat = m_repeat;
        const Ending ending = m_ending;

        const auto finish = [socket, ending] {
            if (ending == Ending::Close)
                socket->disconnectFromHost();
            else if (ending == Ending::Abort)
                socket->abort();
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, [socket, left, repeat, finish](qint64) {
            if (socket->bytesToWrite() > 0 || *left < 0)
                return;
            if (*left == 0) {
                *left = -1;
                finish();
                return;
            }
            --*left;
            socket->write(repeat);
        });
        connect(socket, &QTcpSocket::readyRead, socket, [socket, request, head, repeat, left, finish] {
            if (request->contains("\r\n\r\n")) {
                socket->readAll(); // already answered
                return;
            }
            request->append(socket->readAll());
            if (!request->contains("\r\n\r\n"))
                return;
            if (!head.isEmpty()) {
                socket->write(head);
            } else if (*left > 0) {
                --*left;
                socket->write(repeat);
            } else {
                *left = -1;
                finish();
            }
        });
    }
}
