#include "cli/options.h"
#include "cli/runner.h"
#include "web/network.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

void writeText(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

std::optional<QByteArray> readBatch(const QString &name)
{
    QFile file;
    const bool opened = name == u"-" ? file.open(stdin, QIODevice::ReadOnly)
                                     : (file.setFileName(name), file.open(QIODevice::ReadOnly));
    if (!opened)
        return std::nullopt;
    return file.readAll();
}

} // namespace

int main(int argc, char *argv[])
{
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
    if (!parsed.options.batchFile.isEmpty()) {
        const std::optional<QByteArray> batch = readBatch(parsed.options.batchFile);
        if (!batch) {
            writeText(stderr, QStringLiteral("zavlen-get: cannot read the batch file %1\n").arg(parsed.options.batchFile));
            return 2;
        }
        addresses += Cli::batchAddresses(*batch);
    }

    Web::NetworkAccess::configure(parsed.settings);
    Cli::Runner runner(parsed.options, parsed.settings, addresses, stdout, stderr, Cli::isTerminal(stderr));
    QObject::connect(&runner, &Cli::Runner::finished, &app, [](int status) { QCoreApplication::exit(status); });
    runner.start();
    return app.exec();
}
