#pragma once

#include <QString>

#include <chrono>
#include <string>

namespace Bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One line of the summary, "NAME: ratio X (target Y)"; a later report of the same name wins.
void reportRatio(const std::string &name, double ratio, const std::string &target);

// One line of the summary for a figure of its own, "NAME: VALUE UNIT (target Y)".
void reportFigure(const std::string &name, double value, const std::string &unit, const std::string &target);

// Google Benchmark's run, then the summary lines.
int main(int argc, char **argv);

QString sourceDir();
QString binaryDir();

} // namespace Bench
