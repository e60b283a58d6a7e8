#include "os/console.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Os {

void prepareStandardStreams() {}

bool isTerminal(std::FILE *stream)
{
    return ::isatty(::fileno(stream)) != 0;
}

int terminalColumns(std::FILE *stream)
{
    winsize ws{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
        return ws.ws_col;
    return 80;
}

void writeText(std::FILE *stream, QByteArrayView utf8)
{
    std::fwrite(utf8.data(), 1, size_t(utf8.size()), stream);
    std::fflush(stream);
}

namespace {

int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t signalsSeen = 0;

// The first signal asks the run to stop cleanly, through the pipe; a second one ends it now.
extern "C" void onStopSignal(int signal)
{
    if (signalsSeen != 0)
        ::_exit(128 + signal);
    signalsSeen = 1;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

struct StopRequests::Private
{
    std::unique_ptr<QSocketNotifier> notifier;
};

StopRequests::StopRequests(QObject *parent) : QObject(parent), d(std::make_unique<Private>()) {}

StopRequests::~StopRequests() = default;

bool StopRequests::start()
{
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    if (::sigaction(SIGINT, &action, nullptr) != 0 || ::sigaction(SIGTERM, &action, nullptr) != 0)
        return false;
    d->notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(d->notifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(signalPipe[0], &byte, 1) == 1)
            emit requested(int(byte));
    });
    return true;
}

void StopRequests::runEnded() {}

} // namespace Os
