// zavlen-bench-site DIR: lays out the benchmarks' site as files for a web server of its own
// (nginx, started by bench/run), one folder per host name: the sample pages grown to the size of
// real ones, Weishi's endpoint answer, large generated videos, and web archive indexes.
// DIR/manifest names what is there, one item a line:
//   address SERVICE ADDRESS BYTES   a sample page
//   bigpage MB PAGE VIDEO           a page whose video file is MB megabytes
//   index NAME INDEXURL REPLAYURL ROWS BYTES   an archive whose index answers with ROWS rows
//   lost ADDRESS                    a page the live site has lost
#include "config/settings.h"
#include "demo/demosite.h"
#include "demo/loopbacksite.h"
#include "pages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <QUrl>

#include <cstdio>

namespace {

const QString videoHost = QStringLiteral("bench.media.example");
const QString lostPage = QStringLiteral("http://www.meipai.com/media/1");

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

// An index answer of `rows` captures, none of them of the lost page: what a server that ignores
// the limit asked for may send.
QByteArray indexAnswer(int rows)
{
    if (rows == 0)
        return "[]\n";
    QByteArray out = "[[\"timestamp\",\"original\",\"statuscode\",\"digest\"]";
    out.reserve(qsizetype(rows) * 72);
    for (int i = 0; i < rows; ++i) {
        const int day = i % 28 + 1;
        out += ",\n[\"2015" + QByteArray::number(i % 12 + 1).rightJustified(2, '0')
             + QByteArray::number(day).rightJustified(2, '0') + "094501\",\"http://www.meipai.com/media/"
             + QByteArray::number(1000000 + i) + "\",\"200\",\"" + QByteArray::number(i, 36).rightJustified(8, 'A')
             + "\"]";
    }
    out += "]\n";
    return out;
}

// The file a request for `path` on `host` reads: the server takes the decoded path and ignores
// the query.
QString fileFor(const QString &dir, const QString &host, const QString &path)
{
    const qsizetype query = path.indexOf(u'?');
    return dir + u'/' + host + QUrl::fromPercentEncoding((query < 0 ? path : path.left(query)).toUtf8());
}

bool writeBody(const QString &file, const Demo::Response &r)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (r.generatedSize < 0)
        return f.write(r.body) == r.body.size();
    constexpr qint64 chunk = 1 << 20;
    for (qint64 at = 0; at < r.generatedSize; at += chunk) {
        const QByteArray bytes = Demo::LoopbackSite::generatedBytes(at, std::min(chunk, r.generatedSize - at));
        if (f.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: zavlen-bench-site DIR\n", stderr);
        return 2;
    }
    const QString dir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const Config::Settings settings;
    Demo::LoopbackSite site;
    Demo::addDemoSite(site, settings);

    QFile manifestFile(dir + QStringLiteral("/manifest"));
    if (!QDir().mkpath(dir) || !manifestFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    QTextStream manifest(&manifestFile);
    const Extract::FetchFn noEndpoint = [](const QString &) { return std::optional<QString>(); };
    for (const auto &[service, address] : Demo::demoAddresses(settings)) {
        const Bench::GrownPage grown = Bench::grownKeepingFields(service, address, Demo::demoPage(service, settings),
                                                                 noEndpoint, settings, pageBytes);
        if (!grown.sameFields)
            return 1;
        Demo::Response page;
        page.body = grown.page.toUtf8();
        const QUrl url(address);
        site.setRoute(url.host(), url.path(QUrl::FullyEncoded), page);
        manifest << "address " << Extract::serviceKey(service) << ' ' << address << ' ' << page.body.size() << '\n';
    }
    for (const int mb : {64, 256}) {
        Demo::Response page;
        page.body = bigVideoPage(mb);
        site.setRoute(settings.services.meipai.host, QStringLiteral("/media/9000%1").arg(mb), page);
        Demo::Response video;
        video.contentType = "video/mp4";
        video.generatedSize = qint64(mb) * 1024 * 1024;
        site.setRoute(videoHost, QStringLiteral("/%1m.mp4").arg(mb), video);
        manifest << "bigpage " << mb << " http://" << settings.services.meipai.host << "/media/9000" << mb << " http://"
                 << videoHost << '/' << mb << "m.mp4\n";
    }
    for (const auto &[name, rows] : {std::pair("empty", 0), std::pair("rows200000", 200000)}) {
        const QString host = QStringLiteral("archive-%1.example").arg(QLatin1String(name));
        Demo::Response index;
        index.body = indexAnswer(rows);
        site.setRoute(host, QStringLiteral("/cdx/search/cdx"), index);
        manifest << "index " << name << " http://" << host << "/cdx/search/cdx http://" << host << "/web/ " << rows
                 << ' ' << index.body.size() << '\n';
    }
    manifest << "lost " << lostPage << '\n';

    bool written = true;
    site.forEachRoute([&](const QString &host, const QString &path, const Demo::Response &r) {
        written = written && writeBody(fileFor(dir, host, path), r);
    });
    manifest.flush();
    return written && manifestFile.error() == QFile::NoError ? 0 : 1;
}
