#include "cli/batch.h"
#include "cli/options.h"
#include "cli/runner.h"
#include "version.h"
#include "extract/memory.h"
#include "web/network.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <memory>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

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

bool catchStopSignals()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

void writeText(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char *argv[])
{
    Extract::keepFreedMemory();
    // Qt's own event dispatcher wakes a thread once for any number of events posted to it in the
    // meantime; glib's writes to the thread's wake-up descriptor for every one of them, and each
    // page's transfer posts dozens from the network thread to its job. No GUI needs glib here.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zavlen-get"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZAVLEN_VERSION));

    const Cli::ParseOutcome parsed = Cli::parseArguments(QCoreApplication::arguments());
    switch (parsed.action) {
    case Cli::ParseOutcome::Action::Help:
        writeText(stdout, parsed.text);
        return 0;
    case Cli::ParseOutcome::Action::Version:
        writeText(stdout, QStringLiteral("zavlen-get %1\n").arg(QStringLiteral(ZAVLEN_VERSION)));
        return 0;
    case Cli::ParseOutcome::Action::UsageError:
        writeText(stderr, QStringLiteral("zavlen-get: %1\nTry 'zavlen-get --help' for more information.\n")
                              .arg(parsed.text));
        return 2;
    case Cli::ParseOutcome::Action::Run:
        break;
    }

    QStringList addresses = parsed.options.addresses;
    QHash<int, QString> refused;
    if (!parsed.options.batchFile.isEmpty()) {
        const Cli::BatchResult batch = Cli::readBatch(parsed.options.batchFile);
        if (!batch.lines) {
            writeText(stderr, QStringLiteral("zavlen-get: %1\n").arg(batch.error));
            return 2;
        }
        for (const Cli::BatchLine &line : *batch.lines) {
            if (line.error)
                refused.insert(int(addresses.size()), *line.error);
            addresses.append(line.address);
        }
    }

    Web::NetworkAccess::configure(parsed.settings);
    Cli::Runner runner(parsed.options, parsed.settings, addresses, stdout, stderr, Cli::isTerminal(stderr));
    for (auto it = refused.cbegin(); it != refused.cend(); ++it)
        runner.refuse(it.key(), it.value());
    QObject::connect(&runner, &Cli::Runner::finished, &app, [](int status) { QCoreApplication::exit(status); });
    std::unique_ptr<QSocketNotifier> stops;
    if (catchStopSignals()) {
        stops = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(stops.get(), &QSocketNotifier::activated, &runner, [&runner] {
            char byte = 0;
            while (::read(signalPipe[0], &byte, 1) == 1)
                runner.interrupt(byte);
        });
    }
    runner.start();
    return app.exec();
}
