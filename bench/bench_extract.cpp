// Cutting: a whole extraction (cutting and display texts, no network) over a realistic 200 KB
// page, against one QString::indexOf pass over the same page for a text it does not hold; and the
// page as it arrives, in UTF-8 bytes, cut on its bytes against decoded whole and then cut.
#include "benchutil.h"
#include "config/settings.h"
#include "os/system.h"
#include "pages.h"
#include "web/decode.h"

#include <benchmark/benchmark.h>
#include <algorithm>
#include <cstdio>
#include <vector>

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
    // The page as zavlen-get receives it: cut on its bytes, or decoded whole and then cut.
    const QByteArray bytes = page.toUtf8();
    const QByteArray type = "text/html; charset=utf-8";
    double onBytes = 0;
    double decoded = 0;
    for (int i = 0; i < 200; ++i) {
        auto t0 = Bench::Clock::now();
        Extract::Result b = Extract::extract(service, sample.address, Extract::PageBody{bytes, type}, fetch, cfg);
        benchmark::DoNotOptimize(b);
        onBytes += Bench::secondsSince(t0);
        t0 = Bench::Clock::now();
        Extract::Result d = Extract::extract(service, sample.address, Web::decodeBody(bytes, type), fetch, cfg);
        benchmark::DoNotOptimize(d);
        decoded += Bench::secondsSince(t0);
        if (b.slot[2] != d.slot[2])
            return state.SkipWithError("cutting on bytes found another video");
    }
    state.counters["bytes_us"] = 1e6 * onBytes / 200;
    state.counters["decoded_us"] = 1e6 * decoded / 200;
    Bench::reportRatio("cutting-bytes-vs-decoded-" + Extract::serviceKey(service).toStdString(), onBytes / decoded,
                       "none stated");
    state.counters["page_bytes"] = double(bytes.size());
    state.counters["found"] = small.found() ? 1 : 0;
    state.counters["indexOf_passes"] = work / base;
    Bench::reportRatio("cutting-" + Extract::serviceKey(service).toStdString(), work / base, "<= 10");
}

// A page's JSON state that is huge, deep or merely large: each must end within a second, the
// first two refused before they are parsed.
void hostileStates(benchmark::State &state)
{
    const Config::Settings cfg;
    const QString address = QStringLiteral("http://m.meipai.com/media/1");
    const QString video = QStringLiteral("\"video\":\"6a0aHR0cDovL212dmlkZW8xLm1laXR1ZGF0YS5jb20vMS5tcDQ=\"");
    const QList<std::pair<std::string, QString>> pages{
        {"hostile-state-10MB-seconds",
         QStringLiteral("{\"mediaInfo\":{%1,\"x\":\"%2\"}}").arg(video, QString(10 * 1024 * 1024, u'a'))},
        {"hostile-state-100000-deep-seconds",
         QStringLiteral("{\"mediaInfo\":{%1,\"x\":%2%3}}").arg(video, QString(100000, u'['), QString(100000, u']'))},
        {"largest-state-4MB-seconds",
         QStringLiteral("{\"mediaInfo\":{%1,\"x\":\"%2\"}}").arg(video, QString(4 * 1024 * 1024 - 200, u'a'))}};
    for (auto _ : state) {
        for (const auto &[name, json] : pages) {
            const QString page = QStringLiteral("<script>window.PHPDATA = %1;</script>").arg(json);
            std::vector<double> runs;
            for (int i = 0; i < 5; ++i) {
                const auto t0 = Bench::Clock::now();
                Extract::Result r = Extract::extract(Extract::Service::Meipai, address, page, {}, cfg);
                benchmark::DoNotOptimize(r);
                runs.push_back(Bench::secondsSince(t0));
            }
            std::sort(runs.begin(), runs.end());
            Bench::reportRatio(name, runs[runs.size() / 2], "< 1");
        }
    }
}

} // namespace

BENCHMARK(hostileStates)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(cutting, weishi, Extract::Service::Weishi)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(cutting, meipai, Extract::Service::Meipai)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(cutting, kuaishou, Extract::Service::Kuaishou)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(cutting, miaopai, Extract::Service::Miaopai)->UseManualTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    // As zavlen-get and the window run their extractions.
    Os::keepFreedMemory();
    return Bench::main(argc, argv);
}
