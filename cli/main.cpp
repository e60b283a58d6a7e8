#include "cli/batch.h"
#include "cli/options.h"
#include "cli/runner.h"
#include "version.h"
#include "os/console.h"
#include "os/system.h"
#include "web/network.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

void writeText(std::FILE *stream, const QString &text)
{
    Os::writeText(stream, text.toUtf8());
}

} // namespace

int main(int argc, char *argv[])
{
    Os::prepareStandardStreams();
    Os::keepFreedMemory();
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
    Cli::Runner runner(parsed.options, parsed.settings, addresses, stdout, stderr, Os::isTerminal(stderr));
    for (auto it = refused.cbegin(); it != refused.cend(); ++it)
        runner.refuse(it.key(), it.value());
    QObject::connect(&runner, &Cli::Runner::finished, &app, [](int status) { QCoreApplication::exit(status); });
    Os::StopRequests stops;
    QObject::connect(&stops, &Os::StopRequests::requested, &runner, &Cli::Runner::interrupt);
    stops.start();
    runner.start();
    const int status = app.exec();
    stops.runEnded();
    return status;
}
