#include "extract/extraction.h"

#include "config/settings.h"
#include "extract/sites.h"
#include "extract/textops.h"
#include "web/network.h"

#include <QUrl>

#include <algorithm>
#include <array>
#include <functional>

namespace Extract {

namespace {

struct ServiceName
{
    Service service;
    QLatin1String key;
};

const std::array<ServiceName, 5> serviceNames{{
    {Service::Weishi, QLatin1String("weishi")},
    {Service::Meipai, QLatin1String("meipai")},
    {Service::Kuaishou, QLatin1String("kuaishou")},
    {Service::Weipai, QLatin1String("weipai")},
    {Service::Miaopai, QLatin1String("miaopai")},
}};

} // namespace

std::optional<QString> commonRungs(const QString &address, const QString &askForAddress)
{
    if (address.isEmpty())
        return askForAddress;
    if (!address.contains(QLatin1String("http://")) && !address.contains(QLatin1String("https://")))
        return schemeMissing;
    return std::nullopt;
}

QString Base::removedFrom(const QString &address) const
{
    return removeAll(removeAll(address, https), http);
}

Base baseOf(const QString &hostAndPath)
{
    return {QLatin1String("http://") + hostAndPath, QLatin1String("https://") + hostAndPath};
}

QString addressIn(const QString &text)
{
    qsizetype start = text.indexOf(QLatin1String("http://"));
    const qsizetype secure = text.indexOf(QLatin1String("https://"));
    if (start < 0 || (secure >= 0 && secure < start))
        start = secure;
    if (start < 0)
        return text;
    qsizetype end = start;
    while (end < text.size()) {
        const char16_t c = text.at(end).unicode();
        if (c <= u' ' || c > u'~')
            break;
        ++end;
    }
    return text.sliced(start, end - start);
}

bool isWebAddress(const QString &address)
{
    return !address.isEmpty() && Web::NetworkAccess::isFetchable(QUrl(address, QUrl::TolerantMode));
}

bool isCompleteWebAddress(const QString &address)
{
    if (!isWebAddress(address))
        return false;
    const QString host = QUrl(address, QUrl::TolerantMode).host();
    return host.contains(u'.') || host.contains(u':');
}

bool isSafePageAddress(const QString &address, const Config::Settings &cfg)
{
    return isCompleteWebAddress(address)
           && (cfg.network.allowLocalAddresses || !Web::isLocalHost(QUrl(address, QUrl::TolerantMode).host()));
}

void Slots::setElement(std::size_t to, std::size_t from, QStringView marker, int k)
{
    const QString &source = m_texts[from];
    const std::optional<QStringView> element = elementView(source, marker, k);
    if (!element)
        return;
    // A source that is itself an element lies inside a text kept already.
    const QChar *begin = source.constData();
    const QChar *end = begin + source.size();
    const bool kept = std::any_of(m_sources.cbegin(), m_sources.cend(), [&](const QString &text) {
        return std::less_equal<>()(text.constData(), begin) && std::less_equal<>()(end, text.constData() + text.size());
    });
    if (!kept)
        m_sources.push_back(source);
    m_texts[to] = QString::fromRawData(element->data(), element->size());
}

bool Result::found() const
{
    return isWebAddress(slot[2]);
}

QString authorShown(const QString &author, int limit)
{
    if (author.size() <= limit)
        return author;
    return author.left(limit) + QLatin1String("..");
}

QString descriptionShown(const QString &description)
{
    if (description.isEmpty())
        return noDescription;
    if (description.size() > 20)
        return description.left(20) + QLatin1String("..");
    return description;
}

Display commonDisplay(const Slots &s, int authorLimit)
{
    Display d;
    d.author = authorShown(s[8], authorLimit);
    d.description = descriptionShown(s[10]);
    d.date = s[12];
    d.coverAddress = s[4];
    d.avatarAddress = s[6];
    return d;
}

bool verifiedAuthor(const Slots &s, const QString &pageMark, const QString &shownAuthor,
                    const Config::Settings &cfg)
{
    return findText(s[0], pageMark) >= 0 || (!cfg.maker.verifiedAuthor.isEmpty() && shownAuthor.contains(cfg.maker.verifiedAuthor));
}

std::optional<QString> checkAddress(Service service, const QString &text, const Config::Settings &cfg)
{
    const QString address = addressIn(text);
    switch (service) {
    case Service::Weishi:
        return Weishi::check(address, cfg);
    case Service::Meipai:
        return Meipai::check(address, cfg);
    case Service::Kuaishou:
        return Kuaishou::check(address, cfg);
    case Service::Miaopai:
        return Miaopai::check(address, cfg);
    case Service::Weipai:
        break;
    }
    return std::nullopt;
}

Result extract(Service service, const QString &address, const QString &page, const FetchFn &fetch,
               const Config::Settings &cfg)
{
    Result r;
    r.status = statusNoVideo;
    if (service == Service::Weipai)
        return r;
    if (service == Service::Miaopai)
        r.slot[20] = Miaopai::identifier(address, cfg);
    if (page.isEmpty()) {
        r.status = statusFetchFailed;
        return r;
    }
    r.slot[0] = page;

    switch (service) {
    case Service::Weishi:
        Weishi::cut(r.slot, fetch, cfg);
        r.display = Weishi::display(r.slot, cfg);
        break;
    case Service::Meipai:
        Meipai::cut(r.slot, cfg);
        r.display = Meipai::display(r.slot, cfg);
        break;
    case Service::Kuaishou:
        Kuaishou::cut(r.slot);
        r.display = Kuaishou::display(r.slot);
        break;
    case Service::Miaopai:
        Miaopai::cut(r.slot, cfg);
        r.display = Miaopai::display(r.slot, cfg);
        break;
    case Service::Weipai:
        return r;
    }
    if (r.found())
        r.status = statusDone;
    return r;
}

std::optional<Service> detectService(const QString &address, const Config::Settings &cfg)
{
    for (const Service s : {Service::Weishi, Service::Meipai, Service::Kuaishou, Service::Miaopai}) {
        if (!checkAddress(s, address, cfg))
            return s;
    }
    return std::nullopt;
}

QString serviceKey(Service service)
{
    for (const ServiceName &n : serviceNames) {
        if (n.service == service)
            return n.key;
    }
    return QString();
}

std::optional<Service> serviceFromKey(const QString &key)
{
    for (const ServiceName &n : serviceNames) {
        if (key == n.key)
            return n.service;
    }
    return std::nullopt;
}

} // namespace Extract
