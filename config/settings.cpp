#include "config/settings.h"
#include "os/files.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace Config {

namespace {

// How one INI key is read: a check of its text, and where the value goes.
struct Key
{
    const char *name;
    // The error for a text the key does not take; nothing when it took it.
    std::optional<QString> (*apply)(Settings &s, const QString &name, const QString &value);
};

template<QString &(*field)(Settings &)>
std::optional<QString> text(Settings &s, const QString &, const QString &value)
{
    field(s) = value;
    return std::nullopt;
}

std::optional<int> wholeNumber(const QString &value, int lowest, int highest)
{
    bool ok = false;
    const int v = value.trimmed().toInt(&ok);
    if (!ok || v < lowest || v > highest)
        return std::nullopt;
    return v;
}

template<int &(*field)(Settings &), int lowest, int highest>
std::optional<QString> number(Settings &s, const QString &name, const QString &value)
{
    const std::optional<int> v = wholeNumber(value, lowest, highest);
    if (!v)
        return QStringLiteral("%1 must be a whole number from %2 to %3").arg(name).arg(lowest).arg(highest);
    field(s) = *v;
    return std::nullopt;
}

std::optional<QString> seconds(Settings &s, const QString &name, const QString &value)
{
    const std::optional<int> v = wholeNumber(value, 1, 24 * 3600);
    if (!v)
        return QStringLiteral("%1 must be a number of seconds between 1 and 86400").arg(name);
    s.network.timeoutSeconds = *v;
    return std::nullopt;
}

std::optional<QString> bodyBytes(Settings &s, const QString &name, const QString &value)
{
    bool ok = false;
    const qint64 v = value.trimmed().toLongLong(&ok);
    if (!ok || v <= 0)
        return QStringLiteral("%1 must be a positive number of bytes").arg(name);
    s.network.maxBodyBytes = v;
    return std::nullopt;
}

template<bool &(*field)(Settings &)>
std::optional<QString> flag(Settings &s, const QString &name, const QString &value)
{
    const QString t = value.trimmed().toLower();
    if (t == u"true" || t == u"1" || t == u"yes" || t == u"on")
        field(s) = true;
    else if (t == u"false" || t == u"0" || t == u"no" || t == u"off")
        field(s) = false;
    else
        return QStringLiteral("%1 must be true or false").arg(name);
    return std::nullopt;
}

std::optional<QString> mode(Settings &s, const QString &name, const QString &value)
{
    const std::optional<ArchiveMode> m = archiveModeFromKey(value.trimmed());
    if (!m)
        return QStringLiteral("%1 must be fallback, off or only").arg(name);
    s.archive.mode = *m;
    return std::nullopt;
}

std::optional<QString> around(Settings &s, const QString &name, const QString &value)
{
    const QString t = value.trimmed();
    const bool digits = std::all_of(t.cbegin(), t.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (t.size() < 4 || t.size() > 14 || !digits)
        return QStringLiteral("%1 must be a date written as 4 to 14 digits, e.g. 20160601").arg(name);
    s.archive.around = t;
    return std::nullopt;
}

#define ZAVLEN_FIELD(type, path) +[](Settings &s) -> type & { return s.path; }

const Key keys[] = {
    {"maker/versionRecord", text<ZAVLEN_FIELD(QString, maker.versionRecordUrl)>},
    {"maker/forum", text<ZAVLEN_FIELD(QString, maker.forumUrl)>},
    {"maker/feedback", text<ZAVLEN_FIELD(QString, maker.feedbackUrl)>},
    {"maker/verifiedAuthor", text<ZAVLEN_FIELD(QString, maker.verifiedAuthor)>},
    {"weishi/domain", text<ZAVLEN_FIELD(QString, services.weishi.domain)>},
    {"weishi/apiHost", text<ZAVLEN_FIELD(QString, services.weishi.apiHost)>},
    {"weishi/pictureHost", text<ZAVLEN_FIELD(QString, services.weishi.pictureHost)>},
    {"weishi/fileHost", text<ZAVLEN_FIELD(QString, services.weishi.fileHost)>},
    {"weishi/videoHost", text<ZAVLEN_FIELD(QString, services.weishi.videoHost)>},
    {"meipai/host", text<ZAVLEN_FIELD(QString, services.meipai.host)>},
    {"meipai/pictureStem", text<ZAVLEN_FIELD(QString, services.meipai.pictureStem)>},
    {"meipai/avatarStem", text<ZAVLEN_FIELD(QString, services.meipai.avatarStem)>},
    {"kuaishou/host", text<ZAVLEN_FIELD(QString, services.kuaishou.host)>},
    {"miaopai/host", text<ZAVLEN_FIELD(QString, services.miaopai.host)>},
    {"miaopai/streamHost", text<ZAVLEN_FIELD(QString, services.miaopai.streamHost)>},
    {"miaopai/avatarStem", text<ZAVLEN_FIELD(QString, services.miaopai.avatarStem)>},
    {"network/proxy", text<ZAVLEN_FIELD(QString, network.proxy)>},
    {"network/userAgent", text<ZAVLEN_FIELD(QString, network.userAgent)>},
    {"network/timeout", seconds},
    {"network/maxBodyBytes", bodyBytes},
    {"network/allowLocalAddresses", flag<ZAVLEN_FIELD(bool, network.allowLocalAddresses)>},
    {"archive/mode", mode},
    {"archive/cdx", text<ZAVLEN_FIELD(QString, archive.indexUrl)>},
    {"archive/replay", text<ZAVLEN_FIELD(QString, archive.replayUrl)>},
    {"archive/around", around},
    {"archive/tries", number<ZAVLEN_FIELD(int, archive.tries), 1, 100>},
    // The archive blocks clients that ask much faster; a private archive may allow more.
    {"archive/indexPerMinute", number<ZAVLEN_FIELD(int, archive.indexPerMinute), 1, 6000>},
    {"archive/replayPerMinute", number<ZAVLEN_FIELD(int, archive.replayPerMinute), 1, 6000>},
    {"archive/budget", number<ZAVLEN_FIELD(int, archive.budgetSeconds), 1, 24 * 3600>},
    {"download/template", text<ZAVLEN_FIELD(QString, download.nameTemplate)>},
    {"download/writeInfoJson", flag<ZAVLEN_FIELD(bool, download.writeInfoJson)>},
    {"download/embedMetadata", flag<ZAVLEN_FIELD(bool, download.embedMetadata)>},
    {"download/writeThumbnail", flag<ZAVLEN_FIELD(bool, download.writeThumbnail)>},
    {"download/mtime", flag<ZAVLEN_FIELD(bool, download.pageDateAsMtime)>},
    {"cache/enabled", flag<ZAVLEN_FIELD(bool, cache.enabled)>},
    {"cache/maxAgeDays", number<ZAVLEN_FIELD(int, cache.maxAgeDays), 1, 36500>},
};

#undef ZAVLEN_FIELD

} // namespace

std::optional<QString> applyValue(Settings &s, const QString &key, const QString &value)
{
    for (const Key &k : keys) {
        if (key == QLatin1String(k.name))
            return k.apply(s, key, value);
    }
    return QStringLiteral("unknown setting: %1").arg(key);
}

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
    return Os::configFolder() + QStringLiteral("/zavlen/zavlen-video.ini");
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

LoadResult fromParser(const QCommandLineParser &parser, const Settings &base)
{
    const bool explicitFile = parser.isSet(QStringLiteral("config"));
    LoadResult r = loadIni(explicitFile ? parser.value(QStringLiteral("config")) : defaultConfigPath(), base,
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
        s.network.proxy = parser.value(QStringLiteral("proxy"));
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
