#pragma once

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace TestSupport {

struct Ran
{
    int exitCode = -1;
    bool finished = false;
    QByteArray out;
    QByteArray err;
};

// Every program run here gets folders of its own: nothing of the user's settings, caches or
// proxies reaches it, and it leaves nothing behind.
inline QProcessEnvironment cleanEnvironment(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        env.remove(QString::fromLatin1(name));
    QDir(home).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(home + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    return env;
}

inline Ran run(const QString &program, const QStringList &arguments, const QProcessEnvironment &env,
               const QString &workingDirectory = QString(), int timeoutMs = 60000)
{
    QProcess process;
    process.setProcessEnvironment(env);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    Ran ran;
    if (!process.waitForStarted(timeoutMs)) {
        ran.err = process.errorString().toUtf8();
        return ran;
    }
    process.closeWriteChannel();
    ran.finished = process.waitForFinished(timeoutMs);
    if (!ran.finished)
        process.kill();
    ran.out = process.readAllStandardOutput();
    ran.err = process.readAllStandardError();
    ran.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return ran;
}

// The build tree installed into a DESTDIR of its own with the prefix a package uses, stripped as a
// package is.
class InstalledTree
{
public:
    bool install()
    {
        if (!m_dir.isValid())
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), m_dir.filePath(QStringLiteral("root")));
        m_log = run(QStringLiteral(ZAVLEN_CMAKE_COMMAND),
                    {QStringLiteral("--install"), QStringLiteral(ZAVLEN_BUILD_DIR), QStringLiteral("--prefix"),
                     QStringLiteral("/usr"), QStringLiteral("--strip")},
                    env);
        return m_log.finished && m_log.exitCode == 0;
    }
    QString log() const { return QString::fromUtf8(m_log.out + m_log.err); }

    QString root() const { return m_dir.filePath(QStringLiteral("root")); }
    QString usr(const QString &relative) const { return root() + QStringLiteral("/usr/") + relative; }
    // A folder for the programs' home and for files the tests write.
    QString scratch(const QString &name) const
    {
        const QString path = m_dir.filePath(QStringLiteral("scratch/") + name);
        QDir().mkpath(path);
        return path;
    }

private:
    QTemporaryDir m_dir;
    Ran m_log;
};

} // namespace TestSupport
