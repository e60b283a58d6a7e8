#include "children.h"

#include "benchutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
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

bool Server::read()
{
    proxy = qEnvironmentVariable("ZAVLEN_BENCH_PROXY");
    QFile manifest(qEnvironmentVariable("ZAVLEN_BENCH_SITE") + QStringLiteral("/manifest"));
    if (proxy.isEmpty() || !manifest.open(QIODevice::ReadOnly))
        return false;
    while (!manifest.atEnd()) {
        const QStringList f = QString::fromUtf8(manifest.readLine().trimmed()).split(u' ');
        if (f.value(0) == u"address") {
            addresses.append(f.value(2));
            byService[f.value(1)] = f.value(2);
            pageBytes += f.value(3).toLongLong();
        } else if (f.value(0) == u"bigpage") {
            bigPages[f.value(1).toInt()] = {f.value(2), f.value(3)};
        } else if (f.value(0) == u"index") {
            indexes[f.value(1)] = {f.value(2), f.value(3), f.value(4).toInt(), f.value(5).toLongLong()};
        } else if (f.value(0) == u"lost") {
            lostPage = f.value(1);
        }
    }
    return !addresses.isEmpty();
}

Server *server()
{
    static Server *const running = [] {
        auto created = std::make_unique<Server>();
        return created->read() ? created.release() : nullptr;
    }();
    return running;
}

} // namespace Bench
