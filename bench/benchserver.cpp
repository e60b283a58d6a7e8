// zavlen-bench-server: the sample site, its pages grown to the size of real ones, plus large
// generated videos on a loopback port, in a process of its own so that the clients measured do
// not share its event loop.
// Prints "port N", then one "address SERVICE ADDRESS BYTES" line per sample page, then "ready".
// Ends on SIGTERM, SIGINT or SIGHUP, when its parent ends, and when its standard input is a pipe
// that closes: a benchmark run that fails or is interrupted never leaves it behind.
#include "config/settings.h"
#include "demo/demosite.h"
#include "demo/loopbacksite.h"
#include "pages.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <QUrl>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// Quits the event loop of `app` on the signals and when the parent goes away. The handlers are
// set even for signals ignored by whoever started us (a shell's background job ignores SIGINT).
bool quitWithParent(QCoreApplication &app)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto *signalled = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(signalled, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
#ifdef Q_OS_LINUX
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
    // The pipe a parent holds open on our standard input closes when the parent ends, however it
    // ends: also when it died before prctl() above.
    struct stat in;
    if (::fstat(STDIN_FILENO, &in) == 0 && S_ISFIFO(in.st_mode)) {
        auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
        QObject::connect(input, &QSocketNotifier::activated, &app, [input] {
            char bytes[256];
            if (::read(STDIN_FILENO, bytes, sizeof bytes) <= 0) {
                input->setEnabled(false);
                QCoreApplication::quit();
            }
        });
    }
    return true;
}

const QString videoHost = QStringLiteral("bench.media.example");

// What a video page of the services weighs with its surroundings.
constexpr qsizetype pageBytes = 186 * 1024;

// A page the Meipai cutting reads, pointing at a generated file of `megabytes` MB.
QByteArray bigVideoPage(int megabytes)
{
    return QStringLiteral("<html><head><meta charset=\"utf-8\"><title>基准测试的视频 大文件</title></head>"
                          "<body><div data-video=\"http://%1/%2m.mp4\"></div>"
                          "<span class=\"date\">2015-06-01</span></body></html>")
        .arg(videoHost)
        .arg(megabytes)
        .toUtf8();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (!quitWithParent(app))
        return 1;
    const Config::Settings settings;
    Demo::LoopbackSite site;
    if (!site.listen())
        return 1;
    Demo::addDemoSite(site, settings);

    QTextStream out(stdout);
    out << "port " << site.port() << Qt::endl;
    const Extract::FetchFn noEndpoint = [](const QString &) { return std::optional<QString>(); };
    for (const auto &[service, address] : Demo::demoAddresses(settings)) {
        const Bench::GrownPage grown = Bench::grownKeepingFields(service, address, Demo::demoPage(service, settings),
                                                                 noEndpoint, settings, pageBytes);
        if (!grown.sameFields)
            return 1;
        Demo::Response page;
        page.body = grown.page.toUtf8();
        const QUrl url(address);
        site.setRoute(url.host(),
                      url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment | QUrl::FullyEncoded),
                      page);
        out << "address " << Extract::serviceKey(service) << ' ' << address << ' ' << page.body.size() << Qt::endl;
    }
    for (const int mb : {64, 256}) {
        Demo::Response page;
        page.body = bigVideoPage(mb);
        site.setRoute(settings.meipaiHost, QStringLiteral("/media/9000%1").arg(mb), page);
        Demo::Response video;
        video.contentType = "video/mp4";
        video.generatedSize = qint64(mb) * 1024 * 1024;
        site.setRoute(videoHost, QStringLiteral("/%1m.mp4").arg(mb), video);
        out << "bigpage " << mb << " http://" << settings.meipaiHost << "/media/9000" << mb << " http://"
            << videoHost << '/' << mb << "m.mp4" << Qt::endl;
    }
    out << "ready" << Qt::endl;
    return app.exec();
}
