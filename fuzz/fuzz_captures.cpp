#include "fuzzcommon.h"
#include "web/archive.h"
#include "web/network.h"

#include <QUrl>
#include <algorithm>

// An index answer as a hostile or broken archive might send it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray answer(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<QList<Web::Capture>> captures = Web::parseCaptures(answer);
    Fuzz::require(Web::parseCaptures(answer).has_value() == captures.has_value(), "deterministic");
    if (!captures)
        return 0;
    for (const Web::Capture &c : *captures) {
        Fuzz::require(c.timestamp.size() == 14, "a whole timestamp");
        for (const QChar ch : c.timestamp)
            Fuzz::require(ch >= u'0' && ch <= u'9', "digits only");
        Fuzz::require(Web::NetworkAccess::isFetchable(QUrl(c.original, QUrl::TolerantMode)), "a web address");
    }
    for (const int tries : {0, 1, 5}) {
        const QList<Web::Capture> tried = Web::nearestCaptures(*captures, QStringLiteral("20160601"), tries);
        Fuzz::require(tried.size() == qMin(qsizetype(tries), captures->size()), "at most tries, as many as there are");
        for (const Web::Capture &c : tried) {
            const bool known = std::any_of(captures->cbegin(), captures->cend(), [&](const Web::Capture &k) {
                return k.timestamp == c.timestamp && k.original == c.original;
            });
            Fuzz::require(known, "only captures the index named");
        }
    }
    return 0;
}
