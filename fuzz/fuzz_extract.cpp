#include "config/settings.h"
#include "extract/extraction.h"
#include "fuzzcommon.h"
#include "web/decode.h"

// One target per service: ZAVLEN_FUZZ_SERVICE names it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const Config::Settings cfg;
    constexpr auto service = Extract::Service(ZAVLEN_FUZZ_SERVICE);
    const QList<QByteArray> in = Fuzz::parts(data, size, 3);
    const QString address = QString::fromUtf8(in.value(0));
    const QString page = QString::fromUtf8(in.value(1));
    const bool answered = in.size() > 2;
    const QString answer = QString::fromUtf8(in.value(2));
    if (page.isEmpty())
        return 0;

    int fetches = 0;
    const Extract::FetchFn fetch = [&](const QString &) -> std::optional<QString> {
        ++fetches;
        return answered ? std::optional<QString>(answer) : std::nullopt;
    };
    const Extract::Result r = Extract::extract(service, address, page, fetch, cfg);
    Fuzz::require(r.status == Extract::statusDone || r.status == Extract::statusNoVideo
                      || r.status == Extract::statusUnreadable,
                  "status");
    Fuzz::require(r.found() == (r.status == Extract::statusDone), "found agrees with status");
    Fuzz::require(r.slot[0] == page, "slot 0 holds the page");
    Fuzz::require(fetches <= 1, "at most one second request");
    Fuzz::require(r.display.badge >= -1 && r.display.badge <= 2, "badge index");

    // Nothing survives from one extraction into the next.
    const Extract::Result again = Extract::extract(service, address, page, fetch, cfg);
    Fuzz::require(again.slot == r.slot, "same input, same slots");
    Fuzz::require(again.display.author == r.display.author && again.display.date == r.display.date &&
                      again.display.description == r.display.description,
                  "same input, same display");

    // The page's own bytes, cut without decoding them whole where they are UTF-8: the same result.
    const Extract::Result cut = Extract::extract(service, address, Extract::PageBody{in.value(1), {}}, fetch, cfg);
    Fuzz::require(cut.slot == Extract::extract(service, address, Web::decodeBody(in.value(1), {}), fetch, cfg).slot,
                  "cut on bytes, same slots");
    return 0;
}
