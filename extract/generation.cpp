#include "extract/generation.h"

#include "extract/service.h"

namespace Extract {

namespace {

std::span<const Generation> laterOf(const ServiceRow &row)
{
    return row.later ? row.later() : std::span<const Generation>();
}

} // namespace

const Generation *laterGenerationOf(const ServiceRow &row, const QString &address, const Config::Settings &cfg)
{
    // As the first checks read them, scheme and host count as the services wrote them, in lower case.
    const qsizetype slashes = address.indexOf(u"//");
    const qsizetype path = slashes < 0 ? -1 : address.indexOf(u'/', slashes + 2);
    const QString head = address.left(path < 0 ? address.size() : path);
    if (!(address.startsWith(u"http://") || address.startsWith(u"https://")) || head != head.toLower())
        return nullptr;
    for (const Generation &g : laterOf(row)) {
        if (g.takes(address, cfg))
            return &g;
    }
    return nullptr;
}

bool onlyLaterTakes(const ServiceRow &row, const QString &address, const Config::Settings &cfg)
{
    return laterGenerationOf(row, address, cfg) && row.check && row.check(address, cfg);
}

const Generation *generationReading(const ServiceRow &row, const QString &address, const Slots &s,
                                    const Config::Settings &cfg)
{
    for (const Generation &g : laterOf(row)) {
        if (g.takes(address, cfg) && (!g.recognises || g.recognises(s, address, cfg)))
            return &g;
    }
    return nullptr;
}

std::optional<Web::PathLookup> pageLookup(Service service, const QString &address, const Config::Settings &cfg)
{
    const ServiceRow &row = serviceRow(service);
    if (!onlyLaterTakes(row, address, cfg))
        return std::nullopt;
    return Web::pathLookup(Web::PathLookup::Kind::Page, address, laterGenerationOf(row, address, cfg)->pageParameters);
}

std::optional<Web::PathLookup> answerLookup(Service service, const QString &url, const Config::Settings &cfg)
{
    for (const Generation &g : laterOf(serviceRow(service))) {
        if (g.asks && g.asks(url, cfg))
            return Web::pathLookup(Web::PathLookup::Kind::Answer, url, g.lastingParameters);
    }
    return std::nullopt;
}

} // namespace Extract
