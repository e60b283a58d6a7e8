#pragma once

#include "extract/extraction.h"
#include "extract/road.h"

#include <QString>
#include <optional>

namespace Cli {

// What zavlen-get reports for one address: the fields as cut, before any shortening for display.
struct Record
{
    QString address;
    std::optional<Extract::Service> service; // nullopt when no service could be told
    bool ok = false;
    QString video;
    QString cover;  // empty (null in JSON) when it is no address worth loading
    QString avatar;
    QString author;
    QString description;
    QString date;
    bool verified = false;
    std::optional<QString> error; // the status-line message the window would show, or our own
    std::optional<Extract::Archived> archived; // set when the result came from the web archive

    // What plain output prints and --download fetches: the archived file when there is one.
    QString videoToFetch() const { return archived && !archived->video.isEmpty() ? archived->video : video; }
};

inline const QString errorUnknownService = Extract::statusUnknownService;

// The fields of a finished extraction, from the slots each service leaves them in.
Record recordFromResult(const QString &address, Extract::Service service, const Extract::Result &result);

// The whole road of one address, the window's own. Blocking; runs on any thread (the fetches use
// that thread's network access point). The record keeps the text as given as its address.
Record extractAddress(const QString &address, std::optional<Extract::Service> site, const Config::Settings &cfg);
Record recordFromRoad(const QString &text, const Extract::RoadResult &road);

} // namespace Cli
