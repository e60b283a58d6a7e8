#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>
#include <bitset>
#include <vector>

namespace Extract {

inline constexpr int slotCount = 51;

// Every working text and result of one extraction. An element cut out of another slot's text
// (setElement) is not copied: it refers into the characters of the text it was cut from, and
// those texts are kept here for as long as any copy of these slots lives. Most elements run to
// the end of a page, so copying each would cost more than the whole rest of the cutting. A
// working text taken out to outlive its slots must be copied: QString(text.constData(), text.size()).
//
// A page in valid UTF-8 may be given as bytes (setPage): its elements are then cut on the bytes,
// and a slot's text is decoded only when it is read. UTF-8 is self-synchronising, so a marker
// found in the bytes starts at a character, and what is cut is what cutting the decoded text gives.
// The cutting helpers below (textBefore, textThrough, contains) read such a slot without decoding
// all of it. Reading a slot decodes it inside a const function: one copy of the slots is for one
// thread at a time.
class Slots
{
public:
    // Reading for writing: the slot is text from here on.
    QString &operator[](std::size_t i);
    const QString &operator[](std::size_t i) const;
    static constexpr std::size_t size() { return slotCount; }
    auto begin() const
    {
        decodeAll();
        return m_texts.cbegin();
    }
    auto end() const { return m_texts.cend(); }

    // Writing without reading first: a slot still in bytes is not decoded for nothing.
    void set(std::size_t i, QString text);

    // Slot 0 holds `utf8`, which must be valid UTF-8 and not start with a byte order mark.
    void setPage(const QByteArray &utf8);

    // Slot `to` takes element k of slot `from` cut at every `marker` (see elementOf); when the
    // marker occurs fewer than k times, slot `to` stays as it was.
    void setElement(std::size_t to, std::size_t from, QStringView marker, int k = 1);

    // textBefore, textThrough and findText >= 0 over slot i.
    QString textBefore(std::size_t i, QChar mark) const;
    QString textThrough(std::size_t i, QStringView mark) const;
    bool contains(std::size_t i, QStringView what) const;
    bool isEmpty(std::size_t i) const;

    friend bool operator==(const Slots &a, const Slots &b);
    friend bool operator!=(const Slots &a, const Slots &b) { return !(a == b); }

private:
    // Slot i as bytes not yet decoded, or nullptr data.
    bool inBytes(std::size_t i) const { return m_bytes[i].data() != nullptr; }
    // Where an element in bytes ends is looked for only as far as a question about it needs: most
    // run to the end of the page, and the cut only reads their first few characters.
    void resolve(std::size_t i) const;
    bool holds(std::size_t i, qsizetype end) const; // bytes [0, end) of the slot's view are its
    void decode(std::size_t i) const;
    void decodeAll() const;

    mutable std::array<QString, slotCount> m_texts;
    mutable std::array<QByteArrayView, slotCount> m_bytes{};
    mutable std::array<QByteArray, slotCount> m_endMarker; // the element ends at its first one
    mutable std::bitset<slotCount> m_decoded;
    QByteArray m_page;              // what byte slots refer into
    std::vector<QString> m_sources; // the texts elements refer into
};

} // namespace Extract
