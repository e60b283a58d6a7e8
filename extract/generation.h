#pragma once

#include "extract/extraction.h"
#include "web/archive.h"

#include <QLatin1String>
#include <QStringList>

namespace Config {
struct Settings;
}

namespace Extract {

// What a reader of a later generation works with, and what it says beyond the slots.
struct Reading
{
    Slots &s;              // slot 0 holds the page; the reader fills the service's field slots, 2 and 4
    const QString &address;
    const FetchFn &fetch;  // its further requests (an answer the page's script would have asked for)
    const Config::Settings &cfg;
    bool unreadable = false;       // the page's data are there but are no JSON, too large or too deep
    bool dateFromFileName = false; // the page gives no date: the time in the file's name stands in
};

// A page generation of a service after its first: the addresses it served, how its pages are
// told apart, and how one is read into the same slots the first generation's cut fills. The
// first generation is the service row's own check and cut, and reads every page that no later
// generation claims.
struct Generation
{
    QLatin1String name;
    // Whether `address` is of the addresses this generation served. Addresses the first
    // generation's checks refuse pass them when a later generation takes them.
    bool (*takes)(const QString &address, const Config::Settings &cfg);
    // Whether the page (slot 0) at such an address is of this generation; null: every page is.
    // It is asked before the first generation's cut, so it reads the slots without decoding them.
    bool (*recognises)(const Slots &s, const QString &address, const Config::Settings &cfg);
    void (*read)(Reading &r);
    // The page's identifier in an address this generation takes (Meipai's media number).
    QString (*pageId)(const QString &address, const Config::Settings &cfg);
    // The query parameters that name the page in an address only this generation serves; the
    // archive finds the page by its path and these, the rest of a share's query being tracking.
    QStringList pageParameters = {};
    // A further request of this generation's pages whose address changes from visit to visit
    // (a random callback): whether `url` is one; the archive finds it by its path and the
    // parameters that stay.
    bool (*asks)(const QString &url, const Config::Settings &cfg) = nullptr;
    QStringList lastingParameters = {};
    // Share links: addresses whose answer only sends the visitor on to a page another generation
    // reads. They are followed as the service redirects them, live or through the archive's
    // capture of the redirect; this generation reads no page itself.
    bool redirects = false;
    // Where the page of an address this generation takes is asked, when not at the address
    // itself; null: at the address.
    QString (*pageAt)(const QString &address, const Config::Settings &cfg) = nullptr;
};

struct ServiceRow;

// The first later generation that takes `address`; null when none does.
const Generation *laterGenerationOf(const ServiceRow &row, const QString &address, const Config::Settings &cfg);
// Whether the address is one only a later generation serves, not the first generation's checks.
bool onlyLaterTakes(const ServiceRow &row, const QString &address, const Config::Settings &cfg);
// The later generation that reads the page in `s` at `address`; null: the first generation's cut.
const Generation *generationReading(const ServiceRow &row, const QString &address, const Slots &s,
                                    const Config::Settings &cfg);

// Whether `address` is a share link of the service, to be followed to its page.
bool isShareLink(Service service, const QString &address, const Config::Settings &cfg);
// Where the page at `address` is asked: the address itself, or where its generation keeps it.
QString pageAddress(Service service, const QString &address, const Config::Settings &cfg);
// Whether an address a share link led to is a page of the service at all: one its first
// generation's checks pass or a later generation reads.
bool isPageOf(Service service, const QString &address, const Config::Settings &cfg);

// How the archive is asked for the page at `address` when only a later generation serves it:
// by its path. nullopt: by the address itself, as the first generation's pages always are.
std::optional<Web::PathLookup> pageLookup(Service service, const QString &address, const Config::Settings &cfg);
// How the archive is asked for `url`, a further request of a page, when its address changes from
// visit to visit; nullopt: by the address itself.
std::optional<Web::PathLookup> answerLookup(Service service, const QString &url, const Config::Settings &cfg);

} // namespace Extract
