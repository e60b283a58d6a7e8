#include "extract/textops.h"

#include <QTest>

using namespace Extract;

class TestTextOps final : public QObject
{
    Q_OBJECT
private slots:
    void element_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<int>("k");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("element");

        const QString m = QStringLiteral("<b>");
        QTest::newRow("0 occurrences, k=0") << QStringLiteral("abc") << m << 0 << true << QStringLiteral("abc");
        QTest::newRow("0 occurrences, k=1") << QStringLiteral("abc") << m << 1 << false << QString();
        QTest::newRow("1 occurrence, k=0") << QStringLiteral("a<b>c") << m << 0 << true << QStringLiteral("a");
        QTest::newRow("1 occurrence, k=1 runs to the end")
            << QStringLiteral("a<b>cde") << m << 1 << true << QStringLiteral("cde");
        QTest::newRow("1 occurrence, k=2") << QStringLiteral("a<b>c") << m << 2 << false << QString();
        QTest::newRow("2 occurrences, k=1") << QStringLiteral("a<b>c<b>d") << m << 1 << true << QStringLiteral("c");
        QTest::newRow("2 occurrences, k=2") << QStringLiteral("a<b>c<b>d") << m << 2 << true << QStringLiteral("d");
        QTest::newRow("3 occurrences, k=1") << QStringLiteral("a<b>c<b>d<b>e") << m << 1 << true
                                            << QStringLiteral("c");
        QTest::newRow("3 occurrences, k=2") << QStringLiteral("a<b>c<b>d<b>e") << m << 2 << true
                                            << QStringLiteral("d");
        QTest::newRow("3 occurrences, k=3") << QStringLiteral("a<b>c<b>d<b>e") << m << 3 << true
                                            << QStringLiteral("e");
        QTest::newRow("3 occurrences, k=4") << QStringLiteral("a<b>c<b>d<b>e") << m << 4 << false << QString();
        QTest::newRow("adjacent occurrences") << QStringLiteral("<b><b>x") << m << 1 << true << QString();
        QTest::newRow("marker at the very end") << QStringLiteral("abc<b>") << m << 1 << true << QString();
        QTest::newRow("case-sensitive") << QStringLiteral("a<B>c") << m << 1 << false << QString();
        QTest::newRow("no overlap") << QStringLiteral("aaaa") << QStringLiteral("aa") << 2 << true << QString();
        QTest::newRow("empty text") << QString() << m << 1 << false << QString();
        QTest::newRow("empty marker") << QStringLiteral("abc") << QString() << 1 << false << QString();
        QTest::newRow("negative k") << QStringLiteral("a<b>c") << m << -1 << false << QString();
        QTest::newRow("chinese marker") << QStringLiteral("张三的微视李四") << QStringLiteral("的微视") << 1 << true
                                        << QStringLiteral("李四");
    }
    void element()
    {
        QFETCH(QString, text);
        QFETCH(QString, marker);
        QFETCH(int, k);
        QFETCH(bool, exists);
        QFETCH(QString, element);
        const std::optional<QString> e = elementOf(text, marker, k);
        QCOMPARE(e.has_value(), exists);
        if (exists)
            QCOMPARE(*e, element);
        const std::optional<QStringView> v = elementView(text, marker, k);
        QCOMPARE(v.has_value(), exists);
        if (exists)
            QCOMPARE(v->toString(), element);
    }

    void before_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QChar>("mark");
        QTest::addColumn<QString>("result");
        QTest::newRow("found") << QStringLiteral("abc\"def\"") << QChar(u'"') << QStringLiteral("abc");
        QTest::newRow("at start") << QStringLiteral("<x") << QChar(u'<') << QString();
        QTest::newRow("missing is empty") << QStringLiteral("abc") << QChar(u'<') << QString();
        QTest::newRow("empty text") << QString() << QChar(u'<') << QString();
        QTest::newRow("chinese mark") << QStringLiteral("张三的美拍") << QChar(u'的') << QStringLiteral("张三");
    }
    void before()
    {
        QFETCH(QString, text);
        QFETCH(QChar, mark);
        QFETCH(QString, result);
        QCOMPARE(textBefore(text, mark), result);
    }

    void through_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("mark");
        QTest::addColumn<QString>("result");
        QTest::newRow("keeps first char") << QStringLiteral(" abc </p>x") << QStringLiteral("</p>")
                                          << QStringLiteral(" abc <");
        QTest::newRow("first occurrence") << QStringLiteral("a e= b e=") << QStringLiteral("e=")
                                          << QStringLiteral("a e");
        QTest::newRow("missing is empty") << QStringLiteral("abc") << QStringLiteral("</p>") << QString();
        QTest::newRow("partial mark is missing") << QStringLiteral("abc</") << QStringLiteral("</p>") << QString();
        QTest::newRow("single space") << QStringLiteral("word rest") << QStringLiteral(" ")
                                      << QStringLiteral("word ");
        QTest::newRow("at start") << QStringLiteral("</p>") << QStringLiteral("</p>") << QStringLiteral("<");
    }
    void through()
    {
        QFETCH(QString, text);
        QFETCH(QString, mark);
        QFETCH(QString, result);
        QCOMPARE(textThrough(text, mark), result);
    }

    void small_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("trim spaces only") << QStringLiteral("trim") << QStringLiteral("  a b \t ")
                                          << QStringLiteral("a b \t");
        QTest::newRow("trim all spaces") << QStringLiteral("trim") << QStringLiteral("    ") << QString();
        QTest::newRow("trim keeps line breaks") << QStringLiteral("trim") << QStringLiteral("\r\n a")
                                                << QStringLiteral("\r\n a");
        QTest::newRow("address plain") << QStringLiteral("address") << QStringLiteral("http://a/b.mp4")
                                       << QStringLiteral("http://a/b.mp4");
        QTest::newRow("address with attrs") << QStringLiteral("address")
                                            << QStringLiteral("  http://a/b.mp4 data-x=1 y")
                                            << QStringLiteral("http://a/b.mp4");
        QTest::newRow("address only spaces") << QStringLiteral("address") << QStringLiteral("   ") << QString();
        QTest::newRow("remove all") << QStringLiteral("remove") << QStringLiteral("a??b???c")
                                    << QStringLiteral("ab?c");
    }
    void small()
    {
        QFETCH(QString, op);
        QFETCH(QString, text);
        QFETCH(QString, result);
        if (op == u"trim")
            QCOMPARE(trimSpaces(text), result);
        else if (op == u"address")
            QCOMPARE(addressPart(text), result);
        else
            QCOMPARE(removeAll(text, u"??"), result);
    }

    // The search takes 8 or 16 places at a time (of bytes, 32 or 64) and the rest one by one:
    // every match, at every place relative to those blocks, must be the one indexOf finds.
    void find_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("what");

        const QString filler = QStringLiteral("今天天气很好 <a class=\"x\">ab</a> ");
        QString long_;
        while (long_.size() < 300)
            long_ += filler;
        for (const QString &what : {QStringLiteral("ab"), QStringLiteral("<p>"), QStringLiteral("data-video="),
                                    QStringLiteral("的微视"), QStringLiteral("<a class=\""), QStringLiteral("aa"),
                                    QStringLiteral("x"), QString()}) {
            for (const qsizetype at : {0, 1, 7, 8, 9, 15, 16, 17, 31, 33, 63, 64, 65, 127, 250}) {
                QString text = long_.left(at) + what + long_.mid(at);
                QTest::addRow("%s at %lld", qPrintable(what), qlonglong(at)) << text << what;
                QTest::addRow("%s at %lld, short", qPrintable(what), qlonglong(at))
                    << text.left(at + what.size() + 3) << what;
            }
            QTest::addRow("%s, text too short", qPrintable(what)) << what.left(what.size() - 1) << what;
        }
        QTest::newRow("overlapping") << QStringLiteral("aaaaaaaaaaaaaaaaaaaaaaaaab") << QStringLiteral("aab");
        QTest::newRow("first and last match, middle not")
            << QString(QStringLiteral("<img src=\"").repeated(3) + QStringLiteral("<a class=\"")) << QStringLiteral("<a class=\"");
        QTest::newRow("absent") << long_ << QStringLiteral("zavlen-absent");
        QTest::newRow("empty text") << QString() << QStringLiteral("ab");
        QTest::newRow("surrogates") << QStringLiteral("x😀y😀z") << QStringLiteral("😀z");
    }
    void find()
    {
        QFETCH(QString, text);
        QFETCH(QString, what);
        for (qsizetype from = 0; from <= text.size() + 1; from += (from < 40 ? 1 : 37)) {
            const qsizetype expected = from > text.size() ? -1 : QStringView(text).indexOf(what, from);
            QCOMPARE(findText(text, what, from), expected);
        }
        const QByteArray bytes = text.toUtf8();
        const QByteArray needle = what.toUtf8();
        for (qsizetype from = 0; from <= bytes.size() + 1; from += (from < 80 ? 1 : 37)) {
            const qsizetype expected = from > bytes.size() ? -1 : QByteArrayView(bytes).indexOf(needle, from);
            QCOMPARE(Extract::findBytes(bytes, needle, from), expected);
        }
    }
};

QTEST_APPLESS_MAIN(TestTextOps)
#include "test_textops.moc"
