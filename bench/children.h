#pragma once

// The child processes of the process benchmarks: the programs measured, their baselines and the
// loopback server they all fetch from.
#include <QByteArray>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace Bench {

struct Run
{
    double seconds = 0;    // wall
    double cpuSeconds = 0; // the child's and its waited-for children's, user and system
    long maxRssKb = 0;
    int exitCode = -1;
    bool ok = false;
    QByteArray err;
};

// A folder for the run's files, gone when the run ends.
QTemporaryDir &scratch();

// `program` to its end, standard output discarded, standard input from `stdinFile` when given,
// in an environment without proxy variables and with the offscreen platform; ok when it exited
// (rather than was killed) within `timeoutMs`.
Run run(const QString &program, const QStringList &args, const QString &stdinFile = {}, int timeoutMs = 600000);

// A program on the PATH.
QString tool(const char *name);

// An archive on the server whose index answers with `rows` rows.
struct ArchiveIndex
{
    QString indexUrl;
    QString replayUrl;
    int rows = 0;
    qint64 bytes = 0;
};

// The web server bench/run started (nginx, in a process of its own) and the site it serves, as
// zavlen-bench-site laid it out: ZAVLEN_BENCH_PROXY and ZAVLEN_BENCH_SITE name them.
struct Server
{
    QString proxy;
    QStringList addresses;
    QMap<QString, QString> byService;
    QMap<int, QPair<QString, QString>> bigPages; // MB -> page, video address
    QMap<QString, ArchiveIndex> indexes;         // "empty", "rows200000"
    QString lostPage;                            // the live site does not have it
    qint64 pageBytes = 0; // of all sample pages together

    bool read();
};

// The run's server; nullptr when bench/run did not start one.
Server *server();

} // namespace Bench
