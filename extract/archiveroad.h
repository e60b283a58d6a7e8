#pragma once

#include "extract/road.h"

#include <optional>

// The road's part in the web archive, beside the live road in road.cpp.
namespace Extract {

// A found video on this machine or a private network is refused; pictures there are not loaded.
// A failed extraction loads no picture at all.
void judgeAddresses(Result &result, const Config::Settings &cfg);

struct ArchiveOutcome
{
    std::optional<Result> result;
    std::optional<Archived> archived;
    Web::ArchiveProblem problem = Web::ArchiveProblem::None;
    bool anyPage = false; // some capture's page arrived, even though none counted
    bool unsafe = false;  // some capture's video was refused
};

// The captures of the page at `address` tried nearest first, its further requests and its video
// file found in the archive as well, within the pace and the address's budget.
ArchiveOutcome archiveRoad(Service service, const QString &address, const Config::Settings &cfg,
                           const Web::FetchFunction &fetch, const RoadHooks &hooks);

} // namespace Extract
