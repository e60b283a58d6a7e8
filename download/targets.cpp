#include "download/targets.h"

#include <QMutex>
#include <QSet>

namespace Download {

namespace {

QMutex runningMutex;
QSet<QString> runningTargets;

} // namespace

bool claimTarget(const QString &key)
{
    QMutexLocker lock(&runningMutex);
    if (runningTargets.contains(key))
        return false;
    runningTargets.insert(key);
    return true;
}

bool isClaimed(const QString &key)
{
    QMutexLocker lock(&runningMutex);
    return runningTargets.contains(key);
}

void releaseTarget(const QString &key)
{
    QMutexLocker lock(&runningMutex);
    runningTargets.remove(key);
}

} // namespace Download
