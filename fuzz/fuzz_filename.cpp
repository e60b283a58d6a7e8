#include "fuzzcommon.h"
#include "download/filename.h"

#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString address = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString name = Download::safeFileName(address);
    Fuzz::require(!name.isEmpty(), "a name is always given");
    // Room for ".part" and a free-name number up to " (999)" within the file system's 255 bytes.
    Fuzz::require(QFile::encodeName(name).size() + 5 + 6 <= Download::maxFileNameBytes, "at most 244 bytes");
    Fuzz::require(QString::fromUtf8(name.toUtf8()) == name, "no broken surrogate pair");
    Fuzz::require(!name.endsWith(Download::partSuffix, Qt::CaseInsensitive), "never an unfinished file's name");
    Fuzz::require(name != u"." && name != u"..", "not a directory name");
    for (const QChar c : name) {
        Fuzz::require(c != u'/' && c != u'\\', "no path separator");
        Fuzz::require(c.unicode() >= 0x20 && c.unicode() != 0x7f, "no control character");
        Fuzz::require(c != u'\0', "no NUL");
    }
    const QString numbered = Download::numberedName(name, 2147483647);
    Fuzz::require(QFile::encodeName(numbered + Download::partSuffix).size() <= Download::maxFileNameBytes,
                  "a numbered name still fits");
    Fuzz::require(Download::safeFileName(address) == name, "deterministic");
    return 0;
}
