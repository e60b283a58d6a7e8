#include "extract/slots.h"

#include "extract/textops.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace Extract {

namespace {

// elementView over bytes; `marker` is not empty.
std::optional<QByteArrayView> elementBytes(QByteArrayView text, QByteArrayView marker, int k)
{
    if (k < 0)
        return std::nullopt;
    qsizetype start = 0;
    for (int i = 0; i < k; ++i) {
        const qsizetype at = findBytes(text, marker, start);
        if (at < 0)
            return std::nullopt;
        start = at + marker.size();
    }
    const qsizetype end = findBytes(text, marker, start);
    return text.sliced(start, (end < 0 ? text.size() : end) - start);
}

// A marker whose UTF-8 is found exactly where the marker is found in the decoded text: one that is
// valid UTF-16. A lone surrogate never matches decoded text, while its UTF-8 stand-in would.
bool byteComparable(QStringView marker)
{
    return !marker.isEmpty() && marker.isValidUtf16();
}

// QString::fromUtf8 drops a byte order mark at the start of what it decodes; inside a page it is
// a character like any other, and the decoded page has it.
QString decoded(QByteArrayView bytes)
{
    static constexpr QByteArrayView bom("\xEF\xBB\xBF");
    if (!bytes.startsWith(bom))
        return QString::fromUtf8(bytes);
    QString marks;
    while (bytes.startsWith(bom)) {
        marks += QChar(0xFEFF);
        bytes = bytes.sliced(bom.size());
    }
    return marks + QString::fromUtf8(bytes);
}

} // namespace

QString &Slots::operator[](std::size_t i)
{
    decode(i);
    m_bytes[i] = QByteArrayView();
    return m_texts[i];
}

const QString &Slots::operator[](std::size_t i) const
{
    decode(i);
    return m_texts[i];
}

void Slots::set(std::size_t i, QString text)
{
    m_bytes[i] = QByteArrayView();
    m_texts[i] = std::move(text);
}

void Slots::decode(std::size_t i) const
{
    if (inBytes(i) && !m_decoded[i]) {
        m_texts[i] = decoded(m_bytes[i]);
        m_decoded.set(i);
    }
}

void Slots::decodeAll() const
{
    for (std::size_t i = 0; i < slotCount; ++i)
        decode(i);
}

void Slots::setPage(const QByteArray &utf8)
{
    m_page = utf8;
    m_texts[0] = QString();
    // Never a null view: an empty page is still bytes.
    m_bytes[0] = m_page.isNull() ? QByteArrayView("", 0) : QByteArrayView(m_page);
    m_decoded.reset(0);
}

void Slots::setElement(std::size_t to, std::size_t from, QStringView marker, int k)
{
    if (inBytes(from) && byteComparable(marker)) {
        const std::optional<QByteArrayView> element = elementBytes(m_bytes[from], marker.toUtf8(), k);
        if (!element)
            return;
        m_texts[to] = QString();
        m_bytes[to] = element->isNull() ? QByteArrayView("", 0) : *element;
        m_decoded.reset(to);
        return;
    }
    decode(from);
    const QString &source = m_texts[from];
    const std::optional<QStringView> element = elementView(source, marker, k);
    if (!element)
        return;
    // A source that is itself an element lies inside a text kept already.
    const QChar *begin = source.constData();
    const QChar *end = begin + source.size();
    const bool kept = std::any_of(m_sources.cbegin(), m_sources.cend(), [&](const QString &text) {
        return std::less_equal<>()(text.constData(), begin) && std::less_equal<>()(end, text.constData() + text.size());
    });
    if (!kept)
        m_sources.push_back(source);
    m_bytes[to] = QByteArrayView();
    m_texts[to] = QString::fromRawData(element->data(), element->size());
}

QString Slots::textBefore(std::size_t i, QChar mark) const
{
    if (!inBytes(i) || mark.isSurrogate())
        return Extract::textBefore((*this)[i], mark);
    const qsizetype at = findBytes(m_bytes[i], QString(mark).toUtf8());
    return at < 0 ? QString() : decoded(m_bytes[i].first(at));
}

QString Slots::textThrough(std::size_t i, QStringView mark) const
{
    if (!inBytes(i) || !byteComparable(mark) || mark.front().isSurrogate())
        return Extract::textThrough((*this)[i], mark);
    const qsizetype at = findBytes(m_bytes[i], mark.toUtf8());
    if (at < 0)
        return QString();
    return decoded(m_bytes[i].first(at + QString(mark.front()).toUtf8().size()));
}

bool Slots::contains(std::size_t i, QStringView what) const
{
    if (!inBytes(i) || !byteComparable(what))
        return findText((*this)[i], what) >= 0;
    return findBytes(m_bytes[i], what.toUtf8()) >= 0;
}

bool Slots::isEmpty(std::size_t i) const
{
    return inBytes(i) ? m_bytes[i].isEmpty() : m_texts[i].isEmpty();
}

bool operator==(const Slots &a, const Slots &b)
{
    a.decodeAll();
    b.decodeAll();
    return a.m_texts == b.m_texts;
}

} // namespace Extract
