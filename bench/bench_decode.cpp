// Decoding of fetched bodies (UTF-8 and GBK) per MB, against QString::fromUtf8 of the same bytes.
#include "benchutil.h"
#include "pages.h"
#include "web/decode.h"

#include <QStringEncoder>

#include <benchmark/benchmark.h>

namespace {

constexpr qsizetype megabyte = 1024 * 1024;

QString megabytePage()
{
    const QList<Bench::SamplePage> samples = Bench::samplePages();
    return Bench::grownPage(samples.value(0).page, megabyte, false);
}

void decoding(benchmark::State &state, const char *encoding, QByteArray contentType)
{
    const QString text = megabytePage();
    QByteArray bytes;
    if (qstrcmp(encoding, "UTF-8") == 0) {
        bytes = text.toUtf8();
    } else {
        QStringEncoder enc(encoding);
        bytes = enc.encode(text);
    }
    bytes.truncate(megabyte);

    double work = 0;
    double base = 0;
    for (auto _ : state) {
        auto t0 = Bench::Clock::now();
        QString decoded = Web::decodeBody(bytes, contentType);
        benchmark::DoNotOptimize(decoded);
        const double w = Bench::secondsSince(t0);
        t0 = Bench::Clock::now();
        QString plain = QString::fromUtf8(bytes);
        benchmark::DoNotOptimize(plain);
        base += Bench::secondsSince(t0);
        work += w;
        state.SetIterationTime(w);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
    state.counters["vs_fromUtf8"] = work / base;
    const QByteArray label = QByteArray(encoding).toLower() +
                             QByteArray(contentType.contains("charset") ? "-header" : "-meta");
    Bench::reportRatio("decoding-" + label.toStdString(), work / base, "none stated");
}

} // namespace

BENCHMARK_CAPTURE(decoding, utf8_header, "UTF-8", QByteArray("text/html; charset=utf-8"))
    ->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(decoding, utf8_meta, "UTF-8", QByteArray("text/html"))
    ->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(decoding, gbk_header, "GBK", QByteArray("text/html; charset=GBK"))
    ->UseManualTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    return Bench::main(argc, argv);
}
