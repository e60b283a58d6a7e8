#include "cli/batch.h"
#include "os/files.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace Cli {

namespace {

constexpr qsizetype readChunk = 64 * 1024;
// What stands for the address of a line too long to keep: enough to find it in the file.
constexpr qsizetype shownBeginning = 256;

bool holdsControl(const QString &text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control && c != u'\t')
            return true;
    }
    return false;
}

QString beginning(const QString &text)
{
    qsizetype n = std::min(text.size(), shownBeginning);
    if (n < text.size() && text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
}

// Why a batch source of this kind cannot be read to its end, or nullopt when it can. A
// terminal and a socket only make sense as standard input.
std::optional<QString> unsuitable(Os::FileKind kind, bool fromStdin)
{
    switch (kind) {
    case Os::FileKind::Regular:
    case Os::FileKind::Pipe:
    case Os::FileKind::Missing: // opening it says why
        return std::nullopt;
    case Os::FileKind::Socket:
    case Os::FileKind::Terminal:
        return fromStdin ? std::nullopt : std::optional(kind == Os::FileKind::Socket ? QStringLiteral("a socket")
                                                                                      : QStringLiteral("a character device"));
    case Os::FileKind::Folder:
        return QStringLiteral("a folder");
    case Os::FileKind::CharacterDevice:
        return QStringLiteral("a character device");
    case Os::FileKind::BlockDevice:
        return QStringLiteral("a block device");
    case Os::FileKind::Other:
        break;
    }
    return QStringLiteral("not a regular file");
}

BatchResult failure(const QString &message)
{
    return {std::nullopt, message};
}

QString sourceName(const QString &name, bool fromStdin)
{
    return fromStdin ? QStringLiteral("standard input") : QStringLiteral("the batch file %1").arg(name);
}

QString kindError(const QString &name, bool fromStdin, const QString &kind)
{
    return fromStdin ? QStringLiteral("standard input is %1; a batch on standard input must come from a file, "
                                      "a pipe, a socket or a terminal")
                           .arg(kind)
                     : QStringLiteral("the batch file %1 is %2; it must be a regular file or a pipe").arg(name, kind);
}

} // namespace

void BatchSplitter::feed(QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const qsizetype end = bytes.indexOf('\n');
        const QByteArrayView part = end < 0 ? bytes : bytes.first(end);
        // One byte beyond the limit may still be the CR of a CR LF.
        const qsizetype room = maxBatchLineBytes + 1 - m_line.size();
        if (part.size() > room)
            m_dropped = true;
        m_line.append(part.first(std::min(part.size(), room)));
        if (end < 0)
            return;
        endLine();
        bytes = bytes.sliced(end + 1);
    }
}

void BatchSplitter::endLine()
{
    if (!m_dropped && m_line.endsWith('\r'))
        m_line.chop(1);
    const bool tooLong = m_dropped || m_line.size() > maxBatchLineBytes;
    const QString text = QString::fromUtf8(m_line).trimmed();
    m_line.clear();
    m_dropped = false;
    // A long line is judged by its beginning: a comment stays a comment, anything else fails.
    if (text.startsWith(u'#') || (text.isEmpty() && !tooLong))
        return;
    if (tooLong)
        m_lines.append({beginning(text), errorLineTooLong});
    else if (holdsControl(text))
        m_lines.append({text, errorLineBinary});
    else
        m_lines.append({text, std::nullopt});
}

QList<BatchLine> BatchSplitter::finish()
{
    if (!m_line.isEmpty() || m_dropped)
        endLine();
    return std::exchange(m_lines, {});
}

QList<BatchLine> batchLines(QByteArrayView bytes)
{
    BatchSplitter splitter;
    splitter.feed(bytes);
    return splitter.finish();
}

BatchResult readBatch(const QString &name)
{
    const bool fromStdin = name == u"-";
    // Judged before opening as well: opening a device can have effects of its own.
    if (!fromStdin) {
        if (const std::optional<QString> kind = unsuitable(Os::kindOfPath(name), false))
            return failure(kindError(name, fromStdin, *kind));
    }
    QFile file;
    const bool opened = fromStdin ? file.open(fileno(stdin), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)
                                  : (file.setFileName(name), file.open(QIODevice::ReadOnly));
    if (!opened)
        return failure(QStringLiteral("cannot read %1: %2").arg(sourceName(name, fromStdin), file.errorString()));
    if (const std::optional<QString> kind = unsuitable(Os::kindOfOpenFile(file), fromStdin))
        return failure(kindError(name, fromStdin, *kind));

    BatchSplitter splitter;
    QByteArray chunk(readChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 n = Os::readSome(file, chunk.data(), chunk.size());
        if (n < 0)
            return failure(QStringLiteral("cannot read %1: %2").arg(sourceName(name, fromStdin), qt_error_string()));
        if (n == 0)
            break;
        splitter.feed(QByteArrayView(chunk.constData(), n));
    }
    return {splitter.finish(), QString()};
}

} // namespace Cli
