#include "pages.h"

#include "benchutil.h"
#include "config/settings.h"

#include <QFile>
#include <QRandomGenerator>

namespace Bench {

namespace {

QString readText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

const char16_t *const phrases[] = {
    u"今天天气很好,我们一起去公园散步吧", u"这个视频太有意思了,转发给大家看看", u"夕阳下的西湖真美",
    u"周末和朋友一起做饭,分享一下我的拿手菜", u"小猫咪第一次见到雪的样子", u"城市夜景延时摄影",
    u"跟着音乐一起跳起来", u"旅行的意义在于路上的风景", u"新手学吉他第三十天打卡", u"家乡的味道,妈妈做的红烧肉",
};

QString fillerBlock(QRandomGenerator &gen, bool plain)
{
    const QString text = QString::fromUtf16(phrases[gen.bounded(int(std::size(phrases)))]);
    const QString other = QString::fromUtf16(phrases[gen.bounded(int(std::size(phrases)))]);
    const int n = int(gen.bounded(1000, 99999));
    if (plain)
        return QStringLiteral("<p>%1 %2 %3</p>\n").arg(text, QString::number(n), other);
    return QStringLiteral("<div class=\"feed-item\" id=\"item-%3\">\n"
                          "  <a class=\"feed-link\" href=\"/topic/%3.html\" target=\"_blank\">%1</a>\n"
                          "  <p class=\"feed-text\">%2</p>\n"
                          "  <span class=\"count\">%3 次播放</span> <em>%3</em>\n"
                          "</div>\n")
        .arg(text, other, QString::number(n));
}

bool sameFields(const Extract::Result &a, const Extract::Result &b)
{
    return a.video() == b.video() && a.slot[4] == b.slot[4] && a.display.author == b.display.author &&
           a.display.date == b.display.date && a.display.description == b.display.description;
}

} // namespace

QList<SamplePage> samplePages()
{
    const QString dir = sourceDir() + QStringLiteral("/tests/data/pages/");
    const QString answer = readText(dir + QStringLiteral("weishi_endpoint.txt"));
    return {
        {Extract::Service::Weishi, QStringLiteral("http://www.weishi.com/t/2001234567890"),
         readText(dir + QStringLiteral("weishi.html")), answer},
        {Extract::Service::Meipai, QStringLiteral("http://www.meipai.com/media/642349876"),
         readText(dir + QStringLiteral("meipai.html")), {}},
        {Extract::Service::Kuaishou, QStringLiteral("http://www.gifshow.com/i/photo/lwx/12345"),
         readText(dir + QStringLiteral("kuaishou.html")), {}},
        {Extract::Service::Miaopai, QStringLiteral("http://www.miaopai.com/show/abcDEF123~xyz.htm"),
         readText(dir + QStringLiteral("miaopai.html")), {}},
    };
}

QString grownPage(const QString &page, qsizetype utf8Bytes, bool plain)
{
    QRandomGenerator gen(42);
    QStringList lines = page.split(u'\n');
    const qsizetype have = page.toUtf8().size();
    // Blocks are produced first, then dealt out evenly between the lines.
    QStringList blocks;
    qsizetype bytes = have;
    while (bytes < utf8Bytes) {
        blocks.append(fillerBlock(gen, plain));
        bytes += blocks.constLast().toUtf8().size();
    }
    QString out;
    out.reserve(qsizetype(utf8Bytes));
    const qsizetype gaps = std::max<qsizetype>(1, lines.size() - 1);
    qsizetype dealt = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        out += lines[i];
        if (i + 1 < lines.size())
            out += u'\n';
        const qsizetype until = blocks.size() * std::min(i + 1, gaps) / gaps;
        while (dealt < until)
            out += blocks[dealt++];
    }
    return out;
}

GrownPage grownKeepingFields(Extract::Service service, const QString &address, const QString &page,
                             const Extract::FetchFn &fetch, const Config::Settings &cfg, qsizetype utf8Bytes)
{
    const Extract::Result small = Extract::extract(service, address, page, fetch, cfg);
    GrownPage grown;
    for (const bool plain : {false, true}) {
        grown.page = grownPage(page, utf8Bytes, plain);
        grown.sameFields = sameFields(Extract::extract(service, address, grown.page, fetch, cfg), small);
        if (grown.sameFields)
            break;
    }
    return grown;
}

} // namespace Bench
