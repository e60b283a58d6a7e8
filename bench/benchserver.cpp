// zavlen-bench-server: the sample site plus large generated videos on a loopback port, in a
// process of its own so that the clients measured do not share its event loop.
// Prints "port N", then one "address SERVICE ADDRESS" line per sample page, then "ready".
#include "config/settings.h"
#include "demo/demosite.h"
#include "demo/loopbacksite.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

const QString videoHost = QStringLiteral("bench.media.example");

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
    const Config::Settings settings;
    Demo::LoopbackSite site;
    if (!site.listen())
        return 1;
    Demo::addDemoSite(site, settings);

    QTextStream out(stdout);
    out << "port " << site.port() << Qt::endl;
    for (const auto &[service, address] : Demo::demoAddresses(settings))
        out << "address " << Extract::serviceKey(service) << ' ' << address << Qt::endl;
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
