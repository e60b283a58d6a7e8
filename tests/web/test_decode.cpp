#include "support/testos.h"
#include "web/decode.h"

#include <QTest>

class TestDecode final : public QObject
{
    Q_OBJECT
private slots:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("charset");
        QTest::addColumn<QString>("text");

        const QByteArray gbk = QByteArray::fromHex("c3c0c5c4cad3c6b5");
        const QString words = QStringLiteral("美拍视频");
        const QByteArray metaGbk = "<html><head><meta charset='GB2312'></head>";
        const QString metaText = QString::fromLatin1(metaGbk);

        QTest::newRow("header gbk") << gbk << QByteArray("text/html; charset=GBK") << QByteArray("gbk")
                                    << words;
        QTest::newRow("header quoted, no space")
            << gbk << QByteArray("text/html;charset=\"gb2312\"") << QByteArray("gb2312") << words;
        QTest::newRow("header gb18030 four-byte")
            << QByteArray::fromHex("95328236") << QByteArray("text/plain; charset=gb18030")
            << QByteArray("gb18030") << QString::fromUtf8("\xF0\xA0\x80\x80");
        QTest::newRow("header big5") << QByteArray::fromHex("acfca9e7b5f8c057")
                                     << QByteArray("text/html; charset=big5") << QByteArray("big5")
                                     << QStringLiteral("美拍視頻");
        QTest::newRow("latin-1 read as windows-1252")
            << QByteArray("\x80 caf\xE9") << QByteArray("text/html; charset=ISO-8859-1")
            << QByteArray("iso-8859-1") << QString::fromUtf8("\xE2\x82\xAC caf\xC3\xA9");
        QTest::newRow("meta charset") << QByteArray(metaGbk + gbk) << QByteArray("text/html")
                                      << QByteArray("gb2312") << QString(metaText + words);
        QTest::newRow("meta http-equiv")
            << QByteArray("<meta http-equiv=Content-Type content=\"text/html; charset=gbk\" />" + gbk)
            << QByteArray() << QByteArray("gbk")
            << QString(QStringLiteral("<meta http-equiv=Content-Type content=\"text/html; charset=gbk\" />") +
                       words);
        QTest::newRow("header wins over meta")
            << QByteArray(metaGbk + words.toUtf8()) << QByteArray("text/html; charset=utf-8")
            << QByteArray("utf-8") << QString(metaText + words);
        QTest::newRow("meta beyond the head is ignored")
            << QByteArray(QByteArray(8000, ' ') + metaGbk) << QByteArray() << QByteArray()
            << QString(QString(8000, u' ') + metaText);
        QTest::newRow("nothing declared") << words.toUtf8() << QByteArray() << QByteArray() << words;
        QTest::newRow("unknown charset") << words.toUtf8() << QByteArray("text/html; charset=klingon-8")
                                         << QByteArray("klingon-8") << words;
        // Encodings no browser accepts from a page are read as UTF-8, whatever the converter knows.
        QTest::newRow("scsu refused") << words.toUtf8() << QByteArray("text/html; charset=scsu")
                                      << QByteArray("scsu") << words;
        QTest::newRow("utf-7 refused") << QByteArray("+ZeVnLA-") << QByteArray("text/html; charset=utf-7")
                                       << QByteArray("utf-7") << QStringLiteral("+ZeVnLA-");
        QTest::newRow("utf-8 bom outweighs the header")
            << QByteArray("\xEF\xBB\xBF" + words.toUtf8()) << QByteArray("text/html; charset=gbk")
            << QByteArray("gbk") << words;
        QTest::newRow("utf-16 bom") << QByteArray("\xFF\xFE" + QByteArray::fromHex("8e7fcd62c6899198"))
                                    << QByteArray() << QByteArray() << words;
        QTest::newRow("invalid utf-8") << QByteArray("a\xFF\xFE"
                                                     "b")
                                       << QByteArray() << QByteArray()
                                       << QString(QStringLiteral("a") + QChar(QChar::ReplacementCharacter) +
                                                  QChar(QChar::ReplacementCharacter) + u'b');
        QTest::newRow("empty") << QByteArray() << QByteArray("text/html; charset=gbk") << QByteArray("gbk")
                               << QString();
        QTest::newRow("meta without value") << QByteArray("<meta charset=><p>ok") << QByteArray()
                                            << QByteArray() << QStringLiteral("<meta charset=><p>ok");
    }
    void decode()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, charset);
        QFETCH(QString, text);
        if (qstrcmp(QTest::currentDataTag(), "header gb18030 four-byte") == 0 && TestSupport::underWine())
            QSKIP("wine 8.0 has no code page 54936, GB18030's four-byte forms (Windows has)");
        QCOMPARE(Web::charsetOf(body, contentType), charset);
        QCOMPARE(Web::decodeBody(body, contentType), text);
    }

    // A cut at any byte of a GBK page must decode without crashing and keep the whole characters.
    void truncatedMultibyte()
    {
        const QByteArray gbk = QByteArray::fromHex("c3c0c5c4cad3c6b5");
        for (qsizetype n = 0; n <= gbk.size(); ++n) {
            const QString text = Web::decodeBody(gbk.left(n), "text/html; charset=gbk");
            QVERIFY(QStringLiteral("美拍视频").startsWith(text.left(n / 2)));
        }
    }
};

QTEST_APPLESS_MAIN(TestDecode)
#include "test_decode.moc"
