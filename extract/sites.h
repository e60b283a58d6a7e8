#pragma once

#include "extract/extraction.h"

#include <optional>

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

namespace Weishi {
std::optional<QString> check(const QString &address, const Config::Settings &cfg);
void cut(Slots &s, const FetchFn &fetch, const Config::Settings &cfg);
Display display(const Slots &s, const Config::Settings &cfg);
} // namespace Weishi

namespace Meipai {
std::optional<QString> check(const QString &address, const Config::Settings &cfg);
void cut(Slots &s, const Config::Settings &cfg);
Display display(const Slots &s, const Config::Settings &cfg);
} // namespace Meipai

namespace Kuaishou {
std::optional<QString> check(const QString &address, const Config::Settings &cfg);
void cut(Slots &s);
Display display(const Slots &s);
} // namespace Kuaishou

namespace Miaopai {
std::optional<QString> check(const QString &address, const Config::Settings &cfg);
QString identifier(const QString &address, const Config::Settings &cfg);
void cut(Slots &s, const Config::Settings &cfg);
Display display(const Slots &s, const Config::Settings &cfg);
} // namespace Miaopai

} // namespace Extract
