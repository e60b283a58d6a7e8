#pragma once

#include <QString>

// Targets being written anywhere in this process: two transfers into one ".part" would
// interleave their bytes.
namespace Download {

// false when `key` (a cleaned absolute path) is already being written
bool claimTarget(const QString &key);
bool isClaimed(const QString &key);
void releaseTarget(const QString &key);

} // namespace Download
