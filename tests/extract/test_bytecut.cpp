#include "config/settings.h"
#include "extract/extraction.h"
#include "extract/utf8check.h"
#include "pagedata.h"
#include "web/decode.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

using Extract::Service;

namespace {

QByteArray pageBytes(const QString &name)
{
    QFile f(qEnvironmentVariable("ZAVLEN_TEST_DATA") + QLatin1String("/pages/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Pieces hostile to a cut on bytes: broken and borderline sequences, marks, other scripts.
const QList<QByteArray> &oddPieces()
{
    static const QList<QByteArray> pieces = {
        "\xEF\xBB\xBF", "\xC3", "\xE4\xB8", "\xF0\x9F\x98", "\x80", "\xBF\xBF", "\xC0\x80", "\xE0\x80\xAF",
        "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF5\x80", "\xFF", "\xEF\xBF\xBE", "\xF0\x9F\x98\x80", "\xE7\x9A\x84",
        "\xE7\x9A\x84\xE5\xBE\xAE\xE8\xA7\x86", "\xD1\x84", "\"", "<", ">", " ", "\r\n", "&", ":", ",",
        "</span>", "</p>", "e=", "\xE2\x80\xAE"};
    return pieces;
}

QByteArray mutated(QByteArray page, QRandomGenerator &random)
{
    const int edits = 1 + random.bounded(6);
    for (int e = 0; e < edits; ++e) {
        const qsizetype at = page.isEmpty() ? 0 : random.bounded(page.size());
        switch (random.bounded(4)) {
        case 0: // a piece of the page elsewhere: markers and their fields, moved and doubled
            if (!page.isEmpty()) {
                const qsizetype from = random.bounded(page.size());
                page.insert(at, page.mid(from, 1 + random.bounded(80)));
            }
            break;
        case 1:
            page.insert(at, oddPieces().at(random.bounded(oddPieces().size())));
            break;
        case 2:
            page.remove(at, 1 + random.bounded(8));
            break;
        default:
            page.truncate(at);
            break;
        }
    }
    return page;
}

} // namespace

// A page in UTF-8 is cut on its bytes; what comes out must be what cutting the decoded page gives.
class TestByteCut final : public QObject
{
    Q_OBJECT

private slots:
    void validity_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("ascii") << QByteArray("<html>plain</html>");
        QTest::newRow("cjk and emoji") << QByteArray("\xE7\x9A\x84 \xF0\x9F\x98\x80 \xD1\x84");
        for (const QByteArray &piece : oddPieces()) {
            // Each piece at the end and across the edges of a 32-byte block.
            for (int pad : {0, 29, 30, 31, 32, 33, 63}) {
                QTest::addRow("%s at %d", piece.toHex().constData(), pad) << QByteArray(pad, 'a') + piece;
                QTest::addRow("%s at %d, then text", piece.toHex().constData(), pad)
                    << QByteArray(pad, 'a') + piece + QByteArray(40, 'b');
            }
        }
    }

    void validity()
    {
        QFETCH(QByteArray, bytes);
        QCOMPARE(Extract::isValidUtf8(bytes), QByteArrayView(bytes).isValidUtf8());
    }

    void validityOfRandomBytes()
    {
        QRandomGenerator random(20261210);
        for (int n = 0; n < 20000; ++n) {
            QByteArray bytes;
            const int parts = random.bounded(12);
            for (int p = 0; p < parts; ++p) {
                if (random.bounded(3) == 0)
                    bytes += oddPieces().at(random.bounded(oddPieces().size()));
                else
                    bytes += QByteArray(random.bounded(40), char('a' + random.bounded(26)));
                if (random.bounded(8) == 0)
                    bytes += char(random.bounded(256));
            }
            QVERIFY2(Extract::isValidUtf8(bytes) == QByteArrayView(bytes).isValidUtf8(), bytes.toHex().constData());
        }
    }

    void sameAsDecoded_data()
    {
        addSampleServicePages();
    }

    void sameAsDecoded()
    {
        QFETCH(Service, service);
        QFETCH(QString, address);
        QFETCH(QString, pageName);
        const QByteArray page = pageBytes(pageName);
        QVERIFY(!page.isEmpty());
        const QString answer = samplePage(QStringLiteral("weishi_endpoint.txt"));
        const Extract::FetchFn fetch = [&](const QString &) { return std::optional<QString>(answer); };
        const QList<QByteArray> types = {"text/html; charset=utf-8", "text/html", ""};

        QRandomGenerator random(quint32(qHash(pageName)));
        int cutOnBytes = 0;
        for (int n = 0; n < 1500; ++n) {
            const QByteArray bytes = n == 0 ? page : mutated(page, random);
            const QByteArray type = types.at(n % types.size());
            const Extract::Result decoded =
                Extract::extract(service, address, Web::decodeBody(bytes, type), fetch, {});
            const Extract::Result cut = Extract::extract(service, address, Extract::PageBody{bytes, type}, fetch, {});
            const QByteArray what = "mutant " + QByteArray::number(n);
            if (cut.slot != decoded.slot) {
                for (std::size_t i = 0; i < Extract::Slots::size(); ++i) {
                    if (cut.slot[i] != decoded.slot[i])
                        qWarning() << "slot" << i << cut.slot[i].left(200) << "vs" << decoded.slot[i].left(200);
                }
            }
            QVERIFY2(cut.slot == decoded.slot, what.constData());
            QCOMPARE(cut.outcome, decoded.outcome);
            QCOMPARE(cut.display.author, decoded.display.author);
            QCOMPARE(cut.display.description, decoded.display.description);
            QCOMPARE(cut.display.date, decoded.display.date);
            QCOMPARE(cut.display.coverAddress, decoded.display.coverAddress);
            QCOMPARE(cut.display.avatarAddress, decoded.display.avatarAddress);
            QCOMPARE(cut.display.badge, decoded.display.badge);
            if (auto utf8 = Web::utf8Bytes(bytes, type); utf8 && utf8->isValidUtf8())
                ++cutOnBytes;
        }
        // Most mutants stay valid UTF-8 and take the byte road; the rest are decoded as before.
        QVERIFY2(cutOnBytes > 300 && cutOnBytes < 1500, QByteArray::number(cutOnBytes).constData());
    }
};

QTEST_GUILESS_MAIN(TestByteCut)
#include "test_bytecut.moc"
