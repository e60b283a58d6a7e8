#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpServer>

// A server that answers every connection with exactly the bytes it is given: for answers no
// well-behaved server would send (broken status lines, lying lengths, endless streams).
class RawServer : public QObject
{
    Q_OBJECT
public:
    enum class Ending { Close, KeepOpen, Abort };

    explicit RawServer(QObject *parent = nullptr);

    bool listen();
    quint16 port() const;
    QString proxyUrl() const;

    // `head` goes out once the request has arrived; then `repeat` is written `repeatCount` times,
    // each time the previous piece has drained, and the connection ends as told.
    void setAnswer(const QByteArray &head, Ending ending, const QByteArray &repeat = {}, int repeatCount = 0);

    int connections() const { return m_connections; }

private:
    void onConnection();

    QTcpServer m_server;
    QByteArray m_head;
    QByteArray m_repeat;
    int m_repeatCount = 0;
    Ending m_ending = Ending::Close;
    int m_connections = 0;
};
