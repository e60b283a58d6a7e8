// What the desktop and the shell read of the installed tree: the desktop entry and AppStream
// records as their validators see them, man pages and completions that keep up with --help.

#include "installfixture.h"

#include <QRegularExpression>
#include <QStandardPaths>

using TestSupport::InstalledTree;

namespace {

const QString appId = QStringLiteral(ZAVLEN_APP_ID);

// The options a program's --help lists, long and short ("--site", "-s").
QStringList helpOptions(const QByteArray &help)
{
    QStringList options;
    static const QRegularExpression line(QStringLiteral("^\\s+(-[^ ].*?)(?:\\s{2,}|$)"));
    static const QRegularExpression option(QStringLiteral("--?[A-Za-z][A-Za-z-]*"));
    bool inOptions = false;
    for (const QString &text : QString::fromUtf8(help).split(QLatin1Char('\n'))) {
        if (text.startsWith(QLatin1String("Options:")))
            inOptions = true;
        else if (!text.isEmpty() && !text.front().isSpace())
            inOptions = false;
        const QRegularExpressionMatch m = line.match(text);
        if (!inOptions || !m.hasMatch())
            continue;
        auto it = option.globalMatch(m.captured(1));
        while (it.hasNext())
            options.append(it.next().captured());
    }
    return options;
}

} // namespace

class TestInstalledFiles : public QObject
{
    Q_OBJECT

private:
    InstalledTree m_tree;

    TestSupport::Ran inTree(const QString &program, const QStringList &arguments)
    {
        return TestSupport::run(m_tree.usr(program), arguments,
                                TestSupport::cleanEnvironment(m_tree.scratch(QStringLiteral("home"))));
    }

    QStringList complete(const QString &line, const QString &workingDirectory = QString())
    {
        const TestSupport::Ran ran = TestSupport::run(QStringLiteral("bash"),
            {QStringLiteral(ZAVLEN_COMPLETE_SCRIPT),
             m_tree.usr(QStringLiteral(ZAVLEN_BASH_COMPLETION_DIR "/zavlen-get")), line},
            QProcessEnvironment::systemEnvironment(), workingDirectory);
        if (ran.exitCode != 0)
            return {QStringLiteral("(failed: ") + QString::fromUtf8(ran.err) + QLatin1Char(')')};
        return QString::fromUtf8(ran.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_tree.install(), qPrintable(m_tree.log()));
        for (const char *tool : {"desktop-file-validate", "appstreamcli", "gzip", "bash"})
            QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(),
                     qPrintable(QStringLiteral("%1 is missing: run scripts/setup.sh").arg(QLatin1String(tool))));
        QVERIFY2(QFile::exists(QStringLiteral("/usr/share/bash-completion/bash_completion")),
                 "bash-completion is missing: run scripts/setup.sh");
    }

    void validators_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("file");
        const QStringList appstream{QStringLiteral("validate"), QStringLiteral("--no-net"), QStringLiteral("--no-color")};
        QTest::newRow("desktop entry") << QStringLiteral("desktop-file-validate") << QStringList()
                                       << QStringLiteral("share/applications/") + appId + QStringLiteral(".desktop");
        QTest::newRow("window's AppStream") << QStringLiteral("appstreamcli") << appstream
                                            << QStringLiteral("share/metainfo/") + appId + QStringLiteral(".metainfo.xml");
        QTest::newRow("zavlen-get's AppStream") << QStringLiteral("appstreamcli") << appstream
                                                << QStringLiteral("share/metainfo/" ZAVLEN_CLI_ID ".metainfo.xml");
    }
    // Neither errors nor warnings; the validators exit 0 on warnings, so their words are read too.
    void validators()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, arguments);
        QFETCH(QString, file);
        const TestSupport::Ran ran = TestSupport::run(tool, arguments << m_tree.usr(file),
                                                      QProcessEnvironment::systemEnvironment());
        const QString said = QString::fromUtf8(ran.out + ran.err);
        QVERIFY2(ran.exitCode == 0, qPrintable(said));
        static const QRegularExpression complaint(QStringLiteral("(^|\\n)\\s*(E|W):|error|warning"),
                                                  QRegularExpression::CaseInsensitiveOption);
        QVERIFY2(!complaint.match(said).hasMatch(), qPrintable(said));
    }

    void oneIdentity()
    {
        QFile desktop(m_tree.usr(QStringLiteral("share/applications/") + appId + QStringLiteral(".desktop")));
        QVERIFY(desktop.open(QIODevice::ReadOnly));
        const QByteArray entry = desktop.readAll();
        QVERIFY(entry.contains("\nIcon=" ZAVLEN_APP_ID "\n"));
        QVERIFY(entry.contains("\nExec=zavlen-video\n"));
        QVERIFY(entry.contains("\nStartupWMClass=zavlen-video\n"));
        QVERIFY(entry.contains("\nName[zh_CN]=ZavlenAPP视频助手\n"));
        QFile metainfo(m_tree.usr(QStringLiteral("share/metainfo/") + appId + QStringLiteral(".metainfo.xml")));
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        const QByteArray record = metainfo.readAll();
        QVERIFY(record.contains("<id>" ZAVLEN_APP_ID "</id>"));
        QVERIFY(record.contains("<launchable type=\"desktop-id\">" ZAVLEN_APP_ID ".desktop</launchable>"));
    }

    void manPagesCoverHelp_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("zavlen-get") << QStringLiteral("zavlen-get");
        QTest::newRow("zavlen-video") << QStringLiteral("zavlen-video");
    }
    void manPagesCoverHelp()
    {
        QFETCH(QString, program);
        const TestSupport::Ran help = inTree(QStringLiteral("bin/") + program, {QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        const QStringList options = helpOptions(help.out);
        QVERIFY2(options.size() >= 8, help.out.constData());

        const TestSupport::Ran page = TestSupport::run(QStringLiteral("gzip"),
            {QStringLiteral("-dc"), m_tree.usr(QStringLiteral("share/man/man1/%1.1.gz").arg(program))},
            QProcessEnvironment::systemEnvironment());
        QCOMPARE(page.exitCode, 0);
        QString text = QString::fromUtf8(page.out);
        text.replace(QLatin1String("\\-"), QLatin1String("-"));
        text.replace(QRegularExpression(QStringLiteral("\\\\f[BIRP]")), QString());
        for (const QString &option : options) {
            const QRegularExpression named(QStringLiteral("(?<![\\w-])") + QRegularExpression::escape(option)
                                           + QStringLiteral("(?![\\w-])"));
            QVERIFY2(named.match(text).hasMatch(), qPrintable(option + QStringLiteral(" is not in the man page")));
        }
        QVERIFY(text.contains(QLatin1String(".SH EXIT STATUS")));
        QVERIFY(text.contains(QLatin1String(".SH EXAMPLES")));
        QVERIFY(text.contains(QLatin1String("zavlen-video.ini")));
    }

    void completions_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("site values") << QStringLiteral("zavlen-get --site ")
            << QStringList{QStringLiteral("weishi"), QStringLiteral("meipai"), QStringLiteral("kuaishou"),
                           QStringLiteral("miaopai"), QStringLiteral("auto")};
        QTest::newRow("site, short and begun") << QStringLiteral("zavlen-get -s mi") << QStringList{QStringLiteral("miaopai")};
        QTest::newRow("site after =") << QStringLiteral("zavlen-get --site=ku") << QStringList{QStringLiteral("kuaishou")};
        QTest::newRow("archive modes") << QStringLiteral("zavlen-video --archive ")
            << QStringList{QStringLiteral("fallback"), QStringLiteral("off"), QStringLiteral("only")};
        QTest::newRow("an option begun") << QStringLiteral("zavlen-get --b") << QStringList{QStringLiteral("--batch-file")};
        QTest::newRow("batch file") << QStringLiteral("zavlen-get -a pa") << QStringList{QStringLiteral("pages.txt")};
        QTest::newRow("download folder: folders only") << QStringLiteral("zavlen-get -o ")
                                                       << QStringList{QStringLiteral("videos")};
        QTest::newRow("window's picture file") << QStringLiteral("zavlen-video --demo --screenshot pa")
                                               << QStringList{QStringLiteral("pages.txt")};
        QTest::newRow("nothing to offer for a number") << QStringLiteral("zavlen-get --jobs ") << QStringList();
    }
    void completions()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, expected);
        const QString folder = m_tree.scratch(QStringLiteral("completion"));
        QDir(folder).mkpath(QStringLiteral("videos"));
        QFile pages(folder + QStringLiteral("/pages.txt"));
        QVERIFY(pages.open(QIODevice::WriteOnly));
        pages.close();
        QCOMPARE(complete(line, folder), expected);
    }

    // Every long option --help lists completes, so the completions cannot fall behind either.
    void completionsCoverHelp_data() { manPagesCoverHelp_data(); }
    void completionsCoverHelp()
    {
        QFETCH(QString, program);
        const TestSupport::Ran help = inTree(QStringLiteral("bin/") + program, {QStringLiteral("--help")});
        const QStringList offered = complete(program + QStringLiteral(" --"));
        for (const QString &option : helpOptions(help.out)) {
            if (option.startsWith(QLatin1String("--")))
                QVERIFY2(offered.contains(option), qPrintable(option + QStringLiteral(" does not complete")));
        }
    }

    void zshCompletionNamesBothPrograms()
    {
        QFile zsh(m_tree.usr(QStringLiteral("share/zsh/vendor-completions/_zavlen-get")));
        QVERIFY(zsh.open(QIODevice::ReadOnly));
        const QByteArray script = zsh.readAll();
        QVERIFY(script.startsWith("#compdef zavlen-get zavlen-video\n"));
        for (const char *value : {"(weishi meipai kuaishou miaopai auto)", "(fallback off only)", "_files -/"})
            QVERIFY2(script.contains(value), value);
        const QString shell = QStandardPaths::findExecutable(QStringLiteral("zsh"));
        QVERIFY2(!shell.isEmpty(), "zsh is missing: run scripts/setup.sh");
        QCOMPARE(TestSupport::run(shell, {QStringLiteral("-n"), zsh.fileName()},
                                  QProcessEnvironment::systemEnvironment()).exitCode, 0);
        // compinit, as a user's shell runs it, binds both programs to the function.
        const TestSupport::Ran bound = TestSupport::run(shell,
            {QStringLiteral("-fc"), QStringLiteral("fpath=(%1 $fpath); autoload -Uz compinit; compinit -u -D; "
                                                   "print -r -- $_comps[zavlen-get] $_comps[zavlen-video]")
                                        .arg(QFileInfo(zsh).path())},
            TestSupport::cleanEnvironment(m_tree.scratch(QStringLiteral("zsh"))));
        QCOMPARE(bound.out, QByteArray("_zavlen-get _zavlen-get\n"));
    }
};

QTEST_GUILESS_MAIN(TestInstalledFiles)
#include "test_installedfiles.moc"
