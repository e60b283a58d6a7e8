#include "extract/markup.h"

#include "extract/textops.h"

#include <QStringList>

namespace Extract {

namespace {

struct Named
{
    QStringView name;
    char16_t character;
};

// The references these pages use; a browser knows two thousand more, none of them in an address.
constexpr Named named[] = {{u"quot", u'"'}, {u"amp", u'&'},   {u"lt", u'<'},
                           {u"gt", u'>'},   {u"apos", u'\''}, {u"nbsp", 0xa0}};

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

} // namespace

std::optional<Entity> entityAt(QStringView text, qsizetype at)
{
    if (at >= text.size() || text.at(at) != u'&')
        return std::nullopt;
    const qsizetype end = text.indexOf(u';', at + 1);
    if (end < 0 || end - at > 10)
        return std::nullopt;
    const QStringView body = text.sliced(at + 1, end - at - 1);
    const qsizetype length = end - at + 1;
    if (body.startsWith(u'#') && body.size() > 1) {
        const bool hex = body.at(1) == u'x' || body.at(1) == u'X';
        bool ok = false;
        const uint code = body.sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
        // A surrogate or beyond Unicode is no character; NUL is none a page means.
        if (!ok || code == 0 || code > 0x10ffff || (code >= 0xd800 && code < 0xe000))
            return std::nullopt;
        return Entity{char32_t(code), length};
    }
    for (const Named &n : named) {
        if (body == n.name)
            return Entity{n.character, length};
    }
    return std::nullopt;
}

QString decodeEntities(QStringView text)
{
    if (!text.contains(u'&'))
        return text.toString();
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        if (const std::optional<Entity> e = entityAt(text, i)) {
            out += QString::fromUcs4(&e->character, 1);
            i += e->length;
        } else {
            out += text.at(i++);
        }
    }
    return out;
}

QStringView tagAround(QStringView page, QStringView marker, qsizetype from)
{
    const qsizetype at = findText(page, marker, from);
    if (at < 0)
        return {};
    const qsizetype start = page.lastIndexOf(u'<', at);
    // From the marker's own start: it may end the tag itself ("<title>").
    const qsizetype end = page.indexOf(u'>', at);
    // Text between tags is no tag, however it reads.
    if (start < 0 || end < 0 || page.sliced(start, at - start).contains(u'>'))
        return {};
    return page.sliced(start, end - start + 1);
}

std::optional<QString> attributeOf(QStringView tag, QStringView name)
{
    for (qsizetype at = tag.indexOf(name); at >= 0; at = tag.indexOf(name, at + 1)) {
        // A whole attribute name: "src" is not the end of "data-src".
        if (at == 0 || !isSpace(tag.at(at - 1)))
            continue;
        qsizetype i = at + name.size();
        while (i < tag.size() && isSpace(tag.at(i)))
            ++i;
        if (i >= tag.size() || tag.at(i) != u'=')
            continue;
        ++i;
        while (i < tag.size() && isSpace(tag.at(i)))
            ++i;
        if (i >= tag.size())
            return std::nullopt;
        const QChar quote = tag.at(i);
        if (quote == u'"' || quote == u'\'') {
            const qsizetype end = tag.indexOf(quote, i + 1);
            return end < 0 ? std::nullopt : std::optional(decodeEntities(tag.sliced(i + 1, end - i - 1)));
        }
        qsizetype end = i;
        while (end < tag.size() && !isSpace(tag.at(end)) && tag.at(end) != u'>')
            ++end;
        return decodeEntities(tag.sliced(i, end - i));
    }
    return std::nullopt;
}

QStringView tagWithClass(QStringView page, QStringView name)
{
    for (qsizetype at = findText(page, name); at >= 0; at = findText(page, name, at + name.size())) {
        const QStringView tag = tagAround(page, name, at);
        if (tag.isEmpty() || tag.startsWith(u"</"))
            continue;
        const QStringList classes = attributeOf(tag, u"class").value_or(QString()).split(u' ', Qt::SkipEmptyParts);
        if (classes.contains(name))
            return tag;
    }
    return {};
}

QString elementText(QStringView page, QStringView tag)
{
    if (tag.isEmpty())
        return QString();
    qsizetype at = tag.data() - page.data() + tag.size();
    // Into the element's first child when it starts right away: <div …><strong>text</strong>.
    for (int steps = 0; steps < 2; ++steps) {
        qsizetype i = at;
        while (i < page.size() && isSpace(page.at(i)))
            ++i;
        if (i + 1 >= page.size() || page.at(i) != u'<' || page.at(i + 1) == u'/')
            break;
        const qsizetype end = page.indexOf(u'>', i);
        if (end < 0)
            return QString();
        at = end + 1;
    }
    const qsizetype end = page.indexOf(u'<', at);
    return decodeEntities(page.sliced(at, (end < 0 ? page.size() : end) - at)).trimmed();
}

QString metaContent(QStringView page, QStringView name)
{
    for (const QString &key : {QStringLiteral("property=\""), QStringLiteral("name=\"")}) {
        const QString marker = key + name + u'"';
        const QStringView tag = tagAround(page, marker);
        if (!tag.isEmpty() && tag.startsWith(u"<meta"))
            return attributeOf(tag, u"content").value_or(QString());
    }
    return QString();
}

QString wholeAddress(const QString &address)
{
    const QString trimmed = address.trimmed();
    return trimmed.startsWith(u"//") ? QStringLiteral("https:") + trimmed : trimmed;
}

} // namespace Extract
