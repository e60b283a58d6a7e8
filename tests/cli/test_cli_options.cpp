#include "cli/options.h"
#include "config/settings.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using Cli::ParseOutcome;

// zavlen-get's options and the settings they make, INI file and --set included.
class TestCliOptions final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void parseArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("site");
        QTest::addColumn<bool>("json");
        QTest::addColumn<int>("jobs");
        QTest::addColumn<bool>("download");
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("quiet");
        QTest::addColumn<QString>("batch");
        QTest::addColumn<QStringList>("addresses");

        const auto run = int(ParseOutcome::Action::Run);
        const auto usage = int(ParseOutcome::Action::UsageError);
        const QString dot = QStringLiteral(".");
        const auto L = [](std::initializer_list<const char *> items) {
            QStringList l;
            for (const char *s : items)
                l << QString::fromUtf8(s);
            return l;
        };
        QTest::newRow("one address") << L({"a"}) << run << "auto" << false << 4 << false << dot << false << ""
                                     << L({"a"});
        QTest::newRow("short options") << L({"-s", "meipai", "-j", "-J", "2", "-d", "-o", "out", "-q", "-a", "f.txt", "x", "y"})
                                       << run << "meipai" << true << 2 << true << "out" << true << "f.txt"
                                       << L({"x", "y"});
        QTest::newRow("compacted flags") << L({"-jdq", "x"}) << run << "auto" << true << 4 << true << dot << true
                                         << "" << L({"x"});
        QTest::newRow("long options with =") << L({"--site=Kuaishou", "--json", "--jobs=64", "--output=d", "x"})
                                             << run << "kuaishou" << true << 64 << false << "d" << false << ""
                                             << L({"x"});
        QTest::newRow("site in capitals") << L({"--site", "MIAOPAI", "x"}) << run << "miaopai" << false << 4
                                          << false << dot << false << "" << L({"x"});
        QTest::newRow("site weishi") << L({"-s", "weishi", "x"}) << run << "weishi" << false << 4 << false << dot
                                     << false << "" << L({"x"});
        QTest::newRow("explicit auto") << L({"-s", "auto", "x"}) << run << "auto" << false << 4 << false << dot
                                       << false << "" << L({"x"});
        QTest::newRow("batch from stdin only") << L({"-a", "-"}) << run << "auto" << false << 4 << false << dot
                                               << false << "-" << QStringList();
        QTest::newRow("empty address is an address") << L({""}) << run << "auto" << false << 4 << false << dot
                                                     << false << "" << L({""});
        QTest::newRow("after -- an option is an address") << L({"--", "-q"}) << run << "auto" << false << 4 << false
                                                          << dot << false << "" << L({"-q"});
        QTest::newRow("jobs 1") << L({"-J", "1", "x"}) << run << "auto" << false << 1 << false << dot << false
                                << "" << L({"x"});
        QTest::newRow("help") << L({"-h"}) << int(ParseOutcome::Action::Help) << "auto" << false << 4 << false
                              << dot << false << "" << QStringList();
        QTest::newRow("help-all") << L({"--help-all"}) << int(ParseOutcome::Action::Help) << "auto" << false << 4
                                  << false << dot << false << "" << QStringList();
        QTest::newRow("help wins over errors") << L({"--help", "--jobs", "0"}) << int(ParseOutcome::Action::Help)
                                               << "auto" << false << 4 << false << dot << false << ""
                                               << QStringList();
        QTest::newRow("version") << L({"--version"}) << int(ParseOutcome::Action::Version) << "auto" << false << 4
                                 << false << dot << false << "" << QStringList();

        const auto bad = [&](const char *name, const QStringList &args) {
            QTest::newRow(name) << args << usage << "auto" << false << 4 << false << dot << false << ""
                                << QStringList();
        };
        bad("unknown option", L({"--bogus", "x"}));
        bad("unknown short option", L({"-Z", "x"}));
        bad("no address", L({}));
        bad("only options", L({"-j", "-q"}));
        bad("jobs zero", L({"-J", "0", "x"}));
        bad("jobs negative", L({"--jobs=-3", "x"}));
        bad("jobs too many", L({"-J", "65", "x"}));
        bad("jobs not a number", L({"-J", "four", "x"}));
        bad("jobs empty", L({"--jobs=", "x"}));
        bad("jobs without value", L({"x", "--jobs"}));
        bad("unknown site", L({"-s", "youtube", "x"}));
        bad("site without extractor", L({"-s", "weipai", "x"}));
        bad("empty site", L({"--site=", "x"}));
        bad("empty output", L({"--output=", "-d", "x"}));
        bad("empty batch file", L({"--batch-file=", "x"}));
        bad("missing config file", L({"--config", "/nonexistent/zavlen.ini", "x"}));
        bad("bad timeout", L({"--timeout", "0", "x"}));
        bad("bad set", L({"--set", "nokey", "x"}));
        bad("unknown setting", L({"--set", "a/b=c", "x"}));
    }

    void parseArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(int, action);
        args.prepend(QStringLiteral("zavlen-get"));
        const ParseOutcome out = Cli::parseArguments(args);
        QCOMPARE(int(out.action), action);
        if (out.action == ParseOutcome::Action::UsageError) {
            QVERIFY2(!out.text.trimmed().isEmpty(), "a usage error says what is wrong");
            return;
        }
        if (out.action == ParseOutcome::Action::Help) {
            for (const char *option : {"--site", "--json", "--batch-file", "--jobs", "--download", "--output",
                                       "--proxy", "--config", "--timeout", "--quiet", "--help", "--version"})
                QVERIFY2(out.text.contains(QLatin1String(option)), option);
            // Every key a JSON record has, in the order it has them.
            QVERIFY2(out.text.simplified().contains(QLatin1String(
                         "address, site, ok, video, cover, avatar, author, description, date, verified, error, archived")),
                     qPrintable(out.text));
            return;
        }
        if (out.action != ParseOutcome::Action::Run)
            return;
        QFETCH(QString, site);
        QFETCH(bool, json);
        QFETCH(int, jobs);
        QFETCH(bool, download);
        QFETCH(QString, output);
        QFETCH(bool, quiet);
        QFETCH(QString, batch);
        QFETCH(QStringList, addresses);
        const Cli::Options &o = out.options;
        QCOMPARE(o.site ? Extract::serviceKey(*o.site) : QStringLiteral("auto"), site);
        QCOMPARE(o.json, json);
        QCOMPARE(o.jobs, jobs);
        QCOMPARE(o.download, download);
        QCOMPARE(o.outputDir, output);
        QCOMPARE(o.quiet, quiet);
        QCOMPARE(o.batchFile, batch);
        QCOMPARE(o.addresses, addresses);
    }

    void settingsFromOptions()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString ini = dir.filePath(QStringLiteral("z.ini"));
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[meipai]\nhost=meipai.test\n[network]\ntimeout=9\nproxy=http://127.0.0.1:1\n");
        f.close();

        ParseOutcome out = Cli::parseArguments({QStringLiteral("zavlen-get"), QStringLiteral("--config"), ini,
                                                QStringLiteral("x")});
        QCOMPARE(int(out.action), int(ParseOutcome::Action::Run));
        QCOMPARE(out.settings.services.meipai.host, QStringLiteral("meipai.test"));
        QCOMPARE(out.settings.network.timeoutSeconds, 9);
        QCOMPARE(out.settings.network.proxy, QStringLiteral("http://127.0.0.1:1"));

        out = Cli::parseArguments({QStringLiteral("zavlen-get"), QStringLiteral("--config"), ini,
                                   QStringLiteral("--proxy"), QStringLiteral("http://127.0.0.1:2"),
                                   QStringLiteral("--timeout"), QStringLiteral("3"), QStringLiteral("x")});
        QCOMPARE(out.settings.network.proxy, QStringLiteral("http://127.0.0.1:2"));
        QCOMPARE(out.settings.network.timeoutSeconds, 3);
    }

    void archiveSettings_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("around");
        QTest::addColumn<int>("tries");
        QTest::addColumn<int>("perMinute");
        QTest::addColumn<QString>("cdx");
        QTest::addColumn<QList<int>>("replayBudgetLocal"); // replays a minute, budget, local addresses allowed
        const QString cdx = QStringLiteral("https://web.archive.org/cdx/search/cdx");
        const QList<int> usual{60, 60, 0};
        const auto L = [](std::initializer_list<const char *> items) {
            QStringList l;
            for (const char *i : items)
                l << QString::fromUtf8(i);
            return l;
        };
        QTest::newRow("defaults") << QStringList() << QByteArray() << true << QStringLiteral("fallback")
                                  << QStringLiteral("20160601") << 5 << 20 << cdx << usual;
        QTest::newRow("ini") << QStringList()
                             << QByteArray("[archive]\nmode=only\naround=2015\ntries=2\nindexPerMinute=6\n"
                                           "cdx=http://cdx.test/cdx\nreplay=http://cdx.test/web/\nreplayPerMinute=7\n"
                                           "budget=90\n[network]\nallowLocalAddresses=true\n")
                             << true << QStringLiteral("only") << QStringLiteral("2015") << 2 << 6
                             << QStringLiteral("http://cdx.test/cdx") << QList<int>{7, 90, 1};
        QTest::newRow("--set over ini") << L({"--set", "archive/tries=9", "--set", "archive/mode=off"})
                                        << QByteArray("[archive]\ntries=2\nmode=only\n") << true
                                        << QStringLiteral("off") << QStringLiteral("20160601") << 9 << 20 << cdx << usual;
        QTest::newRow("--archive over --set") << L({"--set", "archive/mode=off", "--archive", "only"}) << QByteArray()
                                              << true << QStringLiteral("only") << QStringLiteral("20160601") << 5
                                              << 20 << cdx << usual;
        const auto bad = [&](const char *name, QStringList args) {
            QTest::newRow(name) << args << QByteArray() << false << QString() << QString() << 0 << 0 << QString()
                                << QList<int>();
        };
        bad("replay pace zero", L({"--set", "archive/replayPerMinute=0"}));
        bad("budget not a number", L({"--set", "archive/budget=soon"}));
        bad("local addresses neither true nor false", L({"--set", "network/allowLocalAddresses=maybe"}));
        bad("unknown mode", L({"--archive", "sometimes"}));
        bad("mode in capitals", L({"--set", "archive/mode=Only"}));
        bad("zero tries", L({"--set", "archive/tries=0"}));
        bad("pace zero", L({"--set", "archive/indexPerMinute=0"}));
        bad("pace not a number", L({"--set", "archive/indexPerMinute=fast"}));
        bad("around not a date", L({"--set", "archive/around=June"}));
        bad("around too long", L({"--set", "archive/around=201606010000001"}));
    }

    void archiveSettings()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, ini);
        QFETCH(bool, accepted);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("z.ini"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ini);
        f.close();
        const ParseOutcome out = Cli::parseArguments(QStringList{QStringLiteral("zavlen-get"), QStringLiteral("--config"),
                                                                 file} + args + QStringList{QStringLiteral("x")});
        QCOMPARE(out.action == ParseOutcome::Action::Run, accepted);
        if (!accepted) {
            QVERIFY(!out.text.isEmpty());
            return;
        }
        QFETCH(QString, mode);
        QFETCH(QString, around);
        QFETCH(int, tries);
        QFETCH(int, perMinute);
        QFETCH(QString, cdx);
        QCOMPARE(Config::archiveModeKey(out.settings.archive.mode), mode);
        QCOMPARE(out.settings.archive.around, around);
        QCOMPARE(out.settings.archive.tries, tries);
        QCOMPARE(out.settings.archive.indexPerMinute, perMinute);
        QCOMPARE(out.settings.archive.indexUrl, cdx);
        QFETCH(QList<int>, replayBudgetLocal);
        QCOMPARE(out.settings.archive.replayPerMinute, replayBudgetLocal.at(0));
        QCOMPARE(out.settings.archive.budgetSeconds, replayBudgetLocal.at(1));
        QCOMPARE(int(out.settings.network.allowLocalAddresses), replayBudgetLocal.at(2));
    }
};

QTEST_GUILESS_MAIN(TestCliOptions)
#include "test_cli_options.moc"
