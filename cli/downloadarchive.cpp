#include "cli/downloadarchive.h"

#include <QRegularExpression>

namespace Cli {

namespace {

// A line as some other tool may also have written it: the service and the identifier, and
// perhaps more after them.
std::optional<QString> keyOfLine(const QByteArray &line)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    if (words.size() < 2 || words.at(0).isEmpty() || words.at(1).isEmpty())
        return std::nullopt;
    return QString::fromUtf8(words.at(0)).toLower() + u' ' + QString::fromUtf8(words.at(1));
}

} // namespace

QString DownloadArchive::open(const QString &path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Append))
        return QStringLiteral("cannot open the download archive %1: %2").arg(path, m_file.errorString());
    m_file.seek(0);
    bool endsWithBreak = true;
    while (!m_file.atEnd()) {
        // At most one byte past the limit: enough to know the line is too long.
        QByteArray line = m_file.readLine(maxLineBytes + 2);
        endsWithBreak = line.endsWith('\n');
        if (!endsWithBreak && line.size() > maxLineBytes) {
            // No line of ours is that long: the rest of it is read past, never taken for lines of its own.
            ++m_longLines;
            while (!endsWithBreak && !m_file.atEnd()) {
                line = m_file.readLine(maxLineBytes + 2);
                endsWithBreak = line.endsWith('\n');
            }
            continue;
        }
        if (const std::optional<QString> key = keyOfLine(line))
            m_keys.insert(*key);
    }
    // A last line without its break would run into the first one we add.
    m_needsBreak = !endsWithBreak;
    return QString();
}

QString DownloadArchive::add(const QString &key)
{
    if (key.isEmpty() || m_keys.contains(key))
        return QString();
    const QByteArray line = (m_needsBreak ? "\n" : "") + key.toUtf8() + '\n';
    if (m_file.write(line) != line.size() || !m_file.flush())
        return QStringLiteral("cannot write the download archive %1: %2").arg(m_file.fileName(), m_file.errorString());
    m_keys.insert(key);
    m_needsBreak = false;
    return QString();
}

QString DownloadArchive::keyOf(const QString &serviceKey, const QString &id)
{
    static const QRegularExpression word(QStringLiteral("^\\S+$"));
    if (id.isEmpty() || !word.match(id).hasMatch())
        return QString();
    return serviceKey + u' ' + id;
}

} // namespace Cli
