#include "extract/slots.h"

#include "extract/textops.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace Extract {

namespace {

// Where element k of `text` cut at `marker` starts, or -1 (see elementView); `marker` is not empty.
qsizetype elementStart(QByteArrayView text, QByteArrayView marker, int k)
{
    if (k < 0)
        return -1;
    qsizetype start = 0;
    for (int i = 0; i < k; ++i) {
        const qsizetype at = findBytes(text, marker, start);
        if (at < 0)
            return -1;
        start = at + marker.size();
    }
    return start;
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
    m_endMarker[i].clear();
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
    m_endMarker[i].clear();
    m_texts[i] = std::move(text);
}

void Slots::resolve(std::size_t i) const
{
    if (m_endMarker[i].isEmpty())
        return;
    if (const qsizetype end = findBytes(m_bytes[i], m_endMarker[i]); end >= 0)
        m_bytes[i] = m_bytes[i].first(end);
    m_endMarker[i].clear();
}

bool Slots::holds(std::size_t i, qsizetype end) const
{
    const QByteArray &marker = m_endMarker[i];
    if (marker.isEmpty())
        return end <= m_bytes[i].size();
    // Only an end marker starting before `end` matters; the first one found is the element's end.
    const qsizetype reach = std::min(m_bytes[i].size(), end - 1 + marker.size());
    const qsizetype at = findBytes(m_bytes[i].first(reach), marker);
    if (at < 0)
        return end <= m_bytes[i].size();
    m_bytes[i] = m_bytes[i].first(at);
    m_endMarker[i].clear();
    return false;
}

void Slots::decode(std::size_t i) const
{
    if (inBytes(i) && !m_decoded[i]) {
        resolve(i);
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
    m_endMarker[0].clear();
    m_decoded.reset(0);
}

void Slots::setElement(std::size_t to, std::size_t from, QStringView marker, int k)
{
    if (inBytes(from) && byteComparable(marker)) {
        resolve(from);
        const QByteArray bytes = marker.toUtf8();
        const qsizetype start = elementStart(m_bytes[from], bytes, k);
        if (start < 0)
            return;
        m_texts[to] = QString();
        m_bytes[to] = m_bytes[from].sliced(start);
        if (m_bytes[to].isNull())
            m_bytes[to] = QByteArrayView("", 0);
        m_endMarker[to] = bytes;
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
    m_endMarker[to].clear();
    m_texts[to] = QString::fromRawData(element->data(), element->size());
}

QString Slots::textBefore(std::size_t i, QChar mark) const
{
    if (!inBytes(i) || mark.isSurrogate())
        return Extract::textBefore((*this)[i], mark);
    const QByteArray bytes = QString(mark).toUtf8();
    const qsizetype at = findBytes(m_bytes[i], bytes);
    return at < 0 || !holds(i, at + bytes.size()) ? QString() : decoded(m_bytes[i].first(at));
}

QString Slots::textThrough(std::size_t i, QStringView mark) const
{
    if (!inBytes(i) || !byteComparable(mark) || mark.front().isSurrogate())
        return Extract::textThrough((*this)[i], mark);
    const QByteArray bytes = mark.toUtf8();
    const qsizetype at = findBytes(m_bytes[i], bytes);
    if (at < 0 || !holds(i, at + bytes.size()))
        return QString();
    return decoded(m_bytes[i].first(at + QString(mark.front()).toUtf8().size()));
}

bool Slots::contains(std::size_t i, QStringView what) const
{
    if (!inBytes(i) || !byteComparable(what))
        return findText((*this)[i], what) >= 0;
    const QByteArray bytes = what.toUtf8();
    const qsizetype at = findBytes(m_bytes[i], bytes);
    return at >= 0 && holds(i, at + bytes.size());
}

bool Slots::isEmpty(std::size_t i) const
{
    if (!inBytes(i))
        return m_texts[i].isEmpty();
    return m_bytes[i].isEmpty() || !holds(i, 1);
}

bool operator==(const Slots &a, const Slots &b)
{
    a.decodeAll();
    b.decodeAll();
    return a.m_texts == b.m_texts;
}

} // namespace Extract
