#pragma once

#include "extract/extraction.h"

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
    QString cover;
    QString avatar;
    QString author;
    QString description;
    QString date;
    bool verified = false;
    std::optional<QString> error; // the status-line message the window would show, or our own
};

inline const QString errorUnknownService = QStringLiteral(
    "cannot tell the service of this address; it matches none of weishi, meipai, kuaishou, miaopai");

// The fields of a finished extraction, from the slots each service leaves them in.
Record recordFromResult(const QString &address, Extract::Service service, const Extract::Result &result);

// The whole road of one address: address checks (or detection), page fetch, extraction.
// Blocking; runs on any thread (the fetches use that thread's network access point).
Record extractAddress(const QString &address, std::optional<Extract::Service> site, const Config::Settings &cfg);

} // namespace Cli
