#include "extract/generation.h"

#include "extract/markup.h"
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
        if (g.read && g.takes(address, cfg) && (!g.recognises || g.recognises(s, address, cfg)))
            return &g;
    }
    return nullptr;
}

void put(Reading &r, const FieldSlots &at, Found found)
{
    // A page without a video of its own says nothing about one.
    if (found.video.isEmpty())
        return;
    for (QString *address : {&found.video, &found.cover, &found.avatar})
        *address = wholeAddress(*address);
    r.s[2] = found.video;
    r.s[4] = found.cover;
    r.s[std::size_t(at.avatar)] = found.avatar;
    r.s[std::size_t(at.author)] = found.author;
    r.s[std::size_t(at.description)] = found.description;
    r.s[std::size_t(at.date)] = found.date;
}

bool isShareLink(Service service, const QString &address, const Config::Settings &cfg)
{
    const Generation *g = laterGenerationOf(serviceRow(service), address, cfg);
    return g && g->redirects;
}

QString pageAddress(Service service, const QString &address, const Config::Settings &cfg)
{
    const Generation *g = laterGenerationOf(serviceRow(service), address, cfg);
    return g && g->pageAt ? g->pageAt(address, cfg) : address;
}

bool isPageOf(Service service, const QString &address, const Config::Settings &cfg)
{
    const ServiceRow &row = serviceRow(service);
    const Generation *g = laterGenerationOf(row, address, cfg);
    if (g)
        return !g->redirects;
    return row.check && !row.check(address, cfg);
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
