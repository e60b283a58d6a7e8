#include "config/settings.h"
#include "extract/extraction.h"
#include "extract/service.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using Extract::Service;
    static const Config::Settings cfg;
    const QString address = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    static constexpr Service order[] = {Service::Weishi, Service::Meipai, Service::Kuaishou, Service::Miaopai};
    std::optional<Service> firstPassing;
    for (const Service s : order) {
        const std::optional<QString> message = Extract::checkAddress(s, address, cfg);
        if (message)
            Fuzz::require(!message->isEmpty(), "a failed check says why");
        if (!message && !firstPassing)
            firstPassing = s;
    }
    // An address only a later layout serves names its service by its host; the rest go by the window's order.
    std::optional<Service> laterOnly;
    for (const Service s : order) {
        if (!laterOnly && Extract::onlyLaterTakes(Extract::serviceRow(s), Extract::addressIn(address), cfg))
            laterOnly = s;
    }
    if (laterOnly)
        Fuzz::require(!Extract::checkAddress(*laterOnly, address, cfg), "a later address passes its service's checks");
    Fuzz::require(Extract::detectService(address, cfg) == (laterOnly ? laterOnly : firstPassing),
                  "detection follows the window's order");
    if (address.isEmpty())
        Fuzz::require(!firstPassing, "the empty address passes no check");

    // The address of a share text is a piece of it, and taking it twice changes nothing.
    const QString inText = Extract::addressIn(address);
    Fuzz::require(address.contains(inText), "the address is part of the text");
    Fuzz::require(Extract::addressIn(inText) == inText, "taken once is enough");
    if (inText != address)
        Fuzz::require(inText.startsWith(QLatin1String("http://")) || inText.startsWith(QLatin1String("https://")),
                      "a shorter address starts with its scheme");

    const std::optional<Service> byKey = Extract::serviceFromKey(address);
    if (byKey)
        Fuzz::require(Extract::serviceKey(*byKey) == address, "service key round trip");
    return 0;
}
