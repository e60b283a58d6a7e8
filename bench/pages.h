#pragma once

#include "extract/extraction.h"

#include <QList>
#include <QString>

namespace Config {
struct Settings;
}

namespace Bench {

struct SamplePage
{
    Extract::Service service;
    QString address;
    QString page;
    QString endpointAnswer;
};

// The test suite's sample page of each service with its address.
QList<SamplePage> samplePages();

// `page` grown to about `utf8Bytes` bytes of UTF-8 by ordinary HTML and Chinese text laid
// between its lines, so that its markers end up spread through the whole page. `plain` filler
// holds no attributes or quotes at all.
QString grownPage(const QString &page, qsizetype utf8Bytes, bool plain);

struct GrownPage
{
    QString page;
    bool sameFields = true; // the grown page yields the fields of the original one
};

// `page` grown as above, with the rich filler unless that changes what the page yields; then
// with the plain one.
GrownPage grownKeepingFields(Extract::Service service, const QString &address, const QString &page,
                             const Extract::FetchFn &fetch, const Config::Settings &cfg, qsizetype utf8Bytes);

} // namespace Bench
