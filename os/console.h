#pragma once

#include <QByteArrayView>
#include <QObject>
#include <cstdio>
#include <memory>

// What a command-line program needs of the terminal it runs in, the same on every system.
namespace Os {

// Standard output and error carry bytes exactly as written (no line-ending translation), and a
// terminal understands the progress line's escape sequences. First thing in main().
void prepareStandardStreams();

bool isTerminal(std::FILE *stream);
// The width of the terminal `stream` is shown in, 80 when it cannot be told.
int terminalColumns(std::FILE *stream);

// UTF-8 text to `stream`, flushed. A terminal gets it in the form it shows correctly whatever its
// code page; a file or pipe gets the bytes as they are.
void writeText(std::FILE *stream, QByteArrayView utf8);

// Asks a run to stop cleanly: SIGINT and SIGTERM, or on Windows Ctrl-C, Ctrl-Break and closing
// the console. The first request is delivered to the main thread's event loop as the number of
// the signal it stands for (2 or 15); a second one ends the process at once with 128 + that number.
class StopRequests : public QObject
{
    Q_OBJECT
public:
    explicit StopRequests(QObject *parent = nullptr);
    ~StopRequests() override;

    // false when the system would not hand the requests over
    bool start();
    // The run has ended: a request the system waits on (closing the console) may go ahead.
    void runEnded();

Q_SIGNALS:
    void requested(int signalNumber);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Os
