#pragma once

// Shared by the window's tests: an offscreen application, the loopback site standing in for
// every host, and a Form1 whose outside effects are recorded instead of performed.

#include "app/main_window.h"
#include "config/settings.h"
#include "demo/loopbacksite.h"
#include "update/versioncheck.h"
#include "web/network.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPair>
#include <QStandardPaths>
#include <QStringList>
#include <QTest>
#include <QUrl>
#include <memory>

namespace TestSupport {

struct Recorder
{
    QList<QPair<QString, int>> messages;
    QStringList pages;
    int ends = 0;
    int moves = 0;
};

inline QString hostOf(const QString &address)
{
    return QUrl(address).host();
}

inline QString pathOf(const QString &address)
{
    return QUrl(address).path();
}

// The loopback site answers every host name; the window reaches it through the proxy only.
struct SiteFixture
{
    Demo::LoopbackSite site;
    Config::Settings settings;

    SiteFixture()
    {
        if (!site.listen())
            qFatal("loopback site did not start");
        settings.network.proxy = site.proxyUrl();
        settings.network.timeoutSeconds = 10;
        // The archive on the loopback site speaks plain http, and the tests need not wait for
        // the pace the real one asks for.
        settings.archive.indexUrl = QStringLiteral("http://web.archive.org/cdx/search/cdx");
        settings.archive.replayUrl = QStringLiteral("http://web.archive.org/web/");
        settings.archive.indexPerMinute = 6000;
        settings.archive.replayPerMinute = 6000;
        // Each test asks the archive afresh; the cache is tested where it is the subject.
        settings.cache.enabled = false;
        Web::NetworkAccess::configure(settings);
    }

    // Sets a short time limit for the tests that wait for it to pass.
    void useTimeLimit(int seconds)
    {
        settings.network.timeoutSeconds = seconds;
        Web::NetworkAccess::configure(settings);
    }

    void serveRecord(const QByteArray &body,
                     Demo::Response::Behaviour behaviour = Demo::Response::Behaviour::Normal)
    {
        Demo::Response answer;
        answer.behaviour = behaviour;
        if (behaviour == Demo::Response::Behaviour::Slow) {
            // A byte every half second: never silent, never done.
            answer.slowDelayMs = 500;
            answer.slowChunkBytes = 1;
        }
        answer.contentType = "text/plain; charset=utf-8";
        answer.body = body;
        site.setRoute(hostOf(settings.maker.versionRecordUrl), pathOf(settings.maker.versionRecordUrl), answer);
    }

    int requestsFor(const QString &address) const
    {
        int n = 0;
        for (const Demo::Request &r : site.requests()) {
            if (r.host == hostOf(address) && r.path == pathOf(address))
                ++n;
        }
        return n;
    }
};

inline std::unique_ptr<App::Form1> makeForm(const Config::Settings &settings, Recorder &rec)
{
    auto form = std::make_unique<App::Form1>(settings);
    App::Form1::Hooks hooks;
    hooks.messageBox = [&rec](const QString &text, int style) { rec.messages.append({text, style}); };
    hooks.openPage = [&rec](const QString &address) { rec.pages.append(address); };
    hooks.endProgram = [&rec] { ++rec.ends; };
    hooks.askSavePath = [](const QString &) { return QString(); };
    hooks.startMove = [&rec] { ++rec.moves; };
    form->setHooks(hooks);
    return form;
}

// Until the window waits for nothing: the update check, an extraction and its pictures.
inline bool waitIdle(const App::Form1 &form, int timeoutMs = 60000)
{
    return QTest::qWaitFor([&form] { return !form.isWaiting(); }, timeoutMs);
}

template<typename T = QWidget>
T *control(const QWidget &form, const QString &name)
{
    T *w = form.findChild<T *>(name);
    if (!w)
        qWarning("no control named %s", qPrintable(name));
    return w;
}

inline QColor textColour(const QWidget *w)
{
    return w->palette().color(QPalette::WindowText);
}

inline void prepareEnvironment()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString dir = QDir::tempPath() + QStringLiteral("/zavlen-test-runtime-")
                            + QString::number(QCoreApplication::applicationPid());
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit());
    }
    for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
}

} // namespace TestSupport

#define ZAVLEN_GUI_TEST_MAIN(TestClass)                                                            \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        TestSupport::prepareEnvironment();                                                         \
        QApplication app(argc, argv);                                                              \
        QStandardPaths::setTestModeEnabled(true);                                                  \
        QCoreApplication::setApplicationName(QStringLiteral(#TestClass));                          \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
