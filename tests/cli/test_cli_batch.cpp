#include "clifixture.h"
#include "support/testos.h"

#include "cli/batch.h"
#include "cli/runner.h"

#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <optional>

using TestSupport::parseLine;
using TestSupport::Run;

// Reading batch files: how bytes become lines, and what zavlen-get makes of sources and lines
// that cannot be read as addresses.
class TestCliBatch final : public TestSupport::CliFixture
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(startSite()); }

    void batchLines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("errors"); // per expected line; empty: none
        const QString a = QStringLiteral("http://a/1");
        const QString b = QStringLiteral("http://b/2");
        const QString none;
        const QString binary = Cli::errorLineBinary;
        const QString tooLong = Cli::errorLineTooLong;
        const auto row = [](const char *name, const QByteArray &bytes, const QStringList &expected,
                            QStringList errors = {}) {
            while (errors.size() < expected.size())
                errors << QString();
            QTest::newRow(name) << bytes << expected << errors;
        };
        row("empty", QByteArray(), {});
        row("only line breaks", "\n\r\n\n", {});
        row("two lines", "http://a/1\nhttp://b/2\n", {a, b});
        row("no final line break", "http://a/1\nhttp://b/2", {a, b});
        row("CR LF", "http://a/1\r\nhttp://b/2\r\n", {a, b});
        row("comments and blanks", "# list\n\n  \nhttp://a/1\n#http://x\n\thttp://b/2  \n", {a, b});
        row("indented comment", "   # note\nhttp://a/1", {a});
        row("hash inside an address stays", "http://a/1#frag", {QStringLiteral("http://a/1#frag")});
        row("bad UTF-8 becomes replacement", "http://a/\xff\xfe", {QStringLiteral("http://a/\uFFFD\uFFFD")});
        row("Chinese text", "http://a/视频\n", {QStringLiteral("http://a/视频")});
        row("tab inside is text", "http://a/1\tx\n", {QStringLiteral("http://a/1\tx")});

        row("NUL", QByteArray("x\0y\nhttp://a/1\n", 15), {QString::fromUtf8("x\0y", 3), a}, {binary, none});
        row("escape sequence", "http://a/\x1b[2J\nhttp://b/2", {QStringLiteral("http://a/\x1b[2J"), b}, {binary, none});
        row("lone CR inside", "http://a/1\rhttp://b/2\n", {QStringLiteral("http://a/1\rhttp://b/2")}, {binary});
        row("DEL", "http://a/\x7f\n", {QStringLiteral("http://a/\x7f")}, {binary});
        row("C1 control", "http://a/\xc2\x9b" "1\n", {QStringLiteral("http://a/\u009b1")}, {binary});
        row("format character is text", "http://a/\xe2\x80\xae" "1\n", {QStringLiteral("http://a/\u202e1")});
        row("binary comment stays a comment", QByteArray("#\0\x01\n", 4), {});

        const QByteArray limit(Cli::maxBatchLineBytes, 'x');
        const QString shown(256, u'x');
        row("exactly the limit", limit + "\n" + a.toUtf8(), {QString::fromLatin1(limit), a});
        row("exactly the limit, CR LF", limit + "\r\n" + a.toUtf8(), {QString::fromLatin1(limit), a});
        row("exactly the limit, no line break", limit, {QString::fromLatin1(limit)});
        row("one byte over", limit + "x\n" + a.toUtf8(), {shown, a}, {tooLong, none});
        row("one byte over, no line break", limit + "x", {shown}, {tooLong});
        row("one byte over, CR LF", limit + "x\r\n" + a.toUtf8(), {shown, a}, {tooLong, none});
        row("1 MB", QByteArray(1024 * 1024, 'y') + "\n" + a.toUtf8(), {QString(256, u'y'), a}, {tooLong, none});
        row("long blank line", QByteArray(100 * 1024, ' ') + "\n" + a.toUtf8(), {QString(), a}, {tooLong, none});
        row("long comment", "#" + QByteArray(100 * 1024, 'c') + "\n" + a.toUtf8(), {a});
        row("long Chinese line cut whole", QByteArray("视").repeated(30000) + "\n",
            {QString(256, QChar(0x89c6))}, {tooLong});
    }

    void batchLines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, errors);
        const QList<Cli::BatchLine> lines = Cli::batchLines(bytes);
        QStringList got;
        QStringList gotErrors;
        for (const Cli::BatchLine &line : lines) {
            got << line.address;
            gotErrors << line.error.value_or(QString());
        }
        QCOMPARE(got, expected);
        QCOMPARE(gotErrors, errors);
    }

    void batchLinesInPieces_data()
    {
        QTest::addColumn<int>("piece");
        for (const int n : {1, 2, 3, 7, 4096, 65535, 65536, 65537, 100000})
            QTest::newRow(qPrintable(QString::number(n))) << n;
    }

    // However the bytes arrive, the same lines come out.
    void batchLinesInPieces()
    {
        QFETCH(int, piece);
        QByteArray bytes = "# list\r\nhttp://a/1\r\n\n" + QByteArray(Cli::maxBatchLineBytes, 'x') + "\r\n";
        bytes += QByteArray(Cli::maxBatchLineBytes + 1, 'y') + "\nhttp://b/视频\n";
        bytes += QByteArray(200000, 'z') + "\n" + QByteArray("x\0y\n", 4) + "http://c/3";
        const QList<Cli::BatchLine> whole = Cli::batchLines(bytes);
        QCOMPARE(whole.size(), 7);
        Cli::BatchSplitter splitter;
        for (qsizetype at = 0; at < bytes.size(); at += piece)
            splitter.feed(QByteArrayView(bytes).sliced(at, std::min<qsizetype>(piece, bytes.size() - at)));
        const QList<Cli::BatchLine> pieces = splitter.finish();
        QCOMPARE(pieces.size(), whole.size());
        for (qsizetype i = 0; i < whole.size(); ++i) {
            QCOMPARE(pieces[i].address, whole[i].address);
            QCOMPARE(pieces[i].error.value_or(QString()), whole[i].error.value_or(QString()));
        }
    }

    void batchSourceRefused_data()
    {
        QTest::addColumn<QString>("batch");
        QTest::addColumn<QString>("stdinFile");
        QTest::addColumn<QByteArray>("message");
        const QString endless = TestSupport::endlessDevice();
        const QString empty = TestSupport::emptyDevice();
        if (!endless.isEmpty()) {
            QTest::newRow("endless device as the batch file")
                << endless << QString() << QByteArray(endless.toUtf8() + " is a character device");
            QTest::newRow("endless device on standard input")
                << QStringLiteral("-") << endless << QByteArray("standard input is a character device");
        }
        QTest::newRow("empty device as the batch file") << empty << QString()
                                                        << QByteArray(empty.toUtf8() + " is a character device");
        QTest::newRow("folder as the batch file") << m_home.path() << QString() << QByteArray("is a folder");
    }

    void batchSourceRefused()
    {
        QFETCH(QString, batch);
        QFETCH(QString, stdinFile);
        QFETCH(QByteArray, message);
        QProcess p;
        TestSupport::limitMemory(p, TestSupport::childMemory);
        if (!stdinFile.isEmpty())
            p.setStandardInputFile(stdinFile);
        const Run r = run(p, {QStringLiteral("-a"), batch, QStringLiteral("--json")}, {}, 10000);
        QVERIFY(r.finished);
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.startsWith("zavlen-get: "), r.err.constData());
        QVERIFY2(r.err.contains(message), r.err.constData());
    }

    // An endless line through a pipe is dropped as it streams by, with little memory.
    void endlessLineOnStdin()
    {
        if (TestSupport::endlessDevice().isEmpty())
            QSKIP("no device here gives bytes for ever");
        QProcess zeros;
        QProcess p;
        TestSupport::limitMemory(p, TestSupport::childMemory);
        zeros.setStandardOutputProcess(&p);
        zeros.start(QStringLiteral("head"), {QStringLiteral("-c"), QStringLiteral("400000000"), TestSupport::endlessDevice()});
        QVERIFY(zeros.waitForStarted());
        const Run r = run(p, {QStringLiteral("-a"), QStringLiteral("-"), QStringLiteral("--json")}, {}, 30000);
        zeros.waitForFinished();
        QVERIFY(r.finished);
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.code, 1);
        QCOMPARE(r.lines().size(), 1);
        const QJsonObject o = parseLine(r.lines().first());
        QCOMPARE(o.value(QStringLiteral("ok")).toBool(true), false);
        QCOMPARE(o.value(QStringLiteral("error")).toString(), Cli::errorLineTooLong);
        QVERIFY2(r.err.contains(Cli::errorLineTooLong.toUtf8()), r.err.constData());
    }

    // A terminal ends its input with one Ctrl-D, also right after a line.
    void batchFromTerminal()
    {
        TestSupport::PseudoTerminal terminal;
        if (!terminal.open())
            QSKIP("no pseudo-terminal here");
        const QString page = m_pages.at(1).second;
        QVERIFY(terminal.write(page.toUtf8() + "\n\x04"));
        QProcess p;
        p.setStandardInputFile(terminal.childPath());
        const Run r = run(p, {QStringLiteral("-a"), QStringLiteral("-")}, {}, 5000);
        QVERIFY(r.finished);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, expected(page).info.video.toUtf8() + '\n');
    }

    void batchLineErrors_data()
    {
        QTest::addColumn<bool>("fromStdin");
        QTest::addColumn<bool>("json");
        QTest::newRow("stdin, plain") << true << false;
        QTest::newRow("stdin, json") << true << true;
        QTest::newRow("file, plain") << false << false;
        QTest::newRow("file, json") << false << true;
    }

    // Lines that cannot be addresses fail in their place; every other line is still extracted.
    void batchLineErrors()
    {
        QFETCH(bool, fromStdin);
        QFETCH(bool, json);
        const QStringList good = pageAddresses();
        const QByteArray atLimit(Cli::maxBatchLineBytes, 'a');
        const QByteArray overLimit(Cli::maxBatchLineBytes + 1, 'b');
        const QByteArray mb = "http://www.meipai.com/media/" + QByteArray(1024 * 1024, '7');
        const QList<QByteArray> input{good[0].toUtf8(), mb, good[1].toUtf8(), QByteArray("http://a/\0x", 11),
                                      atLimit, overLimit, good[2].toUtf8(), "http://a/\x1b[2Jx\x7f",
                                      "http://a/\xc2\x9b" "1", good[3].toUtf8()};
        // nullopt: the line is extracted as any address is.
        const QList<std::optional<QString>> refused{std::nullopt,        Cli::errorLineTooLong, std::nullopt,
                                                    Cli::errorLineBinary, std::nullopt,         Cli::errorLineTooLong,
                                                    std::nullopt,        Cli::errorLineBinary,  Cli::errorLineBinary,
                                                    std::nullopt};
        QByteArray list;
        for (const QByteArray &line : input)
            list += line + "\r\n";

        QStringList args{QStringLiteral("-a")};
        if (fromStdin) {
            args << QStringLiteral("-");
        } else {
            const QString file = m_home.filePath(QStringLiteral("lines.txt"));
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(list);
            f.close();
            args << file;
        }
        if (json)
            args << QStringLiteral("--json");
        const Run r = run(args, fromStdin ? list : QByteArray(), 60000);
        QVERIFY(r.finished);
        QCOMPARE(r.code, 1);
        const QList<QByteArray> lines = r.lines();
        QCOMPARE(lines.size(), input.size());
        for (int i = 0; i < input.size(); ++i) {
            const QString address = QString::fromUtf8(input[i]);
            if (!refused[i]) {
                const Cli::Record want = expected(address);
                if (json)
                    QCOMPARE(parseLine(lines[i]).value(QStringLiteral("video")).toString(), want.info.video);
                else
                    QCOMPARE(lines[i], want.ok() ? want.info.video.toUtf8() : QByteArray());
                if (!want.ok())
                    QVERIFY2(r.err.contains(want.error.value_or(QString()).toUtf8()), r.err.constData());
                continue;
            }
            const QString shown = address.left(256);
            QVERIFY2(r.err.contains(QStringLiteral("zavlen-get: %1: %2").arg(Cli::printable(shown), *refused[i]).toUtf8()),
                     qPrintable(QString::number(i)));
            if (!json) {
                QCOMPARE(lines[i], QByteArray());
                continue;
            }
            const QJsonObject o = parseLine(lines[i]);
            QCOMPARE(o.value(QStringLiteral("address")).toString(), shown);
            QVERIFY(o.value(QStringLiteral("site")).isNull());
            QCOMPARE(o.value(QStringLiteral("ok")).toBool(true), false);
            QCOMPARE(o.value(QStringLiteral("video")).toString(QStringLiteral("missing")), QString());
            QCOMPARE(o.value(QStringLiteral("error")).toString(), *refused[i]);
        }
        QCOMPARE(expected(QString::fromLatin1(atLimit)).error.value_or(QString()), Cli::errorUnknownService);
        QVERIFY(r.err.size() < 64 * 1024);
    }
};

QTEST_GUILESS_MAIN(TestCliBatch)
#include "test_cli_batch.moc"
