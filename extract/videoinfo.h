#pragma once

#include "extract/extraction.h"

#include <QString>
#include <optional>

namespace Extract {

// Where an archived result came from.
struct Archived
{
    QString timestamp; // yyyyMMddhhmmss of the capture
    QString page;      // replay address of the captured page
    QString video;     // replay address of the archived video file; empty when the archive has none
    QString cover;     // replay address of the cover; empty when there is none worth loading
};

// What a front end shows or writes of one extraction: the fields as the page has them, before
// the window's shortening. The window's display rules still read the slots themselves.
struct VideoInfo
{
    Service service = Service::Weishi;
    QString page;        // the address the page was asked for
    QString video;       // as the page names it
    QString cover;       // empty when there is no address worth loading
    QString avatar;      // the same
    QString author;
    QString description;
    QString date;
    bool dateFromFileName = false; // the page gave no date: it is the time in the video's file name
    bool verified = false;
    std::optional<Archived> archived;

    // What preview, download and copy act on: the archived file when the archive has it.
    QString videoToFetch() const;
    // Where the cover is to be had: from the archive for an archived result.
    QString coverToFetch() const;
};

// The fields of `result`, from the slots `service` leaves them in.
VideoInfo videoInfo(Service service, const QString &page, const Result &result,
                    const std::optional<Archived> &archived = std::nullopt);

} // namespace Extract
