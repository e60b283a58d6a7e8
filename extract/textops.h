#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

namespace Extract {

// The first occurrence of `what` in `text` at or after `from`, case-sensitive, or -1: what
// QStringView::indexOf gives, found by comparing the needle's first and last characters at 8 or 16
// places at once. Most markers are searched for from one end of a page to the other.
qsizetype findText(QStringView text, QStringView what, qsizetype from = 0);
// The same over bytes, 16 or 32 places at once.
qsizetype findBytes(QByteArrayView text, QByteArrayView what, qsizetype from = 0);

// Element k of `text` cut at every `marker`: 0 is the part before the first occurrence, k the part
// after the k-th occurrence up to the next one (or the end). nullopt when the marker occurs fewer
// than k times. Only the element itself is copied.
std::optional<QString> elementOf(QStringView text, QStringView marker, int k);

// The same element, as a view into `text`.
std::optional<QStringView> elementView(QStringView text, QStringView marker, int k);

// The text up to the first `mark`, without it; empty when the mark does not occur.
QString textBefore(QStringView text, QChar mark);

// The text up to and including the first character of the first `mark`; empty when it does not occur.
QString textThrough(QStringView text, QStringView mark);

QString removeAll(QString text, QStringView what);

// Only the space character counts: tabs and line breaks stay.
QString trimSpaces(QStringView text);

// An address cut out of a tag: leading spaces go, and the address ends at its first space.
QString addressPart(QStringView text);

} // namespace Extract
