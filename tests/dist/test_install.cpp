// The installed tree: every file where a desktop system and a package expect it, and both programs
// working from there alone.

#include "installfixture.h"

#include <QDirIterator>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <unistd.h>

using TestSupport::InstalledTree;

namespace {

const QString appId = QStringLiteral(ZAVLEN_APP_ID);

enum class Kind { File, Program, Link };

struct Entry
{
    QString path; // under /usr
    Kind kind;
    QString linkTarget;
};

QList<Entry> expectedLayout()
{
    const QString bash = QStringLiteral(ZAVLEN_BASH_COMPLETION_DIR);
    QList<Entry> layout{
        {QStringLiteral("bin/zavlen-get"), Kind::Program, {}},
        {QStringLiteral("bin/zavlen-video"), Kind::Link, QStringLiteral("../libexec/zavlen/zavlen-video")},
        {QStringLiteral("libexec/zavlen/zavlen-video"), Kind::Program, {}},
        {QStringLiteral("libexec/zavlen/skinh.she"), Kind::File, {}},
        {QStringLiteral("libexec/zavlen/zavlen-playback.so"), Kind::File, {}},
        {QStringLiteral("share/applications/") + appId + QStringLiteral(".desktop"), Kind::File, {}},
        {QStringLiteral("share/metainfo/") + appId + QStringLiteral(".metainfo.xml"), Kind::File, {}},
        {QStringLiteral("share/metainfo/" ZAVLEN_CLI_ID ".metainfo.xml"), Kind::File, {}},
        {QStringLiteral("share/icons/hicolor/scalable/apps/") + appId + QStringLiteral(".svg"), Kind::File, {}},
        {QStringLiteral("share/man/man1/zavlen-get.1.gz"), Kind::File, {}},
        {QStringLiteral("share/man/man1/zavlen-video.1.gz"), Kind::File, {}},
        {bash + QStringLiteral("/zavlen-get"), Kind::File, {}},
        {bash + QStringLiteral("/zavlen-video"), Kind::Link, QStringLiteral("zavlen-get")},
        {QStringLiteral("share/zsh/vendor-completions/_zavlen-get"), Kind::File, {}},
        {QStringLiteral("share/doc/zavlen/copyright"), Kind::File, {}},
        {QStringLiteral("share/doc/zavlen/changelog.Debian.gz"), Kind::File, {}},
        {QStringLiteral("share/lintian/overrides/zavlen"), Kind::File, {}},
    };
    for (const int size : {16, 32, 48, 64, 128, 256})
        layout.append({QStringLiteral("share/icons/hicolor/%1x%1/apps/").arg(size) + appId + QStringLiteral(".png"),
                       Kind::File, {}});
    return layout;
}

QString linkText(const QString &path)
{
    char target[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), target, sizeof target);
    return n < 0 ? QString() : QFile::decodeName(QByteArray(target, int(n)));
}

QColor pixelOf(const QString &picture, QPoint at)
{
    const QImage image(picture);
    return image.isNull() ? QColor() : image.pixelColor(at);
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private:
    InstalledTree m_tree;

private slots:
    void initTestCase()
    {
        QVERIFY2(m_tree.install(), qPrintable(m_tree.log()));
    }

    void layout_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("linkTarget");
        for (const Entry &e : expectedLayout())
            QTest::newRow(qPrintable(e.path)) << e.path << int(e.kind) << e.linkTarget;
    }
    void layout()
    {
        QFETCH(QString, path);
        QFETCH(int, kind);
        QFETCH(QString, linkTarget);
        const QFileInfo info(m_tree.usr(path));
        QVERIFY2(info.exists(), qPrintable(path + QStringLiteral(" is missing")));
        switch (Kind(kind)) {
        case Kind::Link:
            QVERIFY(info.isSymLink());
            // Relative, so that the tree works wherever it is unpacked.
            QCOMPARE(linkText(info.filePath()), linkTarget);
            QVERIFY(QFileInfo(QFile::symLinkTarget(info.filePath())).isFile());
            break;
        case Kind::Program:
            QVERIFY(!info.isSymLink());
            QVERIFY(info.isExecutable());
            break;
        case Kind::File:
            QVERIFY(!info.isSymLink());
            QVERIFY(info.isFile());
            QVERIFY(!info.isExecutable());
            break;
        }
    }

    // Nothing else: a stray file (a skin in bin/, a test program) would end up in the package.
    void nothingElse()
    {
        QSet<QString> expected;
        for (const Entry &e : expectedLayout())
            expected.insert(e.path);
        QStringList unexpected;
        QDirIterator it(m_tree.root(), QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString relative = QDir(m_tree.usr(QString())).relativeFilePath(it.next());
            if (!expected.contains(relative))
                unexpected.append(relative);
        }
        QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QLatin1Char(' '))));
    }

    void noRunPathsOrBuildPaths_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("zavlen-get") << QStringLiteral("bin/zavlen-get");
        QTest::newRow("zavlen-video") << QStringLiteral("libexec/zavlen/zavlen-video");
        QTest::newRow("zavlen-playback.so") << QStringLiteral("libexec/zavlen/zavlen-playback.so");
    }
    void noRunPathsOrBuildPaths()
    {
        QFETCH(QString, program);
        const TestSupport::Ran dynamic = TestSupport::run(QStringLiteral("readelf"),
            {QStringLiteral("--dynamic"), m_tree.usr(program)}, QProcessEnvironment::systemEnvironment());
        QCOMPARE(dynamic.exitCode, 0);
        QVERIFY(dynamic.out.contains("NEEDED"));
        QVERIFY2(!dynamic.out.contains("RPATH") && !dynamic.out.contains("RUNPATH"), dynamic.out.constData());

        // The window starts without the multimedia libraries; its backend module brings them.
        QCOMPARE(dynamic.out.contains("libQt6Multimedia"), program.endsWith(QLatin1String(".so")));

        QFile file(m_tree.usr(program));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
#ifdef ZAVLEN_SANITIZED
        QSKIP("sanitizer builds record the source path of every instrumented global; they are never installed");
#else
        for (const char *folder : {ZAVLEN_BUILD_DIR, ZAVLEN_SOURCE_DIR})
            QVERIFY2(!bytes.contains(folder), folder);
#endif
    }

    void iconSizes_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : {16, 32, 48, 64, 128, 256})
            QTest::newRow(qPrintable(QString::number(size))) << size;
    }
    void iconSizes()
    {
        QFETCH(int, size);
        const QImage icon(m_tree.usr(QStringLiteral("share/icons/hicolor/%1x%1/apps/").arg(size) + appId
                                     + QStringLiteral(".png")));
        QCOMPARE(icon.size(), QSize(size, size));
        QVERIFY(icon.hasAlphaChannel());
        QCOMPARE(icon.pixelColor(0, 0).alpha(), 0); // a rounded tile, not a square
        QCOMPARE(icon.pixelColor(size / 2, size / 8).alpha(), 255);
    }

    void scalableIcon()
    {
        QFile svg(m_tree.usr(QStringLiteral("share/icons/hicolor/scalable/apps/") + appId + QStringLiteral(".svg")));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        const QByteArray text = svg.readAll();
        QVERIFY(text.startsWith("<?xml"));
        QVERIFY(text.contains("viewBox=\"0 0 256 256\""));
        QVERIFY(!text.contains("<image")); // drawn, not an embedded picture
    }

    void commandLineToolRuns()
    {
        const TestSupport::Ran ran = TestSupport::run(m_tree.usr(QStringLiteral("bin/zavlen-get")),
            {QStringLiteral("--version")}, TestSupport::cleanEnvironment(m_tree.scratch(QStringLiteral("cli"))));
        QCOMPARE(ran.exitCode, 0);
        QCOMPARE(ran.out, QByteArray("zavlen-get 1.6.0\n"));
    }

    // The window started through its link finds the skin beside its real program: the extract
    // button is painted in the skin's colour, and in the platform's grey by a copy without it.
    void windowFromInstalledTree()
    {
        const QString link = m_tree.usr(QStringLiteral("bin/zavlen-video"));
        const QString alone = m_tree.scratch(QStringLiteral("alone")) + QStringLiteral("/zavlen-video");
        QVERIFY(QFile::copy(m_tree.usr(QStringLiteral("libexec/zavlen/zavlen-video")), alone));

        QStringList pictures;
        for (const QString &program : {link, alone}) {
            const QString home = m_tree.scratch(QFileInfo(program).path() == QFileInfo(alone).path()
                                                    ? QStringLiteral("home-alone") : QStringLiteral("home"));
            const QString picture = home + QStringLiteral("/window.png");
            const TestSupport::Ran ran = TestSupport::run(program,
                {QStringLiteral("--demo"), QStringLiteral("--screenshot"), picture},
                TestSupport::cleanEnvironment(home), home);
            QVERIFY2(ran.finished && ran.exitCode == 0, ran.err.constData());
            QVERIFY(ran.err.contains("Sample addresses:"));
            pictures.append(picture);
        }
        // Command1, beside its caption.
        const QPoint inButton(30, 268);
        const QColor skinned = pixelOf(pictures[0], inButton);
        const QColor plain = pixelOf(pictures[1], inButton);
        QVERIFY(skinned.isValid() && plain.isValid());
        QVERIFY2(skinned.hsvSaturation() > 100, qPrintable(skinned.name()));
        QVERIFY2(plain.hsvSaturation() < 40, qPrintable(plain.name()));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
