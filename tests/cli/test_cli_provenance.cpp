#include "clifixture.h"
#include "download/provenance.h"
#include "extract/road.h"
#include "rescuesupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>

using TestSupport::answer;
using TestSupport::meipaiPage;

namespace {

QString qs(const TagLib::String &s)
{
    return QString::fromStdString(s.to8Bit(true));
}

} // namespace

// Every downloaded file keeps where it came from: tags, the record beside it, its cover and its date.
class TestCliProvenance final : public TestSupport::CliFixture
{
    Q_OBJECT

    QString demoArchived(Extract::Service service) const
    {
        for (const auto &[s, address] : Demo::archivedDemoAddresses(m_settings)) {
            if (s == service)
                return address;
        }
        return {};
    }

private Q_SLOTS:
    void initTestCase()
    {
        Demo::useDemoSite(m_settings, QString());
        m_settings.archive.indexPerMinute = 6000;
        m_settings.archive.replayPerMinute = 6000;
        QVERIFY(startSite());
    }

    // Every provenance option on an archived page, read back with TagLib and as JSON.
    void provenance()
    {
        QTemporaryDir out;
        QVERIFY(out.isValid());
        const QString address = demoArchived(Extract::Service::Meipai);
        const Extract::RoadResult want = Extract::runRoad(address, std::nullopt, m_settings, Web::networkFetch());
        QVERIFY2(want.ok() && want.archived, qPrintable(want.result.status));
        const Extract::VideoInfo v = want.info();
        const TestSupport::Run r = run({QStringLiteral("--set"), QStringLiteral("archive/replayPerMinute=6000"),
                                        QStringLiteral("--set"), QStringLiteral("archive/cdx=") + m_settings.archive.indexUrl,
                                        QStringLiteral("--set"), QStringLiteral("archive/replay=") + m_settings.archive.replayUrl,
                                        QStringLiteral("-d"), QStringLiteral("-o"), out.path(),
                                        QStringLiteral("--write-info-json"), QStringLiteral("--embed-metadata"),
                                        QStringLiteral("--write-thumbnail"), QStringLiteral("--mtime"),
                                        QStringLiteral("-O"), QStringLiteral("{service}-{id} {title}.{ext}"), address});
        QVERIFY2(r.code == 0, r.err.constData());
        const QString stem = QStringLiteral("meipai-%1 %2")
                                 .arg(Extract::pageId(v.service, v.page, m_settings), v.description.left(60).trimmed());
        const QString video = out.filePath(stem + QStringLiteral(".mp4"));
        QVERIFY2(QFileInfo::exists(video), qPrintable(QDir(out.path()).entryList().join(u',') + QString::fromUtf8(r.err)));

        TagLib::MP4::File tagged(QFile::encodeName(video).constData());
        QVERIFY(tagged.isValid());
        QCOMPARE(qs(tagged.tag()->title()), v.description);
        QCOMPARE(qs(tagged.tag()->artist()), v.author);
        QCOMPARE(qs(tagged.tag()->comment()), v.page + u'\n' + v.archived->page);
        const std::optional<QDateTime> date = Download::pageDate(v.date);
        QVERIFY(date);
        QCOMPARE(qs(tagged.tag()->item("\251day").toStringList().toString()), date->toString(Qt::ISODate));
        QCOMPARE(QFileInfo(video).lastModified().toSecsSinceEpoch(), date->toSecsSinceEpoch());

        QFile json(out.filePath(stem + QStringLiteral(".info.json")));
        QVERIFY(json.open(QIODevice::ReadOnly));
        const QJsonObject o = QJsonDocument::fromJson(json.readAll()).object();
        QFile bytes(video);
        QVERIFY(bytes.open(QIODevice::ReadOnly));
        const QByteArray content = bytes.readAll();
        QCOMPARE(o.value(QStringLiteral("address")).toString(), address);
        QCOMPARE(o.value(QStringLiteral("archived")).toObject().value(QStringLiteral("page")).toString(), v.archived->page);
        QCOMPARE(o.value(QStringLiteral("size")).toInteger(), content.size());
        QCOMPARE(o.value(QStringLiteral("sha256")).toString().toLatin1(),
                 QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
        const QDateTime downloaded = QDateTime::fromString(o.value(QStringLiteral("downloaded")).toString(), Qt::ISODate);
        QVERIFY(downloaded.isValid() && downloaded.timeSpec() == Qt::UTC);
        QVERIFY(qAbs(downloaded.secsTo(QDateTime::currentDateTimeUtc())) < 600);

        const QStringList covers = QDir(out.path()).entryList({stem + QStringLiteral(".jpg"), stem + QStringLiteral(".png"),
                                                               stem + QStringLiteral(".webp")});
        QVERIFY2(covers.size() == 1, r.err.constData());
        QVERIFY(QDir(out.path()).entryList({QStringLiteral("*.part")}).isEmpty());
    }

    // A video TagLib cannot read keeps its bytes as served, with a note; the download stands.
    void untaggableVideoIsKept()
    {
        QTemporaryDir out;
        QVERIFY(out.isValid());
        const QByteArray served = "not an mp4 at all, but bytes someone wants";
        m_site.setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/media/891001"),
                        answer(meipaiPage(QStringLiteral("http://mvvideo.test/891001.mp4"))));
        m_site.setRoute(QStringLiteral("mvvideo.test"), QStringLiteral("/891001.mp4"), answer(served, "video/mp4"));
        const TestSupport::Run r = run({QStringLiteral("-d"), QStringLiteral("-o"), out.path(),
                                        QStringLiteral("--embed-metadata"),
                                        QStringLiteral("http://www.meipai.com/media/891001")});
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY(r.err.contains("not tagged"));
        QFile f(out.filePath(QStringLiteral("891001.mp4")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), served);
    }
};

QTEST_GUILESS_MAIN(TestCliProvenance)
#include "test_cli_provenance.moc"
