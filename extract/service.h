#pragma once

#include "extract/extraction.h"
#include "extract/generation.h"

#include <QLatin1String>

#include <optional>
#include <span>

namespace Extract {

// Shared by every service's check ladder: the empty address and the missing scheme.
std::optional<QString> commonRungs(const QString &address, const QString &askForAddress);

// A service's page base, "http://" + host + path, written with either scheme.
struct Base
{
    QString http;
    QString https;

    bool foundIn(const QString &address) const { return address.contains(http) || address.contains(https); }
    QString removedFrom(const QString &address) const;
};
Base baseOf(const QString &hostAndPath);

// Shortened to `limit` characters followed by "..".
QString authorShown(const QString &author, int limit);
QString descriptionShown(const QString &description);

// The fields most services keep in the same slots (author 8, description 10, date 12, cover 4,
// avatar 6), through the display rules with the service's author limit.
Display commonDisplay(const Slots &s, int authorLimit);
// The badge test: the page carries `pageMark`, or the shown author contains the verified name.
bool verifiedAuthor(const Slots &s, const QString &pageMark, const QString &shownAuthor,
                    const Config::Settings &cfg);

inline const QString noDescription = QStringLiteral("该视频暂无描述");
inline const QString schemeMissing = QStringLiteral("请在网之前加入http://");
inline const QString addressWrong = QStringLiteral("您输入的地址有误,请检查!");

// Where a service leaves the fields every front end shows, in its slots.
struct FieldSlots
{
    int avatar;
    int author;
    int description;
    int date;
};

// What a later generation's reader found, as the page has it.
struct Found
{
    QString video;
    QString cover;
    QString avatar;
    QString author;
    QString description;
    QString date;
};
// Into the slots the service keeps them in (video 2, cover 4, the rest as `at` says), addresses
// made whole; nothing at all when no video was found.
void put(Reading &r, const FieldSlots &at, Found found);

// One service: everything the rest of the program knows of it. Adding a service is adding a row
// and the file that defines it; reading a later page layout of it is adding a generation.
struct ServiceRow
{
    Service service;  // also the index of its option button
    QLatin1String key; // "weishi", as zavlen-get and the settings name it
    // The address-check ladder: the status line of the first rung that applies.
    std::optional<QString> (*check)(const QString &address, const Config::Settings &cfg);
    // Slots the service fills from the address before the page is looked at; may be null.
    void (*fromAddress)(Slots &s, const QString &address, const Config::Settings &cfg);
    void (*cut)(Slots &s, const FetchFn &fetch, const Config::Settings &cfg);
    Display (*display)(const Slots &s, const Config::Settings &cfg);
    FieldSlots fields;
    // The page's identifier in its address (Meipai's media number, ...); empty when it has none.
    QString (*pageId)(const QString &address, const Config::Settings &cfg);
    // The page layouts that followed the first, in the order they are tried; may be null.
    std::span<const Generation> (*later)() = nullptr;

    bool extracts() const { return cut != nullptr; }
};

// The leading run of letters, digits and "~-_" of `text`: an identifier where a page address has one.
QString identifierAt(QStringView text);

// The row of `service`; every Service has one, the hidden option's with no extractor.
const ServiceRow &serviceRow(Service service);

namespace Weishi {
extern const ServiceRow row;
}
namespace Meipai {
extern const ServiceRow row;
}
namespace Kuaishou {
extern const ServiceRow row;
}
namespace Miaopai {
extern const ServiceRow row;
QString identifier(const QString &address, const Config::Settings &cfg);
std::optional<QString> check(const QString &address, const Config::Settings &cfg);
QString pageId(const QString &address, const Config::Settings &cfg);
} // namespace Miaopai

// The later generations of each service, in their own files.
namespace Meipai {
std::span<const Generation> laterGenerations();
}
namespace Miaopai {
std::span<const Generation> laterGenerations();
}
namespace Kuaishou {
std::span<const Generation> laterGenerations();
}
namespace Weishi {
std::span<const Generation> laterGenerations();
}

} // namespace Extract
