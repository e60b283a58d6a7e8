#pragma once

#include "version.h"

#include <QString>
#include <optional>

namespace Update {

inline const QString builtInVersion = QStringLiteral(ZAVLEN_BUILT_IN_VERSION);
inline const QString messageTitle = QStringLiteral("Zavlen系列软件");
inline const QString checkingStatus = QStringLiteral("正在检测程序是否有更新..");
inline const QString welcomeStatus = QStringLiteral("欢迎使用Zavlen系列软件..");
inline const QString checkFailedMessage = QStringLiteral("检测更新失败!请您稍后再试,暂时使用原版");

// The version text of the record's first "appsp:" entry, up to its first "|".
// nullopt when the record holds no usable entry (no key, or no "|" before the next key or the end).
std::optional<QString> announcedVersion(const QString &record);

enum class Outcome {
    Current,     // the record announces this very version
    Newer,       // the record announces another version
    Unavailable, // no record, or a record without a usable entry
};

struct Decision
{
    Outcome outcome = Outcome::Unavailable;
    QString version; // the announced version text, for Newer
};

Decision decide(const std::optional<QString> &record);

QString newerVersionMessage(const QString &version);

} // namespace Update
