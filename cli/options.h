#pragma once

#include "config/settings.h"
#include "extract/extraction.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace Cli {

struct Options
{
    std::optional<Extract::Service> site; // nullopt: tell the service from each address
    bool json = false;
    QString batchFile;                    // empty: none; "-": standard input
    int jobs = 4;
    bool download = false;
    QString outputDir = QStringLiteral(".");
    bool quiet = false;
    bool refresh = false;                 // ask the archive again, replacing what the cache kept
    QString downloadArchive;              // empty: none
    QStringList addresses;                // from the command line, as given
};

struct ParseOutcome
{
    enum class Action { Run, Help, Version, UsageError };
    Action action = Action::UsageError;
    Options options;
    Config::Settings settings;
    QString text; // help text, or the usage error
};

inline constexpr int maxJobs = 64;

// argv (program name first) to what to do. Reads the INI file the options name, nothing else.
ParseOutcome parseArguments(const QStringList &arguments);

} // namespace Cli
