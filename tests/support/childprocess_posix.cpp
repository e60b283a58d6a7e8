#include "support/childprocess.h"

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace TestSupport {

bool limitMemory(QProcess &p, qint64 bytes)
{
    // The sanitizers reserve terabytes of address space up front: no memory limit under them.
#if defined(__SANITIZE_ADDRESS__)
    Q_UNUSED(p);
    Q_UNUSED(bytes);
    return false;
#else
    p.setChildProcessModifier([bytes] {
        const rlimit limit{rlim_t(bytes), rlim_t(bytes)};
        ::setrlimit(RLIMIT_DATA, &limit);
    });
    return true;
#endif
}

bool limitFileSize(QProcess &p, qint64 bytes)
{
    p.setChildProcessModifier([bytes] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(bytes), rlim_t(bytes)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    return true;
}

void prepareStopRequests(QProcess &) {}

bool askToStop(QProcess &p, int signalNumber)
{
    return p.processId() > 0 && ::kill(pid_t(p.processId()), signalNumber) == 0;
}

QString endlessDevice()
{
    return QStringLiteral("/dev/zero");
}

QString emptyDevice()
{
    return QStringLiteral("/dev/null");
}

bool isSuperuser()
{
    return ::geteuid() == 0;
}

bool underWine()
{
    return false;
}

} // namespace TestSupport
