#include "extract/textops.h"

namespace Extract {

std::optional<QStringView> elementView(QStringView text, QStringView marker, int k)
{
    if (k < 0)
        return std::nullopt;
    if (marker.isEmpty())
        return k == 0 ? std::optional<QStringView>(text) : std::nullopt;

    qsizetype start = 0;
    for (int i = 0; i < k; ++i) {
        const qsizetype at = text.indexOf(marker, start);
        if (at < 0)
            return std::nullopt;
        start = at + marker.size();
    }
    const qsizetype end = text.indexOf(marker, start);
    return text.sliced(start, (end < 0 ? text.size() : end) - start);
}

std::optional<QString> elementOf(QStringView text, QStringView marker, int k)
{
    if (const auto view = elementView(text, marker, k))
        return view->toString();
    return std::nullopt;
}

void setElement(QString &slot, QStringView text, QStringView marker, int k)
{
    if (auto e = elementOf(text, marker, k))
        slot = std::move(*e);
}

QString textBefore(QStringView text, QChar mark)
{
    const qsizetype at = text.indexOf(mark);
    return at < 0 ? QString() : text.first(at).toString();
}

QString textThrough(QStringView text, QStringView mark)
{
    if (mark.isEmpty())
        return QString();
    const qsizetype at = text.indexOf(mark);
    return at < 0 ? QString() : text.first(at + 1).toString();
}

QString removeAll(QString text, QStringView what)
{
    if (!what.isEmpty())
        text.remove(what.toString());
    return text;
}

QString trimSpaces(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin).toString();
}

QString addressPart(QStringView text)
{
    qsizetype begin = 0;
    while (begin < text.size() && text[begin] == u' ')
        ++begin;
    const qsizetype space = text.indexOf(u' ', begin);
    return text.sliced(begin, (space < 0 ? text.size() : space) - begin).toString();
}

} // namespace Extract
