#include "children.h"

#include "benchutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <memory>
#include <utility>

namespace Bench {

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

namespace {

QProcessEnvironment childEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        env.remove(QString::fromLatin1(name));
    QDir(scratch().path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(scratch().filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch().filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), scratch().filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

} // namespace

Run run(const QString &program, const QStringList &args, const QString &stdinFile, int timeoutMs)
{
    QProcess p;
    p.setProcessEnvironment(childEnvironment());
    p.setStandardOutputFile(QProcess::nullDevice());
    if (!stdinFile.isEmpty())
        p.setStandardInputFile(stdinFile);
    const auto t0 = Bench::Clock::now();
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(10000))
        return r;
    r.ok = p.waitForFinished(timeoutMs);
    r.seconds = Bench::secondsSince(t0);
    if (!r.ok) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitCode();
    r.ok = p.exitStatus() == QProcess::NormalExit;
    r.err = p.readAllStandardError();
    return r;
}

QString tool(const char *name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

bool Server::start()
{
    process.setProcessEnvironment(childEnvironment());
    process.start(Bench::binaryDir() + QStringLiteral("/zavlen-bench-server"), {});
    if (!process.waitForStarted(10000))
        return false;
    for (;;) {
        if (!process.canReadLine() && !process.waitForReadyRead(20000))
            return false;
        while (process.canReadLine()) {
            const QStringList f = QString::fromUtf8(process.readLine().trimmed()).split(u' ');
            if (f.value(0) == u"port")
                proxy = QStringLiteral("http://127.0.0.1:") + f.value(1);
            else if (f.value(0) == u"address") {
                addresses.append(f.value(2));
                byService[f.value(1)] = f.value(2);
                pageBytes += f.value(3).toLongLong();
            }
            else if (f.value(0) == u"bigpage")
                bigPages[f.value(1).toInt()] = {f.value(2), f.value(3)};
            else if (f.value(0) == u"ready")
                return !proxy.isEmpty();
        }
    }
}

Server::~Server()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
    }
}

namespace {

Server *runningServer = nullptr;

void stopServer()
{
    delete std::exchange(runningServer, nullptr);
}

} // namespace

Server *server()
{
    static const bool started = [] {
        auto created = std::make_unique<Server>();
        if (!created->start())
            return false;
        runningServer = created.release();
        // Run as the application ends, whether the benchmarks passed or failed.
        qAddPostRoutine(stopServer);
        return true;
    }();
    return started ? runningServer : nullptr;
}

} // namespace Bench
