#include "config/settings.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <array>

namespace Config {

namespace {

struct TextKey
{
    const char *key;
    QString Settings::*field;
};

const std::array<TextKey, 20> textKeys{{
    {"maker/versionRecord", &Settings::versionRecordUrl},
    {"maker/forum", &Settings::forumUrl},
    {"maker/feedback", &Settings::feedbackUrl},
    {"maker/verifiedAuthor", &Settings::verifiedAuthor},
    {"weishi/domain", &Settings::weishiDomain},
    {"weishi/apiHost", &Settings::weishiApiHost},
    {"weishi/pictureHost", &Settings::weishiPictureHost},
    {"weishi/fileHost", &Settings::weishiFileHost},
    {"weishi/videoHost", &Settings::weishiVideoHost},
    {"meipai/host", &Settings::meipaiHost},
    {"meipai/pictureStem", &Settings::meipaiPictureStem},
    {"meipai/avatarStem", &Settings::meipaiAvatarStem},
    {"kuaishou/host", &Settings::kuaishouHost},
    {"miaopai/host", &Settings::miaopaiHost},
    {"miaopai/streamHost", &Settings::miaopaiStreamHost},
    {"miaopai/avatarStem", &Settings::miaopaiAvatarStem},
    {"network/proxy", &Settings::proxy},
    {"network/userAgent", &Settings::userAgent},
    {"archive/cdx", &Settings::archiveIndexUrl},
    {"archive/replay", &Settings::archiveReplayUrl},
}};

struct NumberKey
{
    const char *key;
    int Settings::*field;
    int lowest;
    int highest;
};

const std::array<NumberKey, 4> numberKeys{{
    {"archive/tries", &Settings::archiveTries, 1, 100},
    // The archive blocks clients that ask much faster; a private archive may allow more.
    {"archive/indexPerMinute", &Settings::archiveIndexPerMinute, 1, 6000},
    {"archive/replayPerMinute", &Settings::archiveReplayPerMinute, 1, 6000},
    {"archive/budget", &Settings::archiveBudgetSeconds, 1, 24 * 3600},
}};

std::optional<bool> booleanOf(const QString &text)
{
    const QString t = text.trimmed().toLower();
    if (t == u"true" || t == u"1" || t == u"yes" || t == u"on")
        return true;
    if (t == u"false" || t == u"0" || t == u"no" || t == u"off")
        return false;
    return std::nullopt;
}

bool isTimestampPrefix(const QString &text)
{
    if (text.size() < 4 || text.size() > 14)
        return false;
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

std::optional<QString> applyValue(Settings &s, const QString &key, const QString &value)
{
    for (const TextKey &k : textKeys) {
        if (key == QLatin1String(k.key)) {
            s.*(k.field) = value;
            return std::nullopt;
        }
    }
    bool ok = false;
    for (const NumberKey &k : numberKeys) {
        if (key == QLatin1String(k.key)) {
            const int v = value.trimmed().toInt(&ok);
            if (!ok || v < k.lowest || v > k.highest)
                return QStringLiteral("%1 must be a whole number from %2 to %3").arg(key).arg(k.lowest).arg(k.highest);
            s.*(k.field) = v;
            return std::nullopt;
        }
    }
    if (key == u"archive/mode") {
        const std::optional<ArchiveMode> mode = archiveModeFromKey(value.trimmed());
        if (!mode)
            return QStringLiteral("archive/mode must be fallback, off or only");
        s.archiveMode = *mode;
        return std::nullopt;
    }
    if (key == u"archive/around") {
        if (!isTimestampPrefix(value.trimmed()))
            return QStringLiteral("archive/around must be a date written as 4 to 14 digits, e.g. 20160601");
        s.archiveAround = value.trimmed();
        return std::nullopt;
    }
    if (key == u"network/allowLocalAddresses") {
        const std::optional<bool> allowed = booleanOf(value);
        if (!allowed)
            return QStringLiteral("network/allowLocalAddresses must be true or false");
        s.allowLocalAddresses = *allowed;
        return std::nullopt;
    }
    if (key == u"network/timeout") {
        const int v = value.toInt(&ok);
        if (!ok || v <= 0 || v > 24 * 3600)
            return QStringLiteral("network/timeout must be a number of seconds between 1 and 86400");
        s.timeoutSeconds = v;
        return std::nullopt;
    }
    if (key == u"network/maxBodyBytes") {
        const qint64 v = value.toLongLong(&ok);
        if (!ok || v <= 0)
            return QStringLiteral("network/maxBodyBytes must be a positive number of bytes");
        s.maxBodyBytes = v;
        return std::nullopt;
    }
    return QStringLiteral("unknown setting: %1").arg(key);
}

} // namespace

QString archiveModeKey(ArchiveMode mode)
{
    switch (mode) {
    case ArchiveMode::Off:
        return QStringLiteral("off");
    case ArchiveMode::Only:
        return QStringLiteral("only");
    case ArchiveMode::Fallback:
        break;
    }
    return QStringLiteral("fallback");
}

std::optional<ArchiveMode> archiveModeFromKey(const QString &key)
{
    for (const ArchiveMode m : {ArchiveMode::Fallback, ArchiveMode::Off, ArchiveMode::Only}) {
        if (key == archiveModeKey(m))
            return m;
    }
    return std::nullopt;
}

QString defaultConfigPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/zavlen/zavlen-video.ini");
}

LoadResult loadIni(const QString &path, Settings base, bool mustExist)
{
    if (!QFileInfo::exists(path)) {
        if (mustExist)
            return {std::nullopt, QStringLiteral("configuration file not found: %1").arg(path)};
        return {base, {}};
    }
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError)
        return {std::nullopt, QStringLiteral("cannot read configuration file: %1").arg(path)};
    for (const QString &key : ini.allKeys()) {
        if (auto err = applyValue(base, key, ini.value(key).toString()))
            return {std::nullopt, QStringLiteral("%1: %2").arg(path, *err)};
    }
    return {base, {}};
}

void addOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("config"),
                      QStringLiteral("Read settings from this INI file instead of %1.").arg(defaultConfigPath()),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("proxy"),
                      QStringLiteral("HTTP proxy for every request (http://host:port); otherwise the "
                                     "system's and the http_proxy environment variable's."),
                      QStringLiteral("URL")});
    parser.addOption({QStringLiteral("timeout"), QStringLiteral("Per-request time limit in seconds (default 30)."),
                      QStringLiteral("SEC")});
    parser.addOption({QStringLiteral("archive"),
                      QStringLiteral("When to look for a page in the web archive: fallback (when the live page "
                                     "gives no video, the default), off, or only (never ask the live web)."),
                      QStringLiteral("MODE")});
    parser.addOption({QStringLiteral("set"),
                      QStringLiteral("Override one setting, as in the INI file: --set meipai/host=www.meipai.com. "
                                     "May be repeated."),
                      QStringLiteral("KEY=VALUE")});
}

LoadResult fromParser(const QCommandLineParser &parser)
{
    const bool explicitFile = parser.isSet(QStringLiteral("config"));
    LoadResult r = loadIni(explicitFile ? parser.value(QStringLiteral("config")) : defaultConfigPath(), {},
                           explicitFile);
    if (!r.settings)
        return r;
    Settings &s = *r.settings;
    for (const QString &pair : parser.values(QStringLiteral("set"))) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq <= 0)
            return {std::nullopt, QStringLiteral("--set needs KEY=VALUE, got: %1").arg(pair)};
        if (auto err = applyValue(s, pair.left(eq), pair.mid(eq + 1)))
            return {std::nullopt, *err};
    }
    if (parser.isSet(QStringLiteral("proxy")))
        s.proxy = parser.value(QStringLiteral("proxy"));
    if (parser.isSet(QStringLiteral("archive"))) {
        if (auto err = applyValue(s, QStringLiteral("archive/mode"), parser.value(QStringLiteral("archive"))))
            return {std::nullopt, QStringLiteral("--archive must be fallback, off or only")};
    }
    if (parser.isSet(QStringLiteral("timeout"))) {
        if (auto err = applyValue(s, QStringLiteral("network/timeout"), parser.value(QStringLiteral("timeout"))))
            return {std::nullopt, *err};
    }
    return r;
}

} // namespace Config
