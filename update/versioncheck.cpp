#include "update/versioncheck.h"

namespace Update {

std::optional<QString> announcedVersion(const QString &record)
{
    static const QString key = QStringLiteral("appsp:");
    const qsizetype start = record.indexOf(key);
    if (start < 0)
        return std::nullopt;
    const qsizetype from = start + key.size();
    // The entry ends at the next key when that comes first: such an entry has no version.
    const qsizetype nextKey = record.indexOf(key, from);
    const qsizetype bar = record.indexOf(u'|', from);
    if (bar < 0 || (nextKey >= 0 && nextKey < bar))
        return std::nullopt;
    return record.mid(from, bar - from);
}

Decision decide(const std::optional<QString> &record)
{
    if (!record || record->isEmpty())
        return {};
    const std::optional<QString> version = announcedVersion(*record);
    // An empty version text announces nothing, like a record without an entry.
    if (!version || version->isEmpty())
        return {};
    if (*version == builtInVersion)
        return {Outcome::Current, *version};
    return {Outcome::Newer, *version};
}

QString newerVersionMessage(const QString &version)
{
    return QStringLiteral("发现最新版本![") + version + QStringLiteral("]\r\n \r\n确定后自动打开官方论坛!");
}

} // namespace Update
