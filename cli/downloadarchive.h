#pragma once

#include <QFile>
#include <QSet>
#include <QString>

namespace Cli {

// The file of "SERVICE ID" lines that --download-archive names: what earlier runs completed.
// Lines that are not of that form are left as they are and mean nothing.
class DownloadArchive
{
public:
    static constexpr qint64 maxLineBytes = 64 * 1024; // not counting the line break
    // Reads the file and keeps it open for appending; a missing file is created. Empty when all
    // went well, otherwise why the file cannot be used.
    QString open(const QString &path);

    bool contains(const QString &key) const { return m_keys.contains(key); }
    // Lines over maxLineBytes that open() read past, meaning nothing.
    int longLines() const { return m_longLines; }
    // Appends the line and flushes it at once: a run that ends suddenly keeps what it finished.
    // Empty when written, otherwise why not.
    QString add(const QString &key);

    // "meipai 642349877"; empty when the page's address names no identifier.
    static QString keyOf(const QString &serviceKey, const QString &id);

private:
    QFile m_file;
    QSet<QString> m_keys;
    int m_longLines = 0;
    bool m_needsBreak = false; // the last line has no line break yet
};

} // namespace Cli
