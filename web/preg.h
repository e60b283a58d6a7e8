#pragma once

#include <QString>
#include <optional>

namespace Web {

// `value_` with every match of `patrn` replaced by `str`, letters matched without regard to case.
// `str` is literal text: "\1" or "$1" in it are not expanded. An invalid pattern is nullopt.
std::optional<QString> preg(const QString &value_, const QString &patrn, const QString &str);

} // namespace Web
