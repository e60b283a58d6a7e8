#include "support/testos.h"

#include <QLibrary>

#include <windows.h>

namespace TestSupport {

bool limitMemory(QProcess &p, qint64 bytes)
{
    // A job object holds the child once it runs; the moment before is too short to matter here.
    QObject::connect(&p, &QProcess::started, &p, [&p, bytes] {
        const HANDLE job = CreateJobObjectW(nullptr, nullptr);
        if (!job)
            return;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        limits.ProcessMemoryLimit = SIZE_T(bytes);
        const HANDLE child = OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(p.processId()));
        if (child && SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits))
            AssignProcessToJobObject(job, child);
        if (child)
            CloseHandle(child);
        // Kept open while the child lives; the system closes it with the test.
    });
    return true;
}

bool limitFileSize(QProcess &, qint64)
{
    return false;
}

void prepareStopRequests(QProcess &p)
{
    p.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *args) {
        args->flags |= CREATE_NEW_PROCESS_GROUP;
    });
}

bool askToStop(QProcess &p, int)
{
    // Ctrl-C cannot be sent to a group of its own; Ctrl-Break can, and the programs take it alike.
    return p.processId() > 0 && GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, DWORD(p.processId())) != 0;
}

QString endlessDevice()
{
    return QString();
}

QString emptyDevice()
{
    return QStringLiteral("NUL");
}

bool makeFifo(const QString &)
{
    return false;
}

// Windows' consoles are driven through ConPTY, which these tests do not do.
PseudoTerminal::~PseudoTerminal() = default;

bool PseudoTerminal::open()
{
    return false;
}

QString PseudoTerminal::childPath() const
{
    return QString();
}

void PseudoTerminal::becomeStandardError(QProcess &) {}

void PseudoTerminal::closeChildSide() {}

bool PseudoTerminal::write(const QByteArray &)
{
    return false;
}

QByteArray PseudoTerminal::readAvailable()
{
    return QByteArray();
}

bool libraryLoaded(const QString &name)
{
    const QString file = name + QStringLiteral(".dll");
    return GetModuleHandleW(reinterpret_cast<const wchar_t *>(file.utf16())) != nullptr;
}

bool readOnlyHolds()
{
    return false;
}

bool underWine()
{
    return QLibrary::resolve(QStringLiteral("ntdll"), "wine_get_version") != nullptr;
}

} // namespace TestSupport
