#pragma once

#include "version.h"

#include <QString>
#include <optional>

class QCommandLineParser;

namespace Config {

// When the web archive is asked for a page: when the live web does not give a usable one, never,
// or instead of the live web.
enum class ArchiveMode { Fallback, Off, Only };

// The maker's own servers default to a reserved domain: no such server runs.
struct Maker
{
    QString versionRecordUrl = QStringLiteral("http://update.zavlen.example/version/main.txt");
    QString forumUrl = QStringLiteral("http://bbs.zavlen.example/");
    QString feedbackUrl = QStringLiteral("http://bbs.zavlen.example/feedback");
    QString verifiedAuthor = QStringLiteral("王建华");
};

struct Services
{
    struct Weishi
    {
        QString domain = QStringLiteral("weishi.com");
        QString apiHost = QStringLiteral("wsi.weishi.com");
        QString pictureHost = QStringLiteral("ugc.qpic.cn");
        QString fileHost = QStringLiteral("vfile.weishi.com");
        QString videoHost = QStringLiteral("video.weishi.com");
    } weishi;
    struct Meipai
    {
        QString host = QStringLiteral("www.meipai.com");
        QString pictureStem = QStringLiteral("mvimg");
        QString avatarStem = QStringLiteral("mvavatar");
    } meipai;
    struct Kuaishou
    {
        QString host = QStringLiteral("www.gifshow.com");
    } kuaishou;
    struct Miaopai
    {
        QString host = QStringLiteral("www.miaopai.com");
        QString streamHost = QStringLiteral("gslb.miaopai.com");
        QString avatarStem = QStringLiteral("dy");
    } miaopai;
};

// What the network access point applies to every request.
struct Network
{
    QString proxy; // empty: follow the system and the http_proxy environment variable
    int timeoutSeconds = 30;
    qint64 maxBodyBytes = 16 * 1024 * 1024;
    QString userAgent = QStringLiteral("Mozilla/5.0 (Windows NT 10.0; Win64; x64) ") + QStringLiteral(ZAVLEN_PROGRAM_NAME);
    // Addresses cut from a page may name this machine or a private network only when this is set.
    bool allowLocalAddresses = false;
};

// The services' pages of their time survive in the web archive.
struct Archive
{
    ArchiveMode mode = ArchiveMode::Fallback;
    QString indexUrl = QStringLiteral("https://web.archive.org/cdx/search/cdx");
    QString replayUrl = QStringLiteral("https://web.archive.org/web/");
    QString around = QStringLiteral("20160601"); // captures nearest to this date first
    int tries = 5;             // captures of one page tried at most
    int indexPerMinute = 20;   // index queries of the whole process
    int replayPerMinute = 60;  // every other request to the archive, of the whole process
    int budgetSeconds = 60;    // the whole archive road of one address, waits for our own pace aside
};

// What a completed download gets beside its bytes, and what it is called.
struct Download
{
    // "{service} {id} {author} {date} {title} {ext}"; empty: the file name of the video's address.
    QString nameTemplate;
    bool writeInfoJson = false;  // NAME.info.json: the record, when and what was downloaded
    bool embedMetadata = false;  // MP4 tags from the page (the window turns this on)
    bool writeThumbnail = false; // the cover beside the video
    bool pageDateAsMtime = false;
};

// What the web archive said, kept between runs.
struct Cache
{
    bool enabled = true;
    int maxAgeDays = 30;
};

// Every address and name the program does not own lives here, with its built-in default.
struct Settings
{
    Maker maker;
    Services services;
    Network network;
    Archive archive;
    Download download;
    Cache cache;
};

QString archiveModeKey(ArchiveMode mode); // "fallback", "off", "only"
std::optional<ArchiveMode> archiveModeFromKey(const QString &key);

struct LoadResult
{
    std::optional<Settings> settings;
    QString error;
};

// Per-user location used when no --config is given.
QString defaultConfigPath();

// Reads an INI file over the defaults; keys that are absent keep their default.
// A missing file at the default location is not an error; a missing --config file is.
LoadResult loadIni(const QString &path, Settings base = {}, bool mustExist = false);

// Sets one INI key ("archive/tries") from its text; the error says what the key takes.
std::optional<QString> applyValue(Settings &s, const QString &key, const QString &value);

// Options shared by the window and zavlen-get.
void addOptions(QCommandLineParser &parser);
// Defaults (`base`: the program's own), then the INI file (--config or the per-user one), then
// the command-line options.
LoadResult fromParser(const QCommandLineParser &parser, const Settings &base = {});

} // namespace Config
