#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStringList>

// zavlen-get in a child process, with no proxy or configuration from the environment.
namespace ChildRun {

struct Run
{
    int code = -1;
    bool finished = false;
    QByteArray out;
    QString err;

    QList<QByteArray> lines() const
    {
        QList<QByteArray> l = out.split('\n');
        if (!l.isEmpty() && l.last().isEmpty())
            l.removeLast();
        return l;
    }
};

inline Run run(const QStringList &args, const QString &configHome, const QByteArray &input = {},
               int timeoutMs = 60000)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    p.setProcessEnvironment(env);
    QSignalSpy done(&p, &QProcess::finished);
    p.start(QStringLiteral(ZAVLEN_GET_PATH), args);
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    Run r;
    // The loopback site answers on this thread: wait with the event loop running.
    r.finished = done.wait(timeoutMs);
    if (!r.finished) {
        p.kill();
        p.waitForFinished();
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

inline QJsonObject object(const QByteArray &line)
{
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &err);
    return err.error == QJsonParseError::NoError ? doc.object() : QJsonObject();
}

} // namespace ChildRun
