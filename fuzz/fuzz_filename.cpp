#include "fuzzcommon.h"
#include "player/filename.h"

#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString address = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString name = Player::safeFileName(address);
    Fuzz::require(!name.isEmpty(), "a name is always given");
    // Room for ".part" and a free-name number up to " (999)" within the file system's 255 bytes.
    Fuzz::require(QFile::encodeName(name).size() + 5 + 6 <= Player::maxFileNameBytes, "at most 244 bytes");
    Fuzz::require(QString::fromUtf8(name.toUtf8()) == name, "no broken surrogate pair");
    Fuzz::require(!name.endsWith(Player::partSuffix, Qt::CaseInsensitive), "never an unfinished file's name");
    Fuzz::require(name != u"." && name != u"..", "not a directory name");
    for (const QChar c : name) {
        Fuzz::require(c != u'/' && c != u'\\', "no path separator");
        Fuzz::require(c.unicode() >= 0x20 && c.unicode() != 0x7f, "no control character");
        Fuzz::require(c != u'\0', "no NUL");
    }
    const QString numbered = Player::numberedName(name, 2147483647);
    Fuzz::require(QFile::encodeName(numbered + Player::partSuffix).size() <= Player::maxFileNameBytes,
                  "a numbered name still fits");
    Fuzz::require(Player::safeFileName(address) == name, "deterministic");
    return 0;
}
