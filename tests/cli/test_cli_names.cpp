#include "clifixture.h"
#include "rescuesupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using TestSupport::answer;
using TestSupport::parseLine;

namespace {

// Two videos of one author, with titles that differ only after their last dot, and a third
// whose address offers a program's extension.
struct Clip
{
    QString id;
    QString title;
    QString video;
    QString cover;
};

const QHash<QString, Clip> clips = {
    {QStringLiteral("A"), {QStringLiteral("9300001"), QStringLiteral("作者的v1.5版"), QStringLiteral("http://mvvideo.test/a/clip.mp4"),
                           QStringLiteral("http://mvimg.test/a.jpg")}},
    {QStringLiteral("B"), {QStringLiteral("9300002"), QStringLiteral("作者的v1.6版"), QStringLiteral("http://mvvideo.test/b/clip.mp4"),
                           QStringLiteral("http://mvimg.test/b.jpg")}},
    {QStringLiteral("C"), {QStringLiteral("9300003"), QStringLiteral("作者的安装"), QStringLiteral("http://mvvideo.test/c/setup.exe"),
                           QStringLiteral("http://mvimg.test/c.jpg")}},
};

QByteArray videoBytes(const QString &clip)
{
    // An ISO media file by its first bytes, then bytes that tell the videos apart at any offset.
    return QByteArray("\0\0\0\x10" "ftypisom\0\0\0\0", 16)
           + Demo::LoopbackSite::generatedBytes(100000 * (clip.at(0).unicode() - u'A' + 1), 120000);
}

QByteArray coverBytes(const QString &clip)
{
    return "\xff\xd8\xff\xe0 cover of " + clip.toUtf8();
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString pageOf(const QString &clip)
{
    return QStringLiteral("http://www.meipai.com/media/") + clips.value(clip).id;
}

} // namespace

// Files of different videos under one name: none is skipped for the other, continued with the
// other's bytes, or replaced by a file meant for beside another; whatever else lies in the
// folder keeps its bytes.
class TestCliNames final : public TestSupport::CliFixture
{
    Q_OBJECT

    QTemporaryDir m_work;

    void serve(const QString &clip, bool cutShort)
    {
        const Clip &c = clips.value(clip);
        m_site.setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/media/") + c.id,
                        answer(QStringLiteral("<html><title>%1 - 美拍</title><div data-video=\"%2\"></div>"
                                              "<img src=\"%3\"></html>")
                                   .arg(c.title, c.video, c.cover)
                                   .toUtf8()));
        Demo::Response video = answer(videoBytes(clip), "video/mp4");
        if (cutShort)
            video.behaviour = Demo::Response::Behaviour::ShortBody;
        m_site.setRoute(QUrl(c.video).host(), QUrl(c.video).path(), video);
        m_site.setRoute(QUrl(c.cover).host(), QUrl(c.cover).path(), answer(coverBytes(clip), "image/jpeg"));
    }

    // What `kind` says the file holds: a clip's video ("A"), the start of it ("A-part"), its cover
    // ("coverA"), its record ("jsonA", describing the file named `video`), or a stranger's bytes.
    static QString check(const QString &path, const QString &kind, const QString &folder)
    {
        const QByteArray bytes = readAll(path);
        const QString clip = kind.right(1);
        if (kind.size() == 1)
            return bytes == videoBytes(kind) ? QString() : QStringLiteral("not video %1").arg(kind);
        if (kind.endsWith(QLatin1String("-part"))) {
            const QByteArray whole = videoBytes(kind.left(1));
            return !bytes.isEmpty() && bytes.size() < whole.size() && whole.startsWith(bytes)
                       ? QString()
                       : QStringLiteral("not the start of %1").arg(kind.left(1));
        }
        if (kind.startsWith(QLatin1String("cover")))
            return bytes == coverBytes(clip) ? QString() : QStringLiteral("not cover %1").arg(clip);
        if (kind == u"stranger")
            return bytes == "somebody else's file" ? QString() : QStringLiteral("the stranger's file changed");
        const QJsonObject o = QJsonDocument::fromJson(bytes).object();
        const QByteArray sha = QCryptographicHash::hash(videoBytes(clip), QCryptographicHash::Sha256).toHex();
        if (o.value(QStringLiteral("address")).toString() != pageOf(clip)
            || o.value(QStringLiteral("sha256")).toString().toLatin1() != sha)
            return QStringLiteral("not the record of %1").arg(clip);
        // The record describes bytes still on disk, under a name of this folder.
        for (const QString &name : QDir(folder).entryList(QDir::Files)) {
            if (QCryptographicHash::hash(readAll(QDir(folder).filePath(name)), QCryptographicHash::Sha256).toHex() == sha)
                return QString();
        }
        return QStringLiteral("the record of %1 describes no file").arg(clip);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(startSite());
        QVERIFY(m_work.isValid());
    }

    void init() { m_cacheHome.clear(); }

    void sameNameDifferentVideos_data()
    {
        QTest::addColumn<QString>("nameTemplate");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("existing"); // "NAME" holding "somebody else's file"
        QTest::addColumn<QStringList>("runs");     // the clips of each run; "A!": A's transfer is cut short
        QTest::addColumn<QStringList>("expected"); // every file in the folder afterwards, "NAME=KIND"
        const QString author = QStringLiteral("{author}.{ext}");
        const QStringList thumbs{QStringLiteral("--write-thumbnail")};
        const QStringList sides{QStringLiteral("--write-info-json"), QStringLiteral("--write-thumbnail")};
        QTest::newRow("a finished file of another video, a later run")
            << author << QStringList() << QStringList() << QStringList{QStringLiteral("A"), QStringLiteral("B")}
            << QStringList{QStringLiteral("作者.mp4=A"), QStringLiteral("作者 (2).mp4=B")};
        QTest::newRow("an unfinished file of another video, a later run")
            << author << QStringList() << QStringList() << QStringList{QStringLiteral("A!"), QStringLiteral("B")}
            << QStringList{QStringLiteral("作者.mp4.part=A-part"), QStringLiteral("作者 (2).mp4=B")};
        QTest::newRow("the same video finished, a later run")
            << author << QStringList() << QStringList() << QStringList{QStringLiteral("A"), QStringLiteral("A")}
            << QStringList{QStringLiteral("作者.mp4=A")};
        QTest::newRow("the same video unfinished, a later run")
            << author << QStringList() << QStringList() << QStringList{QStringLiteral("A!"), QStringLiteral("A")}
            << QStringList{QStringLiteral("作者.mp4=A")};
        QTest::newRow("a stranger's file, a stranger's part")
            << author << QStringList() << QStringList{QStringLiteral("作者.mp4"), QStringLiteral("作者 (2).mp4.part")}
            << QStringList{QStringLiteral("A")}
            << QStringList{QStringLiteral("作者.mp4=stranger"), QStringLiteral("作者 (2).mp4.part=stranger"),
                           QStringLiteral("作者 (3).mp4=A")};
        QTest::newRow("a video named like a picture, and its cover")
            << QStringLiteral("{id}.jpg") << thumbs << QStringList() << QStringList{QStringLiteral("A")}
            << QStringList{QStringLiteral("9300001.jpg=A"), QStringLiteral("9300001.jpg.jpg=coverA")};
        QTest::newRow("a stranger's file under the cover's name")
            << author << thumbs << QStringList{QStringLiteral("作者.jpg")} << QStringList{QStringLiteral("A")}
            << QStringList{QStringLiteral("作者.jpg=stranger"), QStringLiteral("作者 (2).mp4=A"),
                           QStringLiteral("作者 (2).jpg=coverA")};
        const QStringList titled{QStringLiteral("作者的v1.5版=A"), QStringLiteral("作者的v1.5版.info.json=jsonA"),
                                 QStringLiteral("作者的v1.5版.jpg=coverA"), QStringLiteral("作者的v1.6版=B"),
                                 QStringLiteral("作者的v1.6版.info.json=jsonB"), QStringLiteral("作者的v1.6版.jpg=coverB")};
        QTest::newRow("titles that differ after their last dot, one run")
            << QStringLiteral("{title}") << sides << QStringList() << QStringList{QStringLiteral("A B")} << titled;
        QTest::newRow("titles that differ after their last dot, two runs")
            << QStringLiteral("{title}") << sides << QStringList() << QStringList{QStringLiteral("A"), QStringLiteral("B")}
            << titled;
        QTest::newRow("a program's extension, twice")
            << QString() << QStringList() << QStringList() << QStringList{QStringLiteral("C"), QStringLiteral("C")}
            << QStringList{QStringLiteral("setup.mp4=C")};
    }

    void sameNameDifferentVideos()
    {
        QFETCH(QString, nameTemplate);
        QFETCH(QStringList, options);
        QFETCH(QStringList, existing);
        QFETCH(QStringList, runs);
        QFETCH(QStringList, expected);
        static int row = 0;
        const QString out = m_work.filePath(QStringLiteral("out-%1").arg(++row));
        QVERIFY(QDir().mkpath(out));
        m_cacheHome = m_work.filePath(QStringLiteral("cache-%1").arg(row));
        for (const QString &name : std::as_const(existing)) {
            QFile f(QDir(out).filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("somebody else's file");
        }
        QStringList args{QStringLiteral("-J"), QStringLiteral("1"), QStringLiteral("-d"), QStringLiteral("-o"), out};
        if (!nameTemplate.isEmpty())
            args << QStringLiteral("-O") << nameTemplate;
        args << options;
        for (const QString &step : std::as_const(runs)) {
            QStringList pages;
            for (QString clip : step.split(u' ')) {
                const bool cutShort = clip.endsWith(u'!');
                clip.remove(u'!');
                serve(clip, cutShort);
                pages << pageOf(clip);
            }
            const TestSupport::Run r = run(args + pages);
            QVERIFY(r.finished);
            QVERIFY2(r.code == (step.contains(u'!') ? 1 : 0), r.err.constData());
        }
        QStringList names;
        for (const QString &entry : std::as_const(expected)) {
            const QString name = entry.section(u'=', 0, -2);
            names << name;
            const QString problem = check(QDir(out).filePath(name), entry.section(u'=', -1), out);
            QVERIFY2(problem.isEmpty(), qPrintable(name + QStringLiteral(": ") + problem));
        }
        names.sort();
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name), names);
    }

    // Every name the video could take is somebody else's: the download fails, nothing is touched.
    void noNameLeft()
    {
        QTemporaryDir out;
        QVERIFY(out.isValid());
        QStringList taken{QStringLiteral("作者.mp4")};
        for (int n = 2; n <= 999; ++n)
            taken << QStringLiteral("作者 (%1).mp4").arg(n);
        for (const QString &name : std::as_const(taken)) {
            QFile f(out.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("somebody else's file");
        }
        serve(QStringLiteral("A"), false);
        const TestSupport::Run r = run({QStringLiteral("-d"), QStringLiteral("-o"), out.path(), QStringLiteral("-O"),
                                        QStringLiteral("{author}.{ext}"), pageOf(QStringLiteral("A"))});
        QVERIFY(r.finished);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("every numbered name"), r.err.constData());
        const QStringList names = QDir(out.path()).entryList(QDir::Files);
        QCOMPARE(names.size(), taken.size());
        for (const QString &name : names)
            QCOMPARE(readAll(out.filePath(name)), QByteArray("somebody else's file"));
    }

    // A public address that sends the download or the cover on to this machine or a private
    // network: the hop is refused before any request goes there, and nothing of it is saved.
    void redirectsToLocalAddresses_data()
    {
        QTest::addColumn<QString>("what"); // "video" or "cover"
        QTest::addColumn<QString>("target"); // {port}: a listening port on this machine
        QTest::addColumn<bool>("allowed");   // network/allowLocalAddresses=true
        QTest::newRow("video to 127.0.0.1") << "video" << "http://127.0.0.1:{port}/local.bin" << false;
        QTest::newRow("video to localhost") << "video" << "http://localhost:{port}/local.bin" << false;
        QTest::newRow("video to a private network") << "video" << "http://10.0.0.1/local.bin" << false;
        QTest::newRow("cover to 127.0.0.1") << "cover" << "http://127.0.0.1:{port}/local.bin" << false;
        QTest::newRow("cover to localhost") << "cover" << "http://localhost:{port}/local.bin" << false;
        QTest::newRow("cover to a private network") << "cover" << "http://10.0.0.1/local.bin" << false;
        QTest::newRow("video to 127.0.0.1, allowed") << "video" << "http://127.0.0.1:{port}/local.bin" << true;
    }

    void redirectsToLocalAddresses()
    {
        QFETCH(QString, what);
        QFETCH(QString, target);
        QFETCH(bool, allowed);
        QTcpServer local;
        QVERIFY(local.listen(QHostAddress::LocalHost));
        int connections = 0;
        connect(&local, &QTcpServer::newConnection, this, [&] {
            ++connections;
            delete local.nextPendingConnection();
        });
        target.replace(QStringLiteral("{port}"), QString::number(local.serverPort()));
        const QByteArray secret = "\xff\xd8\xff\xe0 bytes of this machine";
        const QUrl to(target);
        m_site.setRoute(to.host(), to.path(), answer(secret, "image/jpeg"));
        m_site.setRoute(QStringLiteral("mvimg.test"), QStringLiteral("/moved.jpg"), Demo::Response::redirect(target.toUtf8()));
        m_site.setRoute(QStringLiteral("mvvideo.test"), QStringLiteral("/moved.mp4"), Demo::Response::redirect(target.toUtf8()));
        m_site.setRoute(QStringLiteral("mvvideo.test"), QStringLiteral("/plain.mp4"), answer(videoBytes(QStringLiteral("A")), "video/mp4"));
        m_site.setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/media/9300010"),
                        answer(QStringLiteral("<html><title>作者的重定向 - 美拍</title><div data-video=\"%1\"></div>"
                                              "<img src=\"%2\"></html>")
                                   .arg(what == u"video" ? QStringLiteral("http://mvvideo.test/moved.mp4")
                                                         : QStringLiteral("http://mvvideo.test/plain.mp4"),
                                        what == u"cover" ? QStringLiteral("http://mvimg.test/moved.jpg")
                                                         : QStringLiteral("http://mvimg.test/a.jpg"))
                                   .toUtf8()));
        QTemporaryDir out;
        QVERIFY(out.isValid());
        const qsizetype before = m_site.requests().size();
        QStringList args{QStringLiteral("-d"), QStringLiteral("-o"), out.path(), QStringLiteral("--write-thumbnail"),
                         QStringLiteral("--timeout"), QStringLiteral("5")};
        if (allowed)
            args << QStringLiteral("--set") << QStringLiteral("network/allowLocalAddresses=true");
        const TestSupport::Run r = run(args + QStringList{QStringLiteral("http://www.meipai.com/media/9300010")});
        QVERIFY(r.finished);
        bool reached = false;
        for (const Demo::Request &request : m_site.requests().mid(before))
            reached = reached || request.host == to.host();
        QCOMPARE(reached, allowed);
        QCOMPARE(connections, 0); // through the proxy or not, nothing went there by itself
        bool saved = false;
        for (const QString &name : QDir(out.path()).entryList(QDir::Files))
            saved = saved || readAll(out.filePath(name)) == secret;
        QCOMPARE(saved, allowed);
        if (!allowed) {
            QVERIFY2(r.err.contains(what == u"video" ? "重定向到了本机或内网地址" : "Refused a redirect"), r.err.constData());
            QCOMPARE(r.code, what == u"video" ? 1 : 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestCliNames)
#include "test_cli_names.moc"
