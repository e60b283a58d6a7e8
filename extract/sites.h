#pragma once

#include "extract/extraction.h"

#include <optional>

namespace Extract {

// Shared by every service's check ladder: the empty address and the missing scheme.
std::optional<QString> commonRungs(const QString &address, const QString &askForAddress);

// Shortened to `limit` characters followed by "..".
QString authorShown(const QString &author, int limit);
QString descriptionShown(const QString &description);

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
