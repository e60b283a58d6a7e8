#include "demo/demosite.h"

#include "config/settings.h"
#include "demo/demoresources.h"
#include "demo/laterdemo.h"
#include "demo/loopbackarchive.h"
#include "demo/loopbacksite.h"

#include <memory>

namespace Demo {

namespace {

void media(LoopbackSite &site, const QString &address, const QString &file, const QByteArray &type)
{
    if (address.isEmpty())
        return;
    const Response r = bytesResponse(file, type);
    if (!r.body.isEmpty())
        route(site, address, r);
}

QString pageFile(Extract::Service service)
{
    return QLatin1String("pages/") + Extract::serviceKey(service) + QLatin1String(".html");
}

// One archived sample: the live site has lost the page, the archive has it from `timestamp`.
struct ArchivedSample
{
    Extract::Service service;
    QString address;
    QString timestamp;
    QString liveId;     // the sample page's identifier ...
    QString archivedId; // ... and the one of the lost page
    bool videoKept;     // the archive also has the video file
};

QList<ArchivedSample> archivedSamples(const Config::Settings &s)
{
    using Extract::Service;
    return {
        {Service::Weishi, QLatin1String("http://www.") + s.services.weishi.domain + QLatin1String("/t/2001234567891"),
         QStringLiteral("20141108203015"), QStringLiteral("2001234567890"), QStringLiteral("2001234567891"), true},
        {Service::Meipai, QLatin1String("http://") + s.services.meipai.host + QLatin1String("/media/642349877"),
         QStringLiteral("20150312094501"), QStringLiteral("642349876"), QStringLiteral("642349877"), true},
        {Service::Kuaishou,
         QLatin1String("http://") + s.services.kuaishou.host + QLatin1String("/i/photo/lwx/12346?userId=88&photoId=12346"),
         QStringLiteral("20150619071244"), QStringLiteral("12345"), QStringLiteral("12346"), false},
        {Service::Miaopai, QLatin1String("http://") + s.services.miaopai.host + QLatin1String("/show/abcDEF124~xyz.htm"),
         QStringLiteral("20160422183009"), QString(), QString(), false},
    };
}

void addArchive(LoopbackSite &site, const Config::Settings &s)
{
    auto archive = std::make_shared<LoopbackArchive>(s.archive.indexUrl, s.archive.replayUrl);
    site.addHandler([archive](const Request &request) { return archive->answer(request); });

    const QString answerText = resourceText(QStringLiteral("pages/weishi-answer.txt"), s);
    for (const ArchivedSample &sample : archivedSamples(s)) {
        QString page = resourceText(pageFile(sample.service), s);
        QString answer = answerText;
        if (!sample.liveId.isEmpty()) {
            page.replace(sample.liveId, sample.archivedId);
            answer.replace(sample.liveId, sample.archivedId);
        }
        archive->addCapture(sample.address, sample.timestamp, textResponse(page, "text/html; charset=utf-8"));

        const Extract::FetchFn endpoint = [&](const QString &url) {
            // Captured half a minute after the page: the replay leads there.
            archive->addCapture(url, sample.timestamp.left(12) + QStringLiteral("45"),
                                textResponse(answer, "text/plain; charset=utf-8"));
            return std::optional<QString>(answer);
        };
        const Extract::Result r = Extract::extract(sample.service, sample.address, page, endpoint, s);
        if (sample.videoKept)
            archive->addCapture(r.video(), sample.timestamp, bytesResponse(QStringLiteral("media/sample.mp4"), "video/mp4"));
        archive->addCapture(r.display.coverAddress, sample.timestamp,
                            bytesResponse(QStringLiteral("media/cover.jpg"), "image/jpeg"));
        archive->addCapture(r.display.avatarAddress, sample.timestamp,
                            bytesResponse(QStringLiteral("media/avatar.png"), "image/png"));
        if (sample.service == Extract::Service::Meipai) {
            // The service later hid its addresses: a capture from then has an encoded value, no address.
            QString later = page;
            later.replace(r.video(), QStringLiteral("aHR0cDovL212dmlkZW8xLm1laXR1ZGF0YS5jb20vNjQyMzQ5ODc3Lm1wNA=="));
            archive->addCapture(sample.address, QStringLiteral("20170105113000"),
                                textResponse(later, "text/html; charset=utf-8"));
        }
    }
    addLaterSamples(site, *archive, s);
}

} // namespace

QList<QPair<Extract::Service, QString>> demoAddresses(const Config::Settings &s)
{
    using Extract::Service;
    return {
        {Service::Weishi, QLatin1String("http://www.") + s.services.weishi.domain + QLatin1String("/t/2001234567890")},
        {Service::Meipai, QLatin1String("http://") + s.services.meipai.host + QLatin1String("/media/642349876")},
        {Service::Kuaishou, QLatin1String("http://") + s.services.kuaishou.host + QLatin1String("/i/photo/lwx/12345")},
        {Service::Miaopai, QLatin1String("http://") + s.services.miaopai.host + QLatin1String("/show/abcDEF123~xyz.htm")},
    };
}

QString demoPage(Extract::Service service, const Config::Settings &s)
{
    return resourceText(pageFile(service), s);
}

QList<QPair<Extract::Service, QString>> archivedDemoAddresses(const Config::Settings &s)
{
    QList<QPair<Extract::Service, QString>> out;
    for (const ArchivedSample &sample : archivedSamples(s))
        out.append({sample.service, sample.address});
    return out;
}

void useDemoSite(Config::Settings &settings, const QString &proxyUrl)
{
    settings.network.proxy = proxyUrl;
    for (QString *address : {&settings.archive.indexUrl, &settings.archive.replayUrl}) {
        if (address->startsWith(QLatin1String("https://")))
            address->remove(4, 1);
    }
}

void addDemoSite(LoopbackSite &site, const Config::Settings &s)
{
    addArchive(site, s);
    route(site, s.maker.versionRecordUrl, textResponse(QStringLiteral("appsp:" ZAVLEN_BUILT_IN_VERSION "|"), "text/plain; charset=utf-8"));

    const QString answer = resourceText(QStringLiteral("pages/weishi-answer.txt"), s);
    const auto pages = demoAddresses(s);
    for (const auto &[service, address] : pages) {
        const QString page = resourceText(pageFile(service), s);
        route(site, address, textResponse(page, "text/html; charset=utf-8"));

        // Every address the page leads to is served, so the demonstration works whatever the host names.
        const Extract::FetchFn endpoint = [&](const QString &url) {
            route(site, url, textResponse(answer, "text/plain; charset=utf-8"));
            return std::optional<QString>(answer);
        };
        const Extract::Result r = Extract::extract(service, address, page, endpoint, s);
        media(site, r.video(), QStringLiteral("media/sample.mp4"), "video/mp4");
        media(site, r.display.coverAddress, QStringLiteral("media/cover.jpg"), "image/jpeg");
        media(site, r.display.avatarAddress, QStringLiteral("media/avatar.png"), "image/png");
    }
}

} // namespace Demo
