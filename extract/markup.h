#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// Small readings of HTML for the later pages, whose fields sit in attributes and elements named
// by their classes rather than at fixed markers.
namespace Extract {

struct Entity
{
    char32_t character;
    qsizetype length; // of its written form, "&#34;" is 5
};
// The character reference starting at `at` ("&quot;", "&#34;", "&#x22;"); nullopt when there is none.
std::optional<Entity> entityAt(QStringView text, qsizetype at);

// `text` with its character references replaced by their characters.
QString decodeEntities(QStringView text);

// The tag ("<…>") in which the first `marker` at or after `from` stands; empty when there is none.
QStringView tagAround(QStringView page, QStringView marker, qsizetype from = 0);

// The first start tag whose class list holds `name` ("detail-avatar" in class="detail-avatar pa").
QStringView tagWithClass(QStringView page, QStringView name);

// The value of attribute `name` in `tag`, unescaped; nullopt when the tag has none.
std::optional<QString> attributeOf(QStringView tag, QStringView name);

// The text of the element that starts with `tag` (a view into `page`), up to the next tag,
// unescaped and trimmed; tags at its very start (a <strong>) are stepped into.
QString elementText(QStringView page, QStringView tag);

// The content of the <meta> whose property or name is `name`.
QString metaContent(QStringView page, QStringView name);

// An address as a page writes it, made whole: "//host/…" gets "https:".
QString wholeAddress(const QString &address);

} // namespace Extract
