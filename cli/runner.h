#pragma once

#include "cli/downloadarchive.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/record.h"
#include "config/settings.h"
#include "web/networkthread.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <deque>
#include <optional>
#include <vector>

namespace Download {
class Downloader;
class Records;
struct DownloadResult;
}
namespace Web {
class CancelToken;
class DeferredLookupCache;
}

namespace Cli {

// Extracts every address on a thread pool, prints the results in input order as soon as the
// next one is ready, and runs the downloads on this thread's event loop.
class Runner : public QObject
{
    Q_OBJECT
public:
    Runner(const Options &options, const Config::Settings &settings, const QStringList &addresses,
           std::FILE *out, std::FILE *err, bool drawProgress, QObject *parent = nullptr);
    ~Runner() override;

    // Before start(): the address at `index` is not extracted but fails with `error`, in its place.
    void refuse(int index, const QString &error);
    void start();
    // A signal's first arrival: nothing new starts, what runs is cancelled, every address still
    // open ends as interrupted, and the exit status is 128 + signal.
    void interrupt(int signal);

Q_SIGNALS:
    void finished(int exitStatus);

private:
    struct Job
    {
        int index;
        Record record;
        QString video;
        QString target;
        QString archiveKey; // the download archive's line for it; empty: none
    };
    struct Transfer
    {
        qint64 received = 0;
        qint64 total = -1;
        double bytesPerSecond = 0;
    };

    void startExtraction(int index);
    void onExtracted(int index, Record record);
    void onArchiveNeeded(int index);
    QString archiveKeyOf(const QString &address) const;
    void keepProvenance(const Job &job, const Download::DownloadResult &result);
    void emitReady();
    void queueDownload(int index, const Record &record);
    void startDownloads();
    void onDownloadProgress(Download::Downloader *downloader, qint64 received, qint64 total, double speed);
    void onDownloadFinished(Download::Downloader *downloader, const Job &job, const Download::DownloadResult &result);
    void showProgress(bool force = false);
    void checkDone();
    void error(const QString &address, const QString &message);
    void info(const QString &message);
    // Where the video goes; finished: it is there already, complete. Empty: no name is free.
    QString reserveTarget(const QString &fileName, const QString &video, bool &finished);

    Options m_options;
    Config::Settings m_settings;
    QStringList m_addresses;
    QHash<int, QString> m_refused;
    std::FILE *m_out;
    Progress m_progress;
    std::vector<std::optional<Record>> m_results;
    int m_nextToPrint = 0;
    bool m_failed = false;
    bool m_done = false;

    std::deque<Job> m_waiting;
    QHash<Download::Downloader *, Transfer> m_running;
    QHash<QString, QString> m_targetOfVideo;
    QSet<QString> m_reservedTargets;
    int m_downloadsTotal = 0;
    int m_downloadsDone = 0;
    QString m_folder;
    int m_sideTasks = 0; // covers still being saved

    std::shared_ptr<Web::DeferredLookupCache> m_cache; // opened by the first address that needs it
    bool m_archiveCache = false;                       // the archive's answers are kept in it
    std::shared_ptr<Download::Records> m_records;      // what downloads wrote where, in the same file
    std::optional<DownloadArchive> m_downloadArchive;
    QSet<int> m_needArchive; // addresses whose road went on to the web archive
    int m_archiveDone = 0;
    QTimer m_archiveTicker;
    std::shared_ptr<Web::CancelToken> m_cancel;
    int m_interrupted = 0; // the signal that stopped the run; 0: none

    Web::NetworkThread m_network; // every job's requests
    QThreadPool m_pool; // last: its destructor waits for the tasks that use the members above
};

// The address as it may appear in a message: control characters shown as "?", long ones shortened.
QString printable(const QString &address, int limit = 120);

} // namespace Cli
