// zavlen-get against web archives on the benchmarks' server: what an index answer far larger
// than the limit asked for costs the client, beside an archive that has nothing.
#include "benchutil.h"
#include "children.h"

#include <benchmark/benchmark.h>
#include <algorithm>
#include <optional>
#include <vector>

namespace {

using Bench::Run;

const QString zavlenGet = QStringLiteral(ZAVLEN_GET_PATH);

struct Cost
{
    double wall = 0;  // s
    double cpu = 0;   // s, user and system
    double rssMb = 0; // peak
};

// One lookup of the lost page in `index`'s archive, the cache aside: every run asks the index.
std::optional<Cost> lookup(const Bench::Server &s, const Bench::ArchiveIndex &index)
{
    const Run r = Bench::run(
        zavlenGet,
        {QStringLiteral("--quiet"), QStringLiteral("--no-cache"), QStringLiteral("--json"), QStringLiteral("--proxy"),
         s.proxy, QStringLiteral("--set"), QStringLiteral("archive/cdx=") + index.indexUrl, QStringLiteral("--set"),
         QStringLiteral("archive/replay=") + index.replayUrl, QStringLiteral("--set"),
         QStringLiteral("archive/indexPerMinute=6000"), QStringLiteral("--set"),
         QStringLiteral("archive/replayPerMinute=6000"), s.lostPage});
    // The lost page has no capture in either archive: exit status 1 is the expected outcome.
    if (!r.ok || r.exitCode != 1)
        return std::nullopt;
    return Cost{r.seconds, r.cpuSeconds, double(r.maxRssKb) / 1024};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void largeIndex(benchmark::State &state)
{
    const Bench::Server *s = Bench::server();
    if (!s || !s->indexes.contains(QStringLiteral("empty")) || !s->indexes.contains(QStringLiteral("rows200000"))) {
        state.SkipWithError("no benchmark server: run bench/run");
        return;
    }
    const Bench::ArchiveIndex &empty = s->indexes.value(QStringLiteral("empty"));
    const Bench::ArchiveIndex &large = s->indexes.value(QStringLiteral("rows200000"));
    std::vector<double> wall[2], cpu[2], rss[2];
    for (auto _ : state) {
        const std::optional<Cost> e = lookup(*s, empty);
        const std::optional<Cost> l = lookup(*s, large);
        if (!e || !l) {
            state.SkipWithError("a lookup failed");
            return;
        }
        for (const auto &[i, c] : {std::pair(0, *e), std::pair(1, *l)}) {
            wall[i].push_back(c.wall);
            cpu[i].push_back(c.cpu);
            rss[i].push_back(c.rssMb);
        }
        state.SetIterationTime(l->wall);
    }
    state.counters["index_MB"] = double(large.bytes) / 1e6;
    state.counters["empty_wall_s"] = median(wall[0]);
    state.counters["large_wall_s"] = median(wall[1]);
    state.counters["empty_cpu_s"] = median(cpu[0]);
    state.counters["large_cpu_s"] = median(cpu[1]);
    state.counters["empty_rss_MB"] = median(rss[0]);
    state.counters["large_rss_MB"] = median(rss[1]);
    Bench::reportFigure("archive-index-200000-rows-extra-cpu", median(cpu[1]) - median(cpu[0]), "s", "< 1");
    Bench::reportFigure("archive-index-200000-rows-extra-wall", median(wall[1]) - median(wall[0]), "s", "< 1");
    Bench::reportFigure("archive-index-200000-rows-extra-rss", median(rss[1]) - median(rss[0]), "MB", "< 40");
}

} // namespace

BENCHMARK(largeIndex)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return Bench::main(argc, argv);
}
