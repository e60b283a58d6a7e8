#pragma once

#include <QElapsedTimer>
#include <QString>
#include <chrono>
#include <cstdio>
#include <optional>

namespace Cli {

// Addresses that went on to the web archive, while some of them still wait for it.
struct ArchiveProgress
{
    int done = 0;
    int needing = 0;
    std::chrono::milliseconds nextQuery{0}; // until the next index query may go
    int perMinute = 20;                     // index queries a minute
};

struct ProgressState
{
    int addressesDone = 0;
    int addressesTotal = 0;
    int downloadsDone = 0;
    int downloadsTotal = 0;
    int downloadsActive = 0;
    qint64 received = 0;     // over the running downloads
    qint64 total = -1;       // -1 while any running download's size is unknown
    double bytesPerSecond = 0;
    std::optional<ArchiveProgress> archive;
};

QString formatBytes(qint64 bytes);
// "网页存档 12/40 · 下次查询 3 秒后 · 约 1 分 48 秒": the time left reckoned from the pace, one
// index query for each address still waiting.
QString archiveLine(const ArchiveProgress &archive);
// Columns `text` takes on a terminal: East Asian wide characters take two.
int displayWidth(QStringView text);
// One line of at most width - 1 characters, so that a terminal never wraps it.
QString progressLine(const ProgressState &state, int width);

// A progress line redrawn in place on a terminal; notes scroll above it.
class Progress
{
public:
    Progress(bool drawn, std::FILE *stream);

    void update(const ProgressState &state, bool force = false);
    void note(const QString &text);  // one whole line, always written
    // Output to another stream that may share the terminal: the progress line steps aside for it.
    void writeAbove(std::FILE *stream, const QByteArray &bytes);
    void finish();                   // removes the line
    bool isDrawn() const { return m_drawn; }

private:
    void draw();
    void clear();

    bool m_drawn;
    bool m_visible = false;
    std::FILE *m_stream;
    ProgressState m_state;
    QElapsedTimer m_sinceDraw;
};

} // namespace Cli
