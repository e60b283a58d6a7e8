#pragma once

#include "extract/extraction.h"
#include "extract/road.h"
#include "extract/videoinfo.h"

#include <QString>
#include <optional>

namespace Cli {

// What zavlen-get reports for one address.
struct Record
{
    QString address;                         // the text as given
    std::optional<Extract::Service> service; // nullopt when no service could be told
    Extract::Outcome outcome = Extract::Outcome::NoVideo;
    std::optional<QString> error;            // the status-line message the window would show, or our own
    Extract::VideoInfo info;                 // the fields as cut, before any shortening for display
    bool skipped = false;                    // in the download archive: done by an earlier run, not asked

    bool ok() const { return outcome == Extract::Outcome::Done; }
};

// The command line's own words for an address no service's checks take.
inline const QString errorUnknownService = QStringLiteral(
    "cannot tell the service of this address; it matches none of weishi, meipai, kuaishou, miaopai");

// What ends an address a signal stopped before it was done.
inline const QString errorInterrupted = QStringLiteral("已中断");
inline const QString noteInDownloadArchive = QStringLiteral("already in the download archive");

// A failed record for a line that was never an address.
Record refusedRecord(const QString &address, const QString &error);

// The whole road of one address, the window's own. Blocking; runs on any thread (the fetches use
// that thread's network access point). The record keeps the text as given as its address.
Record extractAddress(const QString &address, std::optional<Extract::Service> site, const Config::Settings &cfg,
                      const Web::CancelToken *cancel = nullptr);
Record recordFromRoad(const QString &text, const Extract::RoadResult &road);

} // namespace Cli
