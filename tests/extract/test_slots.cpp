#include "config/settings.h"
#include "extract/extraction.h"
#include "extract/textops.h"
#include "pagedata.h"

#include <QTest>
#include <memory>
#include <optional>

using Extract::Service;
using Extract::Slots;

// Elements refer into the texts they were cut from: these cases free, overwrite or copy those
// texts and check that every element still reads what was cut (under the sanitizers, that no
// freed memory is read).
class TestSlots final : public QObject
{
    Q_OBJECT

    // A text of its own, not a literal's static characters.
    static QString owned(const char *text) { return QString::fromUtf8(text); }

private slots:
    void elementOutlivesItsSource_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<int>("k");
        QTest::addColumn<QString>("expected");

        QTest::newRow("runs to the end") << owned("a<b>cde") << owned("<b>") << 1 << owned("cde");
        QTest::newRow("between two markers") << owned("a<b>c<b>d") << owned("<b>") << 1 << owned("c");
        QTest::newRow("the part before") << owned("a<b>c") << owned("<b>") << 0 << owned("a");
        QTest::newRow("empty element") << owned("abc<b>") << owned("<b>") << 1 << QString();
        QTest::newRow("missing marker keeps the slot") << owned("abc") << owned("<b>") << 1
                                                       << owned("as it was");
        QTest::newRow("too few markers keep the slot") << owned("a<b>c") << owned("<b>") << 2
                                                       << owned("as it was");
    }
    void elementOutlivesItsSource()
    {
        QFETCH(QString, text);
        QFETCH(QString, marker);
        QFETCH(int, k);
        QFETCH(QString, expected);

        auto s = std::make_unique<Slots>();
        (*s)[0] = QString(text.constData(), text.size());
        (*s)[5] = owned("as it was");
        s->setElement(5, 0, marker, k);
        QCOMPARE((*s)[5], expected);

        // The source is overwritten in place and then replaced: the element keeps its characters.
        (*s)[0].fill(u'x');
        (*s)[0] = owned("something else entirely");
        QCOMPARE((*s)[5], expected);

        // A copy keeps them after the slots it was copied from are gone.
        const Slots copy = *s;
        s.reset();
        QCOMPARE(copy[5], expected);
        QCOMPARE(copy[0], owned("something else entirely"));
    }

    void elementOfAnElement_data()
    {
        QTest::addColumn<int>("k");
        QTest::addColumn<QString>("expected");
        QTest::newRow("the part before") << 0 << owned("x");
        QTest::newRow("runs to the end") << 1 << owned("y[end]");
        QTest::newRow("too few markers keep the slot") << 2 << owned("old");
    }
    void elementOfAnElement()
    {
        QFETCH(int, k);
        QFETCH(QString, expected);

        Slots s;
        s[0] = owned("head|x,y[end]|tail");
        s.setElement(1, 0, u"|");
        QCOMPARE(s[1], owned("x,y[end]"));
        s[9] = owned("old");
        s.setElement(9, 1, u",", k);
        s[0] = QString();
        s[1] = owned("replaced");
        QCOMPARE(s[9], expected);
        // Changing an element copies it first: the text it refers into stays as it was.
        s[9].append(u'!');
        QCOMPARE(s[9], expected + u'!');
    }

    void aResultOutlivesItsPage_data()
    {
        addSampleServicePages();
    }
    void aResultOutlivesItsPage()
    {
        QFETCH(Service, service);
        QFETCH(QString, address);
        QFETCH(QString, pageName);
        const Config::Settings cfg;
        const QString endpointText = samplePage(QStringLiteral("weishi_endpoint.txt"));
        const Extract::FetchFn endpoint = [&endpointText](const QString &) {
            return std::optional<QString>(QString(endpointText.constData(), endpointText.size()));
        };
        const QString kept = samplePage(pageName);
        const Extract::Result reference = Extract::extract(service, address, kept, endpoint, cfg);
        QVERIFY(reference.found());

        std::optional<Extract::Result> cut;
        {
            QString page = QString(kept.constData(), kept.size());
            cut = Extract::extract(service, address, page, endpoint, cfg);
            page.fill(u'#');
        }
        // Slot 0 goes too: what is left holds only elements and the texts they refer into.
        cut->slot[0] = QString();
        const Extract::Result copy = *cut;
        cut.reset();
        for (std::size_t i = 1; i < Slots::size(); ++i)
            QVERIFY2(copy.slot[i] == reference.slot[i], qPrintable(QString::number(i)));
        QCOMPARE(copy.video(), reference.video());
        QCOMPARE(copy.display.author, reference.display.author);
    }
};

QTEST_APPLESS_MAIN(TestSlots)
#include "test_slots.moc"
