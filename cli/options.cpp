#include "cli/options.h"

#include "download/outputtemplate.h"
#include "os/files.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace Cli {

namespace {

const QString description = QStringLiteral(
    "Prints the direct video file address of short-video pages (Weishi, Meipai, Kuaishou, Miaopai),\n"
    "or with --json one record per address, and downloads the videos with --download.\n"
    "Addresses on the command line come first, then those of --batch-file.\n"
    "Results go to standard output in the order of the input, one line per address (an empty line\n"
    "when an address fails); messages and progress go to standard error.\n"
    "Exit status: 0 when every address gave a video address (and every download completed),\n"
    "1 when at least one failed, 2 for a usage error.");

std::optional<int> parseJobs(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < 1 || n > maxJobs)
        return std::nullopt;
    return n;
}

ParseOutcome usageError(const QString &message)
{
    ParseOutcome out;
    out.action = ParseOutcome::Action::UsageError;
    out.text = message;
    return out;
}

// The user asked for the skip list: a run that could neither read nor extend it is not what
// they asked for. A missing file is made.
std::optional<QString> downloadArchiveError(const QString &path)
{
    // Judged without opening it: opening a device can have effects of its own.
    switch (Os::kindOfPath(path)) {
    case Os::FileKind::Missing:
        return std::nullopt;
    case Os::FileKind::Regular:
        break;
    case Os::FileKind::Folder:
        return QStringLiteral("--download-archive %1 is a folder, not a file").arg(path);
    default:
        return QStringLiteral("--download-archive %1 is not a regular file (a pipe or a device?)").arg(path);
    }
    const QFileInfo file(path);
    if (!file.isReadable() || !file.isWritable())
        return QStringLiteral("--download-archive %1 cannot be read and written").arg(path);
    return std::nullopt;
}

} // namespace

ParseOutcome parseArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Print the version and end."));
    const QCommandLineOption site({QStringLiteral("s"), QStringLiteral("site")},
                                  QStringLiteral("weishi | meipai | kuaishou | miaopai | auto (default auto: the "
                                                 "first service, in that order, whose address checks pass)."),
                                  QStringLiteral("SITE"), QStringLiteral("auto"));
    const QCommandLineOption json({QStringLiteral("j"), QStringLiteral("json")},
                                  QStringLiteral("One JSON object per address, one per line (JSON Lines), with the "
                                                 "keys address, site, ok, video, cover, avatar, author, "
                                                 "description, date, verified, error, archived, skipped."));
    const QCommandLineOption batch({QStringLiteral("a"), QStringLiteral("batch-file")},
                                   QStringLiteral("Read addresses from FILE, one a line (\"-\" = standard input); "
                                                  "blank lines and lines starting with # are skipped, a line over "
                                                  "64 KiB or holding control characters fails in its place."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption jobs({QStringLiteral("J"), QStringLiteral("jobs")},
                                  QStringLiteral("Extractions in flight at once, 1 to %1 (default 4); also the "
                                                 "number of downloads at once. Output keeps the input order.")
                                      .arg(maxJobs),
                                  QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption download({QStringLiteral("d"), QStringLiteral("download")},
                                      QStringLiteral("Also download each video: streamed to NAME.part, renamed "
                                                     "when complete, resumed from the .part started for the same "
                                                     "video. A file an earlier run recorded under NAME as this "
                                                     "video's is skipped; any other file takes NAME (2)."));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Folder for downloads (default: the current folder; created "
                                                   "when missing)."),
                                    QStringLiteral("DIR"), QStringLiteral("."));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")},
                                   QStringLiteral("No progress output and no notes; errors are still reported."));
    const QCommandLineOption noCache(QStringLiteral("no-cache"),
                                     QStringLiteral("Neither read nor write the cache of what the web archive said "
                                                    "(kept for [cache] maxAgeDays days)."));
    const QCommandLineOption refresh(QStringLiteral("refresh"),
                                     QStringLiteral("Ask the web archive again and replace what the cache kept."));
    const QCommandLineOption archiveFile(
        QStringLiteral("download-archive"),
        QStringLiteral("Skip, before any request, an address whose \"SERVICE ID\" line is in FILE; append that "
                       "line after each completed download. The file is created when missing; a folder, pipe or "
                       "device is a usage error."),
        QStringLiteral("FILE"));
    const QCommandLineOption infoJson(QStringLiteral("write-info-json"),
                                      QStringLiteral("Write NAME.info.json beside each downloaded video: its record, "
                                                     "when it was downloaded, its size and SHA-256."));
    const QCommandLineOption embed(QStringLiteral("embed-metadata"),
                                   QStringLiteral("Write MP4 tags into each downloaded video: title, artist, date, "
                                                  "and the page (and capture) as comment."));
    const QCommandLineOption thumbnail(QStringLiteral("write-thumbnail"),
                                       QStringLiteral("Save the cover beside each downloaded video as NAME.jpg, "
                                                      ".png, .webp or .gif, by what its bytes are."));
    const QCommandLineOption mtime(QStringLiteral("mtime"),
                                   QStringLiteral("Set each downloaded video's modification time to the page's date, "
                                                  "when it lies between 2005 and tomorrow."));
    const QCommandLineOption nameTemplate(
        {QStringLiteral("O"), QStringLiteral("output-template")},
        QStringLiteral("Name downloads by TEMPLATE, with the fields {service} {id} {author} {date} {title} {ext}, "
                       "for example \"{service}-{id} {title}.{ext}\" (default: the name in the video's address)."),
        QStringLiteral("TEMPLATE"));
    parser.addOptions({site, json, batch, jobs, download, output, quiet, noCache, refresh, archiveFile, infoJson,
                       embed, thumbnail, mtime, nameTemplate, version});
    Config::addOptions(parser);
    parser.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("Video page addresses."),
                                 QStringLiteral("ADDRESS..."));

    if (!parser.parse(arguments))
        return usageError(parser.errorText());

    ParseOutcome out;
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        out.action = ParseOutcome::Action::Help;
        out.text = parser.helpText();
        return out;
    }
    if (parser.isSet(version)) {
        out.action = ParseOutcome::Action::Version;
        return out;
    }

    Options &o = out.options;
    const QString siteKey = parser.value(site).trimmed().toLower();
    if (siteKey != u"auto") {
        o.site = Extract::serviceFromKey(siteKey);
        if (!o.site || *o.site == Extract::Service::Weipai)
            return usageError(QStringLiteral("unknown site \"%1\"; use weishi, meipai, kuaishou, miaopai or auto")
                                  .arg(parser.value(site)));
    }
    const std::optional<int> n = parseJobs(parser.value(jobs));
    if (!n)
        return usageError(QStringLiteral("--jobs needs a whole number from 1 to %1, got \"%2\"")
                              .arg(maxJobs)
                              .arg(parser.value(jobs)));
    o.jobs = *n;
    o.json = parser.isSet(json);
    o.download = parser.isSet(download);
    o.quiet = parser.isSet(quiet);
    o.outputDir = parser.value(output);
    if (o.outputDir.isEmpty())
        return usageError(QStringLiteral("--output needs a folder"));
    if (parser.isSet(batch)) {
        o.batchFile = parser.value(batch);
        if (o.batchFile.isEmpty())
            return usageError(QStringLiteral("--batch-file needs a file name, or \"-\" for standard input"));
    }
    o.refresh = parser.isSet(refresh);
    if (parser.isSet(archiveFile)) {
        o.downloadArchive = parser.value(archiveFile);
        if (o.downloadArchive.isEmpty())
            return usageError(QStringLiteral("--download-archive needs a file name"));
        if (const std::optional<QString> wrong = downloadArchiveError(o.downloadArchive))
            return usageError(*wrong);
    }
    o.addresses = parser.positionalArguments();
    if (o.addresses.isEmpty() && o.batchFile.isEmpty())
        return usageError(QStringLiteral("no address given; pass page addresses or --batch-file FILE"));

    Config::LoadResult loaded = Config::fromParser(parser);
    if (!loaded.settings)
        return usageError(loaded.error);
    out.settings = *loaded.settings;
    Config::Download &keep = out.settings.download;
    keep.writeInfoJson = keep.writeInfoJson || parser.isSet(infoJson);
    keep.embedMetadata = keep.embedMetadata || parser.isSet(embed);
    keep.writeThumbnail = keep.writeThumbnail || parser.isSet(thumbnail);
    keep.pageDateAsMtime = keep.pageDateAsMtime || parser.isSet(mtime);
    if (parser.isSet(nameTemplate))
        keep.nameTemplate = parser.value(nameTemplate);
    if (!keep.nameTemplate.isEmpty()) {
        if (const std::optional<QString> wrong = Download::templateError(keep.nameTemplate))
            return usageError(*wrong);
    }
    if (parser.isSet(noCache))
        out.settings.cache.enabled = false;
    out.action = ParseOutcome::Action::Run;
    return out;
}

} // namespace Cli
