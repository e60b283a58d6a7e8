#include "fuzzcommon.h"
#include "update/versioncheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using Update::Outcome;
    const QString record = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const Update::Decision d = Update::decide(record);
    const std::optional<QString> announced = Update::announcedVersion(record);
    switch (d.outcome) {
    case Outcome::Current:
        Fuzz::require(d.version == Update::builtInVersion, "current means the built-in version");
        break;
    case Outcome::Newer:
        Fuzz::require(!d.version.isEmpty() && d.version != Update::builtInVersion, "newer is another version");
        Fuzz::require(!d.version.contains(u'|'), "the version ends at the bar");
        Fuzz::require(!Update::newerVersionMessage(d.version).isEmpty(), "message");
        break;
    case Outcome::Unavailable:
        Fuzz::require(!announced || announced->isEmpty(), "unavailable only without a usable entry");
        break;
    }
    if (d.outcome != Outcome::Unavailable)
        Fuzz::require(announced == d.version, "decision and entry agree");
    Fuzz::require(Update::decide(std::nullopt).outcome == Outcome::Unavailable, "no record");
    return 0;
}
