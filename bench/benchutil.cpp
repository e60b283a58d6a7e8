#include "benchutil.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>

namespace Bench {

namespace {

std::map<std::string, std::pair<double, std::string>> &ratios()
{
    static std::map<std::string, std::pair<double, std::string>> r;
    return r;
}

} // namespace

void reportRatio(const std::string &name, double ratio, const std::string &target)
{
    ratios()[name] = {ratio, target};
}

QString sourceDir()
{
    return QStringLiteral(ZAVLEN_SOURCE_DIR);
}

QString binaryDir()
{
    return QStringLiteral(ZAVLEN_BINARY_DIR);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::fflush(stdout);
    for (const auto &[name, value] : ratios())
        std::printf("%s: ratio %.2f (target %s)\n", name.c_str(), value.first, value.second.c_str());
    return 0;
}

} // namespace Bench
