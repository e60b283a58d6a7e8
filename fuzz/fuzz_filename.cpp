#include "fuzzcommon.h"
#include "player/downloader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString address = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString name = Player::safeFileName(address);
    Fuzz::require(!name.isEmpty(), "a name is always given");
    Fuzz::require(name.size() <= 120, "at most 120 characters");
    Fuzz::require(name != u"." && name != u"..", "not a directory name");
    for (const QChar c : name) {
        Fuzz::require(c != u'/' && c != u'\\', "no path separator");
        Fuzz::require(c.unicode() >= 0x20 && c.unicode() != 0x7f, "no control character");
        Fuzz::require(c != u'\0', "no NUL");
    }
    Fuzz::require(Player::safeFileName(address) == name, "deterministic");
    return 0;
}
