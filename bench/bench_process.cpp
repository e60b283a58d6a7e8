// The programs as users start them: the window's start-up, zavlen-get on one page and on a
// batch (its time and its peak memory), and a large download, each against a baseline run in
// the same loop.
#include "benchutil.h"
#include "children.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>
#include <algorithm>
#include <optional>
#include <vector>

namespace {

using Bench::Run;
using Bench::Server;
using Bench::run;
using Bench::scratch;
using Bench::server;
using Bench::tool;

const QString zavlenGet = QStringLiteral(ZAVLEN_GET_PATH);

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Per-run figures of a program and its baseline, run in turn; the ratios are of the medians.
struct Pairing
{
    std::vector<double> wall, cpu, baseWall, baseCpu;

    void add(const Run &ours, const Run &base)
    {
        wall.push_back(ours.seconds);
        cpu.push_back(ours.cpuSeconds);
        baseWall.push_back(base.seconds);
        baseCpu.push_back(base.cpuSeconds);
    }
    double wallRatio() const { return median(wall) / median(baseWall); }
    double cpuRatio() const { return median(cpu) / median(baseCpu); }
    void count(benchmark::State &state, const char *baseName) const
    {
        state.counters["wall_ms"] = 1000 * median(wall);
        state.counters["cpu_ms"] = 1000 * median(cpu);
        state.counters[std::string(baseName) + "_wall_ms"] = 1000 * median(baseWall);
        state.counters[std::string(baseName) + "_cpu_ms"] = 1000 * median(baseCpu);
    }
};
const QString qtFetch = Bench::binaryDir() + QStringLiteral("/zavlen-bench-qt-fetch");

void startup(benchmark::State &state)
{
#ifdef ZAVLEN_VIDEO_PATH
    const QString window = QStringLiteral(ZAVLEN_VIDEO_PATH);
    const QString bare = Bench::binaryDir() + QStringLiteral("/zavlen-bench-bare-window");
    const QStringList windowArgs{QStringLiteral("--demo"), QStringLiteral("--quit-after-first-paint")};
    // Untimed starts of each first: right after a build or another benchmark, the first few pay
    // for files and memory the system has not handed out lately, and most for the largest program.
    for (int i = 0; i < 3; ++i) {
        run(window, windowArgs, {}, 30000);
        run(bare, {}, {}, 30000);
        run(bare, {QStringLiteral("--empty")}, {}, 30000);
    }
    double work = 0;
    double text = 0;
    double empty = 0;
    for (auto _ : state) {
        const Run w = run(window, windowArgs, {}, 30000);
        const Run t = run(bare, {}, {}, 30000);
        const Run e = run(bare, {QStringLiteral("--empty")}, {}, 30000);
        if (!w.ok || w.exitCode != 0 || !t.ok || t.exitCode != 0 || !e.ok || e.exitCode != 0) {
            state.SkipWithError("the window did not quit after its first paint (--quit-after-first-paint)");
            return;
        }
        work += w.seconds;
        text += t.seconds;
        empty += e.seconds;
        state.SetIterationTime(w.seconds);
    }
    state.counters["text_window_ms"] = 1000 * text / double(state.iterations());
    state.counters["empty_window_ms"] = 1000 * empty / double(state.iterations());
    Bench::reportRatio("startup", work / text, "<= 1.5");
    Bench::reportRatio("startup-vs-empty-window", work / empty, "none stated");
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
    Pairing p;
    for (int i = 0; i < 3; ++i)
        run(zavlenGet, {QStringLiteral("--proxy"), s->proxy, address});
    for (auto _ : state) {
        const Run z = run(zavlenGet, {QStringLiteral("--proxy"), s->proxy, address});
        const Run c = run(curl, {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                 QStringLiteral("-x"), s->proxy, address});
        if (!z.ok || z.exitCode != 0 || !c.ok || c.exitCode != 0) {
            state.SkipWithError(QByteArray("one page failed: " + z.err).constData());
            return;
        }
        p.add(z, c);
        state.SetIterationTime(z.seconds);
    }
    p.count(state, "curl");
    Bench::reportRatio("cli-one-page", p.wallRatio(), "<= 1.15");
    Bench::reportRatio("cli-one-page-cpu", p.cpuRatio(), "none stated");
}

// `count` sample addresses, one a line, and the same list as a curl configuration.
struct AddressList
{
    QString lines;
    QString curlConfig;
};

std::optional<AddressList> writeAddressList(const Server &s, int count)
{
    const QString stem = scratch().filePath(QStringLiteral("addresses-%1").arg(count));
    AddressList list{stem + QStringLiteral(".txt"), stem + QStringLiteral(".curl")};
    QFile lines(list.lines);
    QFile config(list.curlConfig);
    if (!lines.open(QIODevice::WriteOnly) || !config.open(QIODevice::WriteOnly))
        return std::nullopt;
    for (int i = 0; i < count; ++i) {
        const QByteArray address = s.addresses.at(i % s.addresses.size()).toUtf8();
        lines.write(address + '\n');
        config.write("url = \"" + address + "\"\noutput = \"/dev/null\"\n");
    }
    return list;
}

QStringList batchArguments(const Server &s, const QString &list)
{
    return {QStringLiteral("--jobs"), QStringLiteral("8"), QStringLiteral("--quiet"),
            QStringLiteral("--proxy"), s.proxy,             QStringLiteral("-a"), list};
}

void batch(benchmark::State &state)
{
    Server *s = server();
    if (!s || s->addresses.isEmpty()) {
        state.SkipWithError("bench server did not start");
        return;
    }
    const std::optional<AddressList> list = writeAddressList(*s, 1000);
    if (!list)
        return state.SkipWithError("cannot write the address list");
    const QString xargs = tool("xargs");
    const QString curl = tool("curl");
    Pairing vsParallel;
    Pairing vsPerProcess;
    Pairing qtVsParallel;
    const QStringList zavlenArgs = batchArguments(*s, list->lines);
    // One process, 8 transfers at once, connections reused where the server allows it.
    const QStringList curlArgs{QStringLiteral("--parallel"), QStringLiteral("--parallel-max"), QStringLiteral("8"),
                               QStringLiteral("-s"),         QStringLiteral("-x"),             s->proxy,
                               QStringLiteral("-K"),         list->curlConfig};
    const QStringList xargsArgs{QStringLiteral("-P"), QStringLiteral("8"), QStringLiteral("-n"), QStringLiteral("1"),
                                curl, QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                QStringLiteral("-x"), s->proxy};
    // Interleaved: whatever the machine does meanwhile falls on both clients alike. The thousand
    // curl processes of xargs churn the machine's memory and caches for whatever runs next: they
    // run on their own afterwards.
    std::vector<Run> ours;
    for (auto _ : state) {
        const Run z = run(zavlenGet, zavlenArgs);
        const Run c = run(curl, curlArgs);
        const Run q = run(qtFetch, {s->proxy, list->lines});
        if (!z.ok || z.exitCode != 0 || !c.ok || c.exitCode != 0 || !q.ok || q.exitCode != 0) {
            state.SkipWithError(
                QByteArray("batch failed: " + z.err.left(500) + c.err.left(200) + q.err.left(200)).constData());
            return;
        }
        vsParallel.add(z, c);
        qtVsParallel.add(q, c);
        ours.push_back(z);
        state.SetIterationTime(z.seconds);
    }
    for (const Run &z : ours) {
        const Run x = run(xargs, xargsArgs, list->lines);
        if (!x.ok || x.exitCode != 0)
            return state.SkipWithError("xargs -n 1 curl failed");
        vsPerProcess.add(z, x);
    }
    vsParallel.count(state, "curl_parallel");
    state.counters["xargs_n1_ms"] = 1000 * median(vsPerProcess.baseWall);
    state.counters["qt_fetch_ms"] = 1000 * median(qtVsParallel.wall);
    state.counters["qt_fetch_cpu_ms"] = 1000 * median(qtVsParallel.cpu);
    state.counters["page_kB"] = double(s->pageBytes) / double(s->addresses.size()) / 1024;
    Bench::reportRatio("cli-batch-1000-jobs8", vsParallel.wallRatio(), "<= 1.6");
    Bench::reportRatio("cli-batch-1000-jobs8-cpu", vsParallel.cpuRatio(), "<= 2.5");
    Bench::reportRatio("cli-batch-1000-jobs8-vs-xargs-n1", vsPerProcess.wallRatio(), "<= 1.2");
    // How much of the ratios above the library takes: Qt's fetching and decoding alone against curl.
    Bench::reportRatio("cli-batch-qt-fetch-only-vs-curl-parallel", qtVsParallel.wallRatio(), "none stated");
    Bench::reportRatio("cli-batch-qt-fetch-only-vs-curl-parallel-cpu", qtVsParallel.cpuRatio(), "none stated");
}

// Peak resident memory of zavlen-get over a batch of `count` addresses, as wait4 reports it;
// the median of three runs.
std::optional<long> batchRss(const Server &s, int count)
{
    const std::optional<AddressList> list = writeAddressList(s, count);
    if (!list)
        return std::nullopt;
    std::vector<long> seen;
    for (int i = 0; i < 3; ++i) {
        const Run r = run(zavlenGet, batchArguments(s, list->lines));
        if (!r.ok || r.exitCode != 0)
            return std::nullopt;
        seen.push_back(r.maxRssKb);
    }
    std::sort(seen.begin(), seen.end());
    return seen[1];
}

void batchMemory(benchmark::State &state)
{
    Server *s = server();
    if (!s || s->addresses.isEmpty()) {
        state.SkipWithError("bench server did not start");
        return;
    }
    std::optional<long> small;
    std::optional<long> large;
    for (auto _ : state) {
        small = batchRss(*s, 100);
        large = batchRss(*s, 5000);
        if (!small || !large) {
            state.SkipWithError("a batch failed");
            return;
        }
    }
    state.counters["rss100_kB"] = double(*small);
    state.counters["rss5000_kB"] = double(*large);
    Bench::reportRatio("cli-batch-peak-rss-5000-vs-100", double(*large) / double(*small), "<= 1.5");
}

// Peak resident memory of one zavlen-get download.
std::optional<long> downloadRss(Server *s, int mb, const QString &dir)
{
    const Run r = run(zavlenGet, {QStringLiteral("--download"), QStringLiteral("--quiet"), QStringLiteral("-o"), dir,
                                  QStringLiteral("--proxy"), s->proxy, s->bigPages.value(mb).first});
    QDir(dir).removeRecursively();
    if (!r.ok || r.exitCode != 0)
        return std::nullopt;
    return r.maxRssKb;
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

BENCHMARK(startup)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(onePage)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(batch)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK(batchMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(download)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return Bench::main(argc, argv);
}
