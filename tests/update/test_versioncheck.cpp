#include "update/versioncheck.h"

#include <QTest>

using Update::Outcome;

class TestVersionCheck final : public QObject
{
    Q_OBJECT
private slots:
    void decide_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<bool>("fetched");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("version");

        const auto add = [](const char *name, const QString &record, bool fetched, Outcome o, const QString &v) {
            QTest::newRow(name) << record << fetched << int(o) << v;
        };
        add("same", QStringLiteral("appsp:V1.6.0|"), true, Outcome::Current, QStringLiteral("V1.6.0"));
        add("same with text around", QStringLiteral("zz:V9|\r\nappsp:V1.6.0|rest\nmore"), true, Outcome::Current,
            QStringLiteral("V1.6.0"));
        add("newer", QStringLiteral("appsp:V1.7.0|"), true, Outcome::Newer, QStringLiteral("V1.7.0"));
        add("lower-case v", QStringLiteral("appsp:v1.6.0|"), true, Outcome::Newer, QStringLiteral("v1.6.0"));
        add("space after colon", QStringLiteral("appsp: V1.6.0|"), true, Outcome::Newer, QStringLiteral(" V1.6.0"));
        add("trailing line break", QStringLiteral("appsp:V1.6.0\r\n|"), true, Outcome::Newer,
            QStringLiteral("V1.6.0\r\n"));
        add("two entries, first counts", QStringLiteral("appsp:V1.6.0|appsp:V9|"), true, Outcome::Current,
            QStringLiteral("V1.6.0"));
        add("two entries, newer first", QStringLiteral("appsp:V2|appsp:V1.6.0|"), true, Outcome::Newer,
            QStringLiteral("V2"));
        add("key is case-sensitive", QStringLiteral("APPSP:V1.6.0|"), true, Outcome::Unavailable, QString());
        add("no bar", QStringLiteral("appsp:V1.6.0"), true, Outcome::Unavailable, QString());
        add("second key before bar", QStringLiteral("appsp:V1.6.0appsp:V1.6.0|"), true, Outcome::Unavailable,
            QString());
        add("empty version", QStringLiteral("appsp:|"), true, Outcome::Unavailable, QString());
        add("error page", QStringLiteral("<html>502 Bad Gateway</html>"), true, Outcome::Unavailable, QString());
        add("empty record", QString(), true, Outcome::Unavailable, QString());
        add("not fetched", QString(), false, Outcome::Unavailable, QString());
    }
    void decide()
    {
        QFETCH(QString, record);
        QFETCH(bool, fetched);
        QFETCH(int, outcome);
        QFETCH(QString, version);
        const Update::Decision d = Update::decide(fetched ? std::optional<QString>(record) : std::nullopt);
        QCOMPARE(int(d.outcome), outcome);
        if (d.outcome != Outcome::Unavailable)
            QCOMPARE(d.version, version);
    }

    void newerMessage()
    {
        QCOMPARE(Update::newerVersionMessage(QStringLiteral("V1.7.0")),
                 QStringLiteral("发现最新版本![V1.7.0]\r\n \r\n确定后自动打开官方论坛!"));
    }
};

QTEST_APPLESS_MAIN(TestVersionCheck)
#include "test_versioncheck.moc"
