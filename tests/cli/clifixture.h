#pragma once

// Shared by the tests that run the built zavlen-get: the loopback site with the sample pages,
// reached through --proxy only, and a way to run the program and collect what it wrote.

#include "cli/record.h"
#include "config/settings.h"
#include "demo/demosite.h"
#include "demo/loopbacksite.h"
#include "web/network.h"
#include "support/testos.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace TestSupport {

struct Run
{
    int code = -1;
    bool finished = false;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QByteArray out;
    QByteArray err;

    QList<QByteArray> lines() const
    {
        QList<QByteArray> l = out.split('\n');
        if (!l.isEmpty() && l.last().isEmpty())
            l.removeLast();
        return l;
    }
};

inline QJsonObject parseLine(const QByteArray &line)
{
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &err);
    return err.error == QJsonParseError::NoError ? doc.object() : QJsonObject();
}

// Far above what zavlen-get needs for a batch, far below holding a stream of hundreds of MB.
inline constexpr qint64 childMemory = 160 * 1024 * 1024;

// The test classes derive from this; startSite() belongs in their initTestCase().
class CliFixture : public QObject
{
protected:
    Demo::LoopbackSite m_site;
    Config::Settings m_settings;
    QTemporaryDir m_home;
    QList<QPair<Extract::Service, QString>> m_pages;
    // Where the archive lookups' cache lives; empty: each run gets a fresh one of its own, so
    // that no run answers from what an earlier one was told.
    QString m_cacheHome;
    int m_runs = 0;

    bool startSite()
    {
        if (!m_home.isValid() || !m_site.listen())
            return false;
        m_settings.network.proxy = m_site.proxyUrl();
        Demo::addDemoSite(m_site, m_settings);
        Web::NetworkAccess::configure(m_settings);
        m_pages = Demo::demoAddresses(m_settings);
        return m_pages.size() == 4;
    }

    Run run(QStringList args, const QByteArray &input = {}, int timeoutMs = 90000)
    {
        QProcess p;
        return run(p, args, input, timeoutMs);
    }

    // With `p` prepared by the caller (standard input, limits).
    Run run(QProcess &p, QStringList args, const QByteArray &input = {}, int timeoutMs = 90000)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                                 "no_proxy", "NO_PROXY"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"),
                   m_cacheHome.isEmpty() ? m_home.filePath(QStringLiteral("cache-%1").arg(++m_runs)) : m_cacheHome);
        p.setProcessEnvironment(env);
        args = QStringList{QStringLiteral("--proxy"), m_site.proxyUrl()} + args;
        QSignalSpy done(&p, &QProcess::finished);
        p.start(QStringLiteral(ZAVLEN_GET_PATH), args);
        if (!input.isEmpty())
            p.write(input);
        p.closeWriteChannel();
        Run r;
        // The site answers on this thread: wait with the event loop running.
        r.finished = done.wait(timeoutMs);
        if (!r.finished) {
            p.kill();
            p.waitForFinished();
        }
        r.code = p.exitCode();
        r.status = p.exitStatus();
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }

    Cli::Record expected(const QString &address, std::optional<Extract::Service> site = std::nullopt) const
    {
        return Cli::extractAddress(address, site, m_settings);
    }

    QStringList pageAddresses() const
    {
        QStringList l;
        for (const auto &p : m_pages)
            l << p.second;
        return l;
    }
};

} // namespace TestSupport
