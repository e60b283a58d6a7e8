// Cutting: a whole extraction (cutting and display texts, no network) over a realistic 200 KB
// page, against one QString::indexOf pass over the same page for a text it does not hold.
#include "benchutil.h"
#include "config/settings.h"
#include "extract/memory.h"
#include "pages.h"

#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

constexpr qsizetype pageBytes = 200 * 1024;
const QString absent = QStringLiteral("zavlen-absent");

void cutting(benchmark::State &state, Extract::Service service)
{
    const Config::Settings cfg;
    Bench::SamplePage sample;
    for (const Bench::SamplePage &p : Bench::samplePages()) {
        if (p.service == service)
            sample = p;
    }
    if (sample.page.isEmpty()) {
        state.SkipWithError("sample page missing");
        return;
    }
    const QString answer = sample.endpointAnswer;
    const Extract::FetchFn fetch = [&answer](const QString &) { return std::optional<QString>(answer); };
    const Extract::Result small = Extract::extract(service, sample.address, sample.page, fetch, cfg);

    const Bench::GrownPage grown =
        Bench::grownKeepingFields(service, sample.address, sample.page, fetch, cfg, pageBytes);
    if (!grown.sameFields)
        std::fprintf(stderr, "note: the grown %s page yields other fields than the sample\n",
                     qPrintable(Extract::serviceKey(service)));
    const QString &page = grown.page;
    if (page.contains(absent)) {
        state.SkipWithError("baseline text occurs in the page");
        return;
    }

    double work = 0;
    double base = 0;
    for (auto _ : state) {
        auto t0 = Bench::Clock::now();
        Extract::Result r = Extract::extract(service, sample.address, page, fetch, cfg);
        benchmark::DoNotOptimize(r);
        const double w = Bench::secondsSince(t0);
        t0 = Bench::Clock::now();
        qsizetype at = page.indexOf(absent);
        benchmark::DoNotOptimize(at);
        base += Bench::secondsSince(t0);
        work += w;
        state.SetIterationTime(w);
    }
    state.counters["page_bytes"] = double(page.toUtf8().size());
    state.counters["found"] = small.found() ? 1 : 0;
    state.counters["indexOf_passes"] = work / base;
    Bench::reportRatio("cutting-" + Extract::serviceKey(service).toStdString(), work / base, "<= 10");
}

} // namespace

BENCHMARK_CAPTURE(cutting, weishi, Extract::Service::Weishi)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(cutting, meipai, Extract::Service::Meipai)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(cutting, kuaishou, Extract::Service::Kuaishou)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(cutting, miaopai, Extract::Service::Miaopai)->UseManualTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    // As zavlen-get and the window run their extractions.
    Extract::keepFreedMemory();
    return Bench::main(argc, argv);
}
