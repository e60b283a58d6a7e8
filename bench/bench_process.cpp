// The programs as users start them: the window's start-up, zavlen-get on one page and on a
// batch, and a large download, each against a baseline run in the same loop.
#include "benchutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <algorithm>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace {

struct Run
{
    double seconds = 0;
    int exitCode = -1;
    bool ok = false;
    QByteArray err;
};

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

QProcessEnvironment childEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        env.remove(QString::fromLatin1(name));
    QDir(scratch().path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(scratch().filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch().filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), scratch().filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

Run run(const QString &program, const QStringList &args, const QString &stdinFile = {}, int timeoutMs = 600000)
{
    QProcess p;
    p.setProcessEnvironment(childEnvironment());
    p.setStandardOutputFile(QProcess::nullDevice());
    if (!stdinFile.isEmpty())
        p.setStandardInputFile(stdinFile);
    const auto t0 = Bench::Clock::now();
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(10000))
        return r;
    r.ok = p.waitForFinished(timeoutMs);
    r.seconds = Bench::secondsSince(t0);
    if (!r.ok) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitCode();
    r.ok = p.exitStatus() == QProcess::NormalExit;
    r.err = p.readAllStandardError();
    return r;
}

QString tool(const char *name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

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

    bool start()
    {
        process.setProcessEnvironment(childEnvironment());
        process.start(Bench::binaryDir() + QStringLiteral("/zavlen-bench-server"), {});
        if (!process.waitForStarted(10000))
            return false;
        for (;;) {
            if (!process.canReadLine() && !process.waitForReadyRead(20000))
                return false;
            while (process.canReadLine()) {
                const QStringList f = QString::fromUtf8(process.readLine().trimmed()).split(u' ');
                if (f.value(0) == u"port")
                    proxy = QStringLiteral("http://127.0.0.1:") + f.value(1);
                else if (f.value(0) == u"address") {
                    addresses.append(f.value(2));
                    byService[f.value(1)] = f.value(2);
                }
                else if (f.value(0) == u"bigpage")
                    bigPages[f.value(1).toInt()] = {f.value(2), f.value(3)};
                else if (f.value(0) == u"ready")
                    return !proxy.isEmpty();
            }
        }
    }
    ~Server()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished();
        }
    }
};

Server *runningServer = nullptr;

void stopServer()
{
    delete std::exchange(runningServer, nullptr);
}

Server *server()
{
    static const bool started = [] {
        auto created = std::make_unique<Server>();
        if (!created->start())
            return false;
        runningServer = created.release();
        // Run as the application ends, whether the benchmarks passed or failed.
        qAddPostRoutine(stopServer);
        return true;
    }();
    return started ? runningServer : nullptr;
}

const QString zavlenGet = QStringLiteral(ZAVLEN_GET_PATH);

void startup(benchmark::State &state)
{
#ifdef ZAVLEN_VIDEO_PATH
    const QString window = QStringLiteral(ZAVLEN_VIDEO_PATH);
    const QString bare = Bench::binaryDir() + QStringLiteral("/zavlen-bench-bare-window");
    double work = 0;
    double base = 0;
    for (auto _ : state) {
        const Run w = run(window, {QStringLiteral("--demo"), QStringLiteral("--quit-after-first-paint")}, {}, 30000);
        const Run b = run(bare, {}, {}, 30000);
        if (!w.ok || w.exitCode != 0 || !b.ok || b.exitCode != 0) {
            state.SkipWithError("the window did not quit after its first paint (--quit-after-first-paint)");
            return;
        }
        work += w.seconds;
        base += b.seconds;
        state.SetIterationTime(w.seconds);
    }
    Bench::reportRatio("startup", work / base, "<= 1.5");
#else
    state.SkipWithError("built without the window");
#endif
}

void onePage(benchmark::State &state)
{
    Server *s = server();
    if (!s || s->addresses.isEmpty()) {
        state.SkipWithError("bench server did not start");
        return;
    }
    const QString curl = tool("curl");
    // Meipai's sample: one page, no second request.
    const QString address = s->byService.value(QStringLiteral("meipai"));
    double work = 0;
    double base = 0;
    for (auto _ : state) {
        const Run z = run(zavlenGet, {QStringLiteral("--proxy"), s->proxy, address});
        const Run c = run(curl, {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                 QStringLiteral("-x"), s->proxy, address});
        if (!z.ok || z.exitCode != 0 || !c.ok || c.exitCode != 0) {
            state.SkipWithError(QByteArray("one page failed: " + z.err).constData());
            return;
        }
        work += z.seconds;
        base += c.seconds;
        state.SetIterationTime(z.seconds);
    }
    Bench::reportRatio("cli-one-page", work / base, "<= 2");
}

void batch(benchmark::State &state)
{
    Server *s = server();
    if (!s || s->addresses.isEmpty()) {
        state.SkipWithError("bench server did not start");
        return;
    }
    const QString list = scratch().filePath(QStringLiteral("addresses.txt"));
    {
        QFile f(list);
        if (!f.open(QIODevice::WriteOnly))
            return state.SkipWithError("cannot write the address list");
        for (int i = 0; i < 1000; ++i)
            f.write(s->addresses.at(i % s->addresses.size()).toUtf8() + '\n');
    }
    const QString xargs = tool("xargs");
    const QString curl = tool("curl");
    double work = 0;
    double base = 0;
    for (auto _ : state) {
        const Run z = run(zavlenGet, {QStringLiteral("--jobs"), QStringLiteral("8"), QStringLiteral("--quiet"),
                                      QStringLiteral("--proxy"), s->proxy, QStringLiteral("-a"), list});
        const Run c = run(xargs, {QStringLiteral("-P"), QStringLiteral("8"), QStringLiteral("-n"), QStringLiteral("1"),
                                  curl, QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                  QStringLiteral("-x"), s->proxy},
                          list);
        if (!z.ok || z.exitCode != 0 || !c.ok || c.exitCode != 0) {
            state.SkipWithError(QByteArray("batch failed: " + z.err.left(500)).constData());
            return;
        }
        work += z.seconds;
        base += c.seconds;
        state.SetIterationTime(z.seconds);
    }
    Bench::reportRatio("cli-batch-1000-jobs8", work / base, "<= 1.2");
}

// Peak resident memory of one zavlen-get download, through /usr/bin/time.
std::optional<long> downloadRss(Server *s, int mb, const QString &dir)
{
    const Run r = run(QStringLiteral("/usr/bin/time"),
                      {QStringLiteral("-f"), QStringLiteral("maxrss %M"), zavlenGet, QStringLiteral("--download"),
                       QStringLiteral("--quiet"), QStringLiteral("-o"), dir, QStringLiteral("--proxy"), s->proxy,
                       s->bigPages.value(mb).first});
    QDir(dir).removeRecursively();
    const qsizetype at = r.err.lastIndexOf("maxrss ");
    if (!r.ok || r.exitCode != 0 || at < 0)
        return std::nullopt;
    return r.err.mid(at + 7).trimmed().toLong();
}

void download(benchmark::State &state)
{
    Server *s = server();
    if (!s || !s->bigPages.contains(256)) {
        state.SkipWithError("bench server did not start");
        return;
    }
    const QString curl = tool("curl");
    const QString dir = scratch().filePath(QStringLiteral("download"));
    const QString curlFile = scratch().filePath(QStringLiteral("curl.bin"));
    const auto [page, video] = s->bigPages.value(256);
    double work = 0;
    double base = 0;
    for (auto _ : state) {
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        const Run z = run(zavlenGet, {QStringLiteral("--download"), QStringLiteral("--quiet"), QStringLiteral("-o"),
                                      dir, QStringLiteral("--proxy"), s->proxy, page});
        const qint64 got = QDir(dir).entryInfoList(QDir::Files).value(0).size();
        QDir(dir).removeRecursively();
        const Run c = run(curl, {QStringLiteral("-s"), QStringLiteral("-o"), curlFile, QStringLiteral("-x"),
                                 s->proxy, video});
        QFile::remove(curlFile);
        if (!z.ok || z.exitCode != 0 || !c.ok || c.exitCode != 0 || got != 256LL * 1024 * 1024) {
            state.SkipWithError(QByteArray("download failed: " + z.err.left(500)).constData());
            return;
        }
        work += z.seconds;
        base += c.seconds;
        state.SetIterationTime(z.seconds);
    }
    state.SetBytesProcessed(state.iterations() * 256LL * 1024 * 1024);
    // Throughput ratio: curl's time over ours.
    Bench::reportRatio("download-256MB-throughput", base / work, ">= 0.9");

    // One peak depends on how far the network ran ahead of the disk: the median of three.
    const auto medianRss = [&](int mb) -> std::optional<long> {
        std::vector<long> seen;
        for (int i = 0; i < 3; ++i) {
            QDir().mkpath(dir);
            if (const std::optional<long> rss = downloadRss(s, mb, dir))
                seen.push_back(*rss);
        }
        if (seen.size() != 3)
            return std::nullopt;
        std::sort(seen.begin(), seen.end());
        return seen[1];
    };
    const std::optional<long> small = medianRss(64);
    const std::optional<long> large = medianRss(256);
    if (small && large) {
        state.counters["rss64_kB"] = double(*small);
        state.counters["rss256_kB"] = double(*large);
        Bench::reportRatio("download-peak-rss-256MB-vs-64MB", double(*large) / double(*small), "about 1.0");
    }
}

} // namespace

BENCHMARK(startup)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(onePage)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(batch)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(download)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return Bench::main(argc, argv);
}
