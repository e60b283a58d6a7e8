#include "config/settings.h"
#include "extract/extraction.h"
#include "pagedata.h"

#include <QTest>

using Extract::Service;

class TestKuaishou final : public QObject
{
    Q_OBJECT

    QString m_page;

private slots:
    void initTestCase() { m_page = samplePage(QStringLiteral("kuaishou.html")); }

    void cut_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("cover");
        QTest::addColumn<QString>("avatar");
        QTest::addColumn<QString>("author");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("date");

        const QString p = m_page;
        const QString video = QStringLiteral("http://v.gifshow.com/upic/2014/03/15/12345.mp4");
        const QString cover = QStringLiteral("http://img.gifshow.com/upic/2014/03/15/12345.jpg");
        const QString avatar = QStringLiteral("http://img.gifshow.com/avatar/2014/lxb.jpg");
        const QString author = QStringLiteral("刘小北");
        const QString desc = QStringLiteral("今天的雪好大 堆了个雪人");
        const QString date = QStringLiteral("2014-03-15 18:30");
        const QString none = QStringLiteral("该视频暂无描述");
        const QString name = QStringLiteral("<span>刘小北</span>:");
        const QString descSpan = QStringLiteral(" 今天的雪好大: 堆了个雪人 </span>");
        const QString avatarTag = QStringLiteral("<img src=\"http://img.gifshow.com/avatar/2014/lxb.jpg\"");
        const QString ellipsis = QStringLiteral("text-overflow: ellipsis;\">");

        QTest::newRow("full page") << p << video << cover << avatar << author << desc << date;

        QTest::newRow("name without any tag before the colon is empty")
            << edited(p, name, QStringLiteral("刘小北:")) << video << cover << avatar << QString() << desc << date;
        QTest::newRow("name with line break")
            << edited(p, name, QStringLiteral("<span>刘小\r\n北</span>:")) << video << cover << avatar << author
            << desc << date;
        QTest::newRow("name before a tag, colon later")
            << edited(p, name, QStringLiteral("刘小北<b>x</b>:")) << video << cover << avatar << author << desc << date;
        QTest::newRow("name 8 characters")
            << edited(p, name, QStringLiteral("<span>一二三四五六七八</span>:")) << video << cover << avatar
            << QStringLiteral("一二三四五六七八") << desc << date;
        QTest::newRow("name 9 characters")
            << edited(p, name, QStringLiteral("<span>一二三四五六七八九</span>:")) << video << cover << avatar
            << QStringLiteral("一二三四五六七八..") << desc << date;
        QTest::newRow("no ellipsis marker")
            << edited(p, ellipsis, QStringLiteral("text-overflow:ellipsis;\">")) << video << cover << QString()
            << QString() << none << date;
        QTest::newRow("ellipsis marker twice: cut stops at the second")
            << edited(p, QStringLiteral("<div class=\"time\">"), ellipsis + QStringLiteral("<div class=\"time\">"))
            << video << cover << avatar << author << desc << date;
        QTest::newRow("middle marker only once")
            << edited(p, QStringLiteral("class=\"desc\" style=\"vertical-align:middle;\">"),
                      QStringLiteral("class=\"desc\">"))
            << video << cover << avatar << author << none << date;
        QTest::newRow("middle marker three times")
            << edited(p, descSpan, descSpan + QStringLiteral("<span style=\"vertical-align:middle;\">关注</span>"))
            << video << cover << avatar << author << desc << date;
        QTest::newRow("description many colons, inner spaces stay")
            << edited(p, descSpan, QStringLiteral("  a:b: c:  </span>")) << video << cover << avatar << author
            << QStringLiteral("ab c") << date;
        QTest::newRow("description without </span>")
            << edited(edited(p, descSpan, QStringLiteral(" 雪 </div>")), QStringLiteral("</span>"),
                      QStringLiteral("</i>"))
            << video << cover << avatar << author << none << date;
        QTest::newRow("description 21 characters")
            << edited(p, descSpan, repeated(QStringLiteral("雪"), 21) + QStringLiteral("</span>")) << video << cover
            << avatar << author << repeated(QStringLiteral("雪"), 20) + QStringLiteral("..") << date;
        QTest::newRow("description 20 characters")
            << edited(p, descSpan, repeated(QStringLiteral("雪"), 20) + QStringLiteral("</span>")) << video << cover
            << avatar << author << repeated(QStringLiteral("雪"), 20) << date;
        QTest::newRow("avatar address with a leading space")
            << edited(p, avatarTag, QStringLiteral("<img src=\" http://img.gifshow.com/avatar/2014/lxb.jpg\""))
            << video << cover << avatar << author << desc << date;
        QTest::newRow("avatar tag without other attributes")
            << edited(p, QStringLiteral("lxb.jpg\" width=\"32\" height=\"32\""), QStringLiteral("lxb.jpg\""))
            << video << cover << avatar << author << desc << date;
        QTest::newRow("no poster")
            << edited(p, QStringLiteral("poster="), QStringLiteral("cover=")) << QString() << QString()
            << avatar << author << desc << date;
        QTest::newRow("source before the poster is ignored")
            << edited(p, QStringLiteral("<video id=\"video\" poster="),
                      QStringLiteral("<video src=\"http://a.test/old.mp4\" poster="))
            << video << cover << avatar << author << desc << date;
        QTest::newRow("no source after the poster")
            << edited(p, QStringLiteral("\" src=\"http://v.gifshow.com"), QStringLiteral("\" data=\"http://v.gifshow.com"))
            << QString() << cover << avatar << author << desc << date;
        QTest::newRow("no nowrap marker")
            << edited(p, QStringLiteral("white-space:nowrap;\">"), QStringLiteral("white-space:nowrap\">"))
            << video << cover << avatar << author << desc << QString();
    }
    void cut()
    {
        QFETCH(QString, page);
        QFETCH(QString, video);
        QFETCH(QString, cover);
        QFETCH(QString, avatar);
        QFETCH(QString, author);
        QFETCH(QString, description);
        QFETCH(QString, date);

        const Extract::Result r =
            Extract::extract(Service::Kuaishou, QStringLiteral("http://www.gifshow.com/i/photo/1"), page, {}, {});
        QCOMPARE(r.video(), video);
        QCOMPARE(r.slot[4], cover);
        QCOMPARE(r.display.coverAddress, cover);
        QCOMPARE(r.slot[8], avatar);
        QCOMPARE(r.display.avatarAddress, avatar);
        QVERIFY(r.display.avatarInAlpha);
        QCOMPARE(r.display.author, author);
        QCOMPARE(r.display.description, description);
        QCOMPARE(r.slot[6], date);
        QCOMPARE(r.display.date, date);
        QCOMPARE(r.display.badge, -1);
        QCOMPARE(r.status, video.isEmpty() ? Extract::statusNoVideo : Extract::statusDone);
    }
};

QTEST_APPLESS_MAIN(TestKuaishou)
#include "test_kuaishou.moc"
