#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

namespace Cli {

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
};

QString formatBytes(qint64 bytes);
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

private:
    void draw();
    void clear();

    bool m_drawn;
    bool m_visible = false;
    std::FILE *m_stream;
    ProgressState m_state;
    QElapsedTimer m_sinceDraw;
};

int terminalWidth();
bool isTerminal(std::FILE *stream);

} // namespace Cli
