#include "web/preg.h"

#include <QTest>
#include <QThread>

#include <memory>
#include <vector>

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

    // Compiled patterns are kept between calls: each thread's answers stay its own, whatever the
    // other threads match at the same time and whichever patterns they and it used before.
    void fromThreads_data()
    {
        QTest::addColumn<int>("threads");
        QTest::newRow("one") << 1;
        QTest::newRow("eight") << 8;
    }
    void fromThreads()
    {
        QFETCH(int, threads);
        const QString anchor = QStringLiteral("</?a[^<>]*>");
        const QString other = QStringLiteral("b+");
        std::vector<std::unique_ptr<QThread>> running;
        std::vector<int> wrong(size_t(threads), 0);
        for (int t = 0; t < threads; ++t) {
            running.emplace_back(QThread::create([&, t] {
                for (int i = 0; i < 200; ++i) {
                    const QString n = QString::number(t * 1000 + i);
                    const bool first = (i + t) % 2 == 0;
                    const QString value = QStringLiteral("<a href=\"%1\">%1</a>bb%1").arg(n);
                    const std::optional<QString> r =
                        Web::preg(value, first ? anchor : other, first ? QString() : QStringLiteral("-"));
                    const QString expected = first ? n + QStringLiteral("bb") + n
                                                   : QStringLiteral("<a href=\"%1\">%1</a>-%1").arg(n);
                    if (!r || *r != expected)
                        ++wrong[size_t(t)];
                    if (Web::preg(value, QStringLiteral("(x"), QString()).has_value())
                        ++wrong[size_t(t)];
                }
            }));
            running.back()->start();
        }
        for (const auto &thread : running)
            QVERIFY(thread->wait(60000));
        for (int t = 0; t < threads; ++t)
            QCOMPARE(wrong[size_t(t)], 0);
    }
};

QTEST_APPLESS_MAIN(TestPreg)
#include "test_preg.moc"
