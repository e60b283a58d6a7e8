#include "support/testos.h"

#include <QFile>

#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// The sanitizers reserve terabytes of address space up front: no memory limit under them.
#if defined(__SANITIZE_ADDRESS__)
#define ZAVLEN_NO_MEMORY_LIMIT
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZAVLEN_NO_MEMORY_LIMIT
#endif
#endif

namespace TestSupport {

bool limitMemory(QProcess &p, qint64 bytes)
{
#if defined(ZAVLEN_NO_MEMORY_LIMIT)
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

bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

PseudoTerminal::~PseudoTerminal()
{
    closeChildSide();
    if (m_master >= 0)
        ::close(m_master);
}

bool PseudoTerminal::open()
{
    if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0)
        return false;
    ::fcntl(m_master, F_SETFL, O_NONBLOCK);
    return true;
}

QString PseudoTerminal::childPath() const
{
    return QString::fromLocal8Bit(::ttyname(m_slave));
}

void PseudoTerminal::becomeStandardError(QProcess &p)
{
    p.setChildProcessModifier([slave = m_slave] { ::dup2(slave, STDERR_FILENO); });
}

void PseudoTerminal::closeChildSide()
{
    if (m_slave >= 0)
        ::close(m_slave);
    m_slave = -1;
}

bool PseudoTerminal::write(const QByteArray &bytes)
{
    return ::write(m_master, bytes.constData(), size_t(bytes.size())) == ssize_t(bytes.size());
}

QByteArray PseudoTerminal::readAvailable()
{
    QByteArray out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(m_master, buffer, sizeof buffer)) > 0;)
        out.append(buffer, n);
    return out;
}

bool libraryLoaded(const QString &name)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(QByteArray("/lib" + name.toUtf8() + ".so"));
}

bool readOnlyHolds()
{
    return ::geteuid() != 0;
}

bool underWine()
{
    return false;
}

} // namespace TestSupport
