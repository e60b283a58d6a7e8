#pragma once

#include <QString>
#include <optional>

class QCommandLineParser;

namespace Config {

// When the web archive is asked for a page: when the live web does not give a usable one, never,
// or instead of the live web.
enum class ArchiveMode { Fallback, Off, Only };

// Every address and name the program does not own lives here, with its built-in default.
// The maker's own servers default to a reserved domain: no such server runs.
struct Settings
{
    QString versionRecordUrl = QStringLiteral("http://update.zavlen.example/version/main.txt");
    QString forumUrl = QStringLiteral("http://bbs.zavlen.example/");
    QString feedbackUrl = QStringLiteral("http://bbs.zavlen.example/feedback");
    QString verifiedAuthor = QStringLiteral("王建华");

    QString weishiDomain = QStringLiteral("weishi.com");
    QString weishiApiHost = QStringLiteral("wsi.weishi.com");
    QString weishiPictureHost = QStringLiteral("ugc.qpic.cn");
    QString weishiFileHost = QStringLiteral("vfile.weishi.com");
    QString weishiVideoHost = QStringLiteral("video.weishi.com");

    QString meipaiHost = QStringLiteral("www.meipai.com");
    QString meipaiPictureStem = QStringLiteral("mvimg");
    QString meipaiAvatarStem = QStringLiteral("mvavatar");

    QString kuaishouHost = QStringLiteral("www.gifshow.com");

    QString miaopaiHost = QStringLiteral("www.miaopai.com");
    QString miaopaiStreamHost = QStringLiteral("gslb.miaopai.com");
    QString miaopaiAvatarStem = QStringLiteral("dy");

    // Empty: follow the system and the http_proxy environment variable.
    QString proxy;
    int timeoutSeconds = 30;
    qint64 maxBodyBytes = 16 * 1024 * 1024;
    QString userAgent = QStringLiteral("Mozilla/5.0 (Windows NT 10.0; Win64; x64) ZavlenVideo/1.6.0");
    // Addresses cut from a page may name this machine or a private network only when this is set.
    bool allowLocalAddresses = false;

    // The services' pages of their time survive in the web archive.
    ArchiveMode archiveMode = ArchiveMode::Fallback;
    QString archiveIndexUrl = QStringLiteral("https://web.archive.org/cdx/search/cdx");
    QString archiveReplayUrl = QStringLiteral("https://web.archive.org/web/");
    QString archiveAround = QStringLiteral("20160601"); // captures nearest to this date first
    int archiveTries = 5;            // captures of one page tried at most
    int archiveIndexPerMinute = 20;  // index queries of the whole process
    int archiveReplayPerMinute = 60; // every other request to the archive, of the whole process
    int archiveBudgetSeconds = 60;   // the whole archive road of one address, waits for our own pace aside
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

// Options shared by the window and zavlen-get.
void addOptions(QCommandLineParser &parser);
// Defaults, then the INI file (--config or the per-user one), then the command-line options.
LoadResult fromParser(const QCommandLineParser &parser);

} // namespace Config
