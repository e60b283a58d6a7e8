#pragma once

// The child processes of the process benchmarks: the programs measured, their baselines and the
// loopback server they all fetch from.
#include <QByteArray>
#include <QMap>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace Bench {

struct Run
{
    double seconds = 0;
    int exitCode = -1;
    bool ok = false;
    QByteArray err;
};

// A folder for the run's files, gone when the run ends.
QTemporaryDir &scratch();

// `program` to its end, standard output discarded, standard input from `stdinFile` when given,
// in an environment without proxy variables and with the offscreen platform.
Run run(const QString &program, const QStringList &args, const QString &stdinFile = {}, int timeoutMs = 600000);

// A program on the PATH.
QString tool(const char *name);

// The loopback server in a process of its own, started once for the whole run. Its standard
// input stays an open pipe: should this process end without stopping it, the pipe closes and the
// server ends too.
struct Server
{
    QProcess process;
    QString proxy;
    QStringList addresses;
    QMap<QString, QString> byService;
    QMap<int, QPair<QString, QString>> bigPages; // MB -> page, video address
    qint64 pageBytes = 0; // of all sample pages together

    bool start();
    ~Server();
};

// The run's server, started on first use and stopped as the application ends; nullptr when it
// did not start.
Server *server();

} // namespace Bench
