#include "extract/extraction.h"

#include "config/settings.h"
#include "extract/service.h"
#include "extract/textops.h"
#include "extract/utf8check.h"
#include "web/decode.h"
#include "web/network.h"

#include <QUrl>

#include <algorithm>
#include <array>
#include <functional>

namespace Extract {

namespace {

// The hidden option button: specified, never shown, with no extractor.
const ServiceRow weipaiRow{Service::Weipai, QLatin1String("weipai"), nullptr, nullptr, nullptr, nullptr,
                           {6, 8, 10, 12}, nullptr, nullptr};

// In the order of the option buttons' indices.
const ServiceRow *const rows[] = {&Weishi::row, &Meipai::row, &Kuaishou::row, &weipaiRow, &Miaopai::row};

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
    return s.contains(0, pageMark) || (!cfg.maker.verifiedAuthor.isEmpty() && shownAuthor.contains(cfg.maker.verifiedAuthor));
}

const ServiceRow &serviceRow(Service service)
{
    return *rows[std::size_t(service)];
}

QString outcomeStatus(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Done: return statusDone;
    case Outcome::NoVideo: return statusNoVideo;
    case Outcome::FetchFailed: return statusFetchFailed;
    case Outcome::Unsafe: return statusUnsafe;
    case Outcome::ArchiveBusy: return statusArchiveBusy;
    case Outcome::ArchiveUnavailable: return statusArchiveUnavailable;
    case Outcome::ArchiveTooSlow: return statusArchiveTooSlow;
    case Outcome::Cancelled: return statusCancelled;
    case Outcome::Unreadable: return statusUnreadable;
    case Outcome::Refused:
    case Outcome::UnknownService: break;
    }
    return QString();
}

std::optional<QString> checkAddress(Service service, const QString &text, const Config::Settings &cfg)
{
    const ServiceRow &row = serviceRow(service);
    const QString address = addressIn(text);
    // Later addresses of the service pass; an address of none keeps the first checks' message.
    if (laterGenerationOf(row, address, cfg))
        return std::nullopt;
    return row.check ? row.check(address, cfg) : std::nullopt;
}

namespace {

// Cuts whatever `fill` put into slot 0 (nothing: the page is empty).
Result extractWith(Service service, const QString &address, const FetchFn &fetch, const Config::Settings &cfg,
                   bool empty, const std::function<void(Slots &)> &fill)
{
    const ServiceRow &row = serviceRow(service);
    Result r;
    r.end(Outcome::NoVideo);
    if (!row.extracts())
        return r;
    if (row.fromAddress)
        row.fromAddress(r.slot, address, cfg);
    if (empty) {
        r.end(Outcome::FetchFailed);
        return r;
    }
    fill(r.slot);
    if (const Generation *later = generationReading(row, address, r.slot, cfg)) {
        Reading reading{r.slot, address, fetch, cfg};
        later->read(reading);
        r.dateFromFileName = reading.dateFromFileName;
        if (reading.unreadable)
            r.end(Outcome::Unreadable);
    } else if (!onlyLaterTakes(row, address, cfg)) {
        // The first layout's cut reads its own addresses' pages; on any other page it cuts at
        // whatever its markers happen to find.
        row.cut(r.slot, fetch, cfg);
    }
    r.display = row.display(r.slot, cfg);
    if (r.found())
        r.end(Outcome::Done);
    return r;
}

} // namespace

Result extract(Service service, const QString &address, const QString &page, const FetchFn &fetch,
               const Config::Settings &cfg)
{
    return extractWith(service, address, fetch, cfg, page.isEmpty(), [&](Slots &s) { s[0] = page; });
}

Result extract(Service service, const QString &address, const PageBody &page, const FetchFn &fetch,
               const Config::Settings &cfg)
{
    // Decoding a whole page costs more than all the cutting: a page in UTF-8 is cut on its bytes.
    const std::optional<QByteArrayView> utf8 = Web::utf8Bytes(page.bytes, page.contentType);
    // A second byte order mark at the start is dropped by the decoding too: rare enough to decode.
    if (!utf8 || utf8->startsWith("\xEF\xBB\xBF") || !isValidUtf8(*utf8))
        return extract(service, address, Web::decodeBody(page.bytes, page.contentType), fetch, cfg);
    const QByteArray bytes = utf8->size() == page.bytes.size() ? page.bytes : utf8->toByteArray();
    return extractWith(service, address, fetch, cfg, bytes.isEmpty(), [&](Slots &s) { s.setPage(bytes); });
}

std::optional<Service> detectService(const QString &text, const Config::Settings &cfg)
{
    // A later address names its host exactly; the first checks look for a text anywhere in it.
    const QString address = addressIn(text);
    for (const ServiceRow *row : rows) {
        if (row->extracts() && onlyLaterTakes(*row, address, cfg))
            return row->service;
    }
    for (const ServiceRow *row : rows) {
        if (row->extracts() && !checkAddress(row->service, address, cfg))
            return row->service;
    }
    return std::nullopt;
}

QString identifierAt(QStringView text)
{
    qsizetype n = 0;
    while (n < text.size()) {
        const QChar c = text.at(n);
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'~' && c != u'-' && c != u'_')
            break;
        ++n;
    }
    return text.first(n).toString();
}

QString pageId(Service service, const QString &address, const Config::Settings &cfg)
{
    const ServiceRow &row = serviceRow(service);
    const QString at = addressIn(address);
    if (onlyLaterTakes(row, at, cfg)) {
        const Generation *later = laterGenerationOf(row, at, cfg);
        return later->pageId ? later->pageId(at, cfg) : QString();
    }
    return row.pageId ? row.pageId(at, cfg) : QString();
}

QString serviceKey(Service service)
{
    return serviceRow(service).key;
}

std::optional<Service> serviceFromKey(const QString &key)
{
    for (const ServiceRow *row : rows) {
        if (key == row->key)
            return row->service;
    }
    return std::nullopt;
}

} // namespace Extract
