#include "children.h"

#include "benchutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace Bench {

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

namespace {

// name=value strings of the children's environment: ours without proxy variables, with a private
// runtime folder, an empty configuration folder and the offscreen platform.
const std::vector<std::string> &childEnvironment()
{
    static const std::vector<std::string> env = [] {
        QDir(scratch().path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(scratch().filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QMap<QString, QString> ours{
            {QStringLiteral("XDG_RUNTIME_DIR"), scratch().filePath(QStringLiteral("runtime"))},
            {QStringLiteral("XDG_CONFIG_HOME"), scratch().filePath(QStringLiteral("config"))},
            {QStringLiteral("XDG_CACHE_HOME"), scratch().filePath(QStringLiteral("cache"))},
            {QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen")}};
        const QStringList dropped{QStringLiteral("http_proxy"),  QStringLiteral("https_proxy"),
                                  QStringLiteral("HTTP_PROXY"),  QStringLiteral("HTTPS_PROXY"),
                                  QStringLiteral("all_proxy"),   QStringLiteral("ALL_PROXY")};
        std::vector<std::string> out;
        const QStringList system = QProcessEnvironment::systemEnvironment().toStringList();
        for (const QString &entry : system) {
            const QString name = entry.section(u'=', 0, 0);
            if (!dropped.contains(name) && !ours.contains(name))
                out.push_back(entry.toStdString());
        }
        for (auto it = ours.cbegin(); it != ours.cend(); ++it)
            out.push_back(QString(it.key() + u'=' + it.value()).toStdString());
        return out;
    }();
    return env;
}

} // namespace

// posix_spawn and wait4 rather than QProcess: the child's own CPU time comes with its status, and
// no event loop or pipe reader of ours runs while it does.
Run run(const QString &program, const QStringList &args, const QString &stdinFile, int timeoutMs)
{
    Run r;
    const std::string path = QFile::encodeName(program).toStdString();
    std::vector<std::string> argStore{path};
    for (const QString &a : args)
        argStore.push_back(a.toStdString());
    std::vector<char *> argv;
    for (std::string &a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (const std::string &e : childEnvironment())
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);

    static int serial = 0;
    const std::string errPath =
        scratch().filePath(QStringLiteral("stderr-%1").arg(++serial)).toStdString();
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, stdinFile.isEmpty() ? "/dev/null" : QFile::encodeName(stdinFile).constData(),
                                     O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    const auto t0 = Bench::Clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, path.c_str(), &files, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0)
        return r;

    // A watchdog ends a child that outlives its time; the measuring thread only waits.
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    bool killed = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> hold(lock);
        if (!ended.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return done; })) {
            killed = true;
            ::kill(pid, SIGKILL);
        }
    });
    int status = 0;
    rusage usage{};
    pid_t waited;
    do
        waited = ::wait4(pid, &status, 0, &usage);
    while (waited < 0 && errno == EINTR);
    r.seconds = Bench::secondsSince(t0);
    {
        std::lock_guard<std::mutex> hold(lock);
        done = true;
    }
    ended.notify_one();
    watchdog.join();

    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    r.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    r.maxRssKb = usage.ru_maxrss;
    QFile err(QString::fromStdString(errPath));
    if (err.open(QIODevice::ReadOnly))
        r.err = err.readAll();
    err.remove();
    r.ok = waited == pid && !killed && WIFEXITED(status);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
