#include "os/console.h"

#include <QString>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace Os {

namespace {

HANDLE handleOf(std::FILE *stream)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

bool isConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

} // namespace

void prepareStandardStreams()
{
    // Text mode would turn every "\n" into "\r\n": JSON Lines and pipes get the bytes we write.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE handle = GetStdHandle(which);
        DWORD mode = 0;
        if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode))
            SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

// Not _isatty: it says yes to NUL and every other character device as well.
bool isTerminal(std::FILE *stream)
{
    return isConsole(handleOf(stream));
}

int terminalColumns(std::FILE *stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(handleOf(stream), &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
    return 80;
}

void writeText(std::FILE *stream, QByteArrayView utf8)
{
    const HANDLE handle = handleOf(stream);
    if (!isConsole(handle)) {
        std::fwrite(utf8.data(), 1, size_t(utf8.size()), stream);
        std::fflush(stream);
        return;
    }
    // A console shows bytes in its own code page, which is rarely UTF-8; characters it takes as they are.
    std::fflush(stream);
    const QString text = QString::fromUtf8(utf8);
    const auto *at = reinterpret_cast<const wchar_t *>(text.utf16());
    qsizetype left = text.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteConsoleW(handle, at, DWORD(std::min<qsizetype>(left, 16384)), &written, nullptr) || written == 0)
            break;
        at += written;
        left -= written;
    }
}

namespace {

std::atomic<StopRequests *> receiver{nullptr};
std::atomic<int> requestsSeen{0};
HANDLE runEndedEvent = nullptr;

// Runs on a thread the system starts for it.
BOOL WINAPI onConsoleEvent(DWORD type)
{
    const bool closing = type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT;
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && !closing)
        return FALSE;
    const int signal = closing ? SIGTERM : SIGINT;
    if (requestsSeen.fetch_add(1) > 0) {
        // Not ExitProcess: a second request must not wait for anything, DLL detaches included.
        TerminateProcess(GetCurrentProcess(), UINT(128 + signal));
        return TRUE;
    }
    if (StopRequests *to = receiver.load())
        QMetaObject::invokeMethod(to, [to, signal] { emit to->requested(signal); }, Qt::QueuedConnection);
    if (closing) {
        // The system ends the process as soon as this returns (and at the latest after about five
        // seconds): the run gets that long to keep what it has, then main() returns its status.
        WaitForSingleObject(runEndedEvent, 4500);
        Sleep(INFINITE);
    }
    return TRUE;
}

} // namespace

struct StopRequests::Private
{
};

StopRequests::StopRequests(QObject *parent) : QObject(parent), d(std::make_unique<Private>()) {}

StopRequests::~StopRequests()
{
    receiver.store(nullptr);
}

bool StopRequests::start()
{
    if (!runEndedEvent)
        runEndedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    receiver.store(this);
    return SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
}

void StopRequests::runEnded()
{
    if (runEndedEvent)
        SetEvent(runEndedEvent);
}

} // namespace Os
