#include "benchutil.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>

namespace Bench {

namespace {

struct Line
{
    double value;
    std::string unit; // empty: a ratio
    std::string target;
};

std::map<std::string, Line> &lines()
{
    static std::map<std::string, Line> r;
    return r;
}

} // namespace

void reportRatio(const std::string &name, double ratio, const std::string &target)
{
    lines()[name] = {ratio, {}, target};
}

void reportFigure(const std::string &name, double value, const std::string &unit, const std::string &target)
{
    lines()[name] = {value, unit, target};
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
    for (const auto &[name, line] : lines()) {
        if (line.unit.empty())
            std::printf("%s: ratio %.2f (target %s)\n", name.c_str(), line.value, line.target.c_str());
        else
            std::printf("%s: %.2f %s (target %s)\n", name.c_str(), line.value, line.unit.c_str(), line.target.c_str());
    }
    return 0;
}

} // namespace Bench
