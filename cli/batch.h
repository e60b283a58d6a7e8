#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

namespace Cli {

// Longest batch line, not counting its line break: far beyond any page address, small enough
// that a file without line breaks can never make us hold much of it.
inline constexpr qsizetype maxBatchLineBytes = 64 * 1024;

// One line of a batch that stands for an address: the address, or why the line cannot be one.
struct BatchLine
{
    QString address;              // trimmed; only its beginning when the line was too long
    std::optional<QString> error; // set: the line gives a failed result with this message
};

static_assert(maxBatchLineBytes == 65536, "errorLineTooLong names the limit");
inline const QString errorLineTooLong =
    QStringLiteral("the batch line is longer than 65536 bytes; it was not read as an address");
// A character of Unicode category Cc other than tab: no address holds one, so the line is taken
// for binary data.
inline const QString errorLineBinary =
    QStringLiteral("the batch line holds control characters (binary data); it was not read as an address");

// Cuts batch bytes into lines as they arrive. Holds at most one line of maxBatchLineBytes: the
// rest of a longer line is dropped as it comes.
class BatchSplitter
{
public:
    void feed(QByteArrayView bytes);
    // After the last bytes: the lines in input order, blank and comment lines left out.
    QList<BatchLine> finish();

private:
    void endLine();

    QByteArray m_line;
    bool m_dropped = false;
    QList<BatchLine> m_lines;
};

// The lines of a batch held in memory as a whole.
QList<BatchLine> batchLines(QByteArrayView bytes);

struct BatchResult
{
    std::optional<QList<BatchLine>> lines;
    QString error; // why the batch could not be read: a usage error
};

// Reads the batch file `name` ("-": standard input) in bounded chunks. A named file must be a
// regular file or a pipe; standard input may also be a terminal or a socket.
BatchResult readBatch(const QString &name);

} // namespace Cli
