#include "web/preg.h"

#include <QTest>

class TestPreg final : public QObject
{
    Q_OBJECT
private slots:
    void replace_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("result");

        const QString anchor = QStringLiteral("</?a[^<>]*>");
        QTest::newRow("capital anchor")
            << QStringLiteral("<A HREF=\"x\">t</A>") << anchor << QString() << QStringLiteral("t");
        QTest::newRow("anchors with attributes")
            << QStringLiteral("看<a href=\"/u/1\" target=_blank class='n'>@小明</a>的视频 <a>#话题#</a>")
            << anchor << QString() << QStringLiteral("看@小明的视频 #话题#");
        QTest::newRow("mixed case closing tag")
            << QStringLiteral("<a>x</A><A>y</a>") << anchor << QString() << QStringLiteral("xy");
        QTest::newRow("other tags stay")
            << QStringLiteral("<b>x</b><abbr>y</abbr>") << anchor << QString() << QStringLiteral("<b>x</b>y");
        QTest::newRow("no match") << QStringLiteral("plain text") << anchor << QString()
                                  << QStringLiteral("plain text");
        QTest::newRow("empty value") << QString() << anchor << QString() << QString();
        QTest::newRow("replacement is literal") << QStringLiteral("abc") << QStringLiteral("(b)")
                                                << QStringLiteral("[\\1$1]") << QStringLiteral("a[\\1$1]c");
        QTest::newRow("every match, any case")
            << QStringLiteral("xXx") << QStringLiteral("x") << QStringLiteral("-") << QStringLiteral("---");
        QTest::newRow("empty matches")
            << QStringLiteral("ab") << QStringLiteral("z*") << QStringLiteral("-") << QStringLiteral("-a-b-");
        QTest::newRow("unicode case")
            << QStringLiteral("ÄÖ") << QStringLiteral("ä") << QStringLiteral("a") << QStringLiteral("aÖ");
    }
    void replace()
    {
        QFETCH(QString, value);
        QFETCH(QString, pattern);
        QFETCH(QString, replacement);
        QFETCH(QString, result);
        const std::optional<QString> r = Web::preg(value, pattern, replacement);
        QVERIFY(r.has_value());
        QCOMPARE(*r, result);
    }

    void invalidPattern_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::newRow("open bracket") << QStringLiteral("</?a[^<>*>");
        QTest::newRow("open group") << QStringLiteral("(a");
        QTest::newRow("dangling quantifier") << QStringLiteral("*a");
    }
    void invalidPattern()
    {
        QFETCH(QString, pattern);
        QVERIFY(!Web::preg(QStringLiteral("<a>x</a>"), pattern, QString()).has_value());
    }
};

QTEST_APPLESS_MAIN(TestPreg)
#include "test_preg.moc"
