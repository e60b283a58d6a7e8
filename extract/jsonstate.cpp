#include "extract/jsonstate.h"

#include "extract/markup.h"
#include "extract/textops.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <limits>

namespace Extract {

namespace {

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

std::optional<QJsonValue> parsed(const QString &json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    return doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array());
}

// A script's state may hold `undefined` where JSON has null (serialize-javascript writes it so).
std::optional<QJsonValue> parsedAsScript(const QString &json)
{
    if (std::optional<QJsonValue> value = parsed(json))
        return value;
    static const QString undefined = QStringLiteral("undefined");
    QString out;
    bool inString = false;
    bool backslash = false;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const QChar c = json.at(i);
        if (inString) {
            const bool escapedHere = backslash;
            backslash = !escapedHere && c == u'\\';
            inString = escapedHere || c != u'"';
        } else if (c == u'"') {
            inString = true;
        } else if (QStringView(json).sliced(i).startsWith(undefined)) {
            out += QLatin1String("null");
            i += undefined.size() - 1;
            continue;
        }
        out += c;
    }
    return out.size() == json.size() ? std::nullopt : parsed(out);
}

} // namespace

State stateAt(QStringView text, qsizetype at)
{
    State out;
    if (at < 0 || at >= text.size())
        return out;
    // Written into HTML, the state's quotes are references and a raw quote or "<" ends it.
    qsizetype next = at + 1;
    while (next < text.size() && isSpace(text.at(next)))
        ++next;
    const bool escaped = text.at(at) == u'&' || (next < text.size() && text.at(next) == u'&');
    QString unescaped;
    int depth = 0;
    bool inString = false;
    bool backslash = false;
    qsizetype characters = 0;
    for (qsizetype i = at; i < text.size();) {
        char32_t c = text.at(i).unicode();
        qsizetype step = 1;
        if (escaped) {
            if (c == u'"' || c == u'<')
                break;
            if (const std::optional<Entity> e = entityAt(text, i)) {
                c = e->character;
                step = e->length;
            }
            if (c < 0x10000)
                unescaped += QChar(char16_t(c));
            else
                unescaped += QString::fromUcs4(&c, 1);
        }
        i += step;
        // Refused before it is parsed: a state of megabytes costs its parse many times its size.
        if (++characters > largestState) {
            out.problem = StateProblem::TooLarge;
            return out;
        }
        if (inString) {
            if (backslash)
                backslash = false;
            else if (c == u'\\')
                backslash = true;
            else if (c == u'"')
                inString = false;
            continue;
        }
        if (characters == 1 && c != u'{' && c != u'[')
            return out;
        if (c == u'"') {
            inString = true;
        } else if (c == u'{' || c == u'[') {
            if (++depth > deepestState) {
                out.problem = StateProblem::TooDeep;
                return out;
            }
        } else if ((c == u'}' || c == u']') && --depth == 0) {
            const std::optional<QJsonValue> value =
                parsedAsScript(escaped ? unescaped : text.sliced(at, i - at).toString());
            out.problem = value ? StateProblem::None : StateProblem::Invalid;
            if (value)
                out.value = *value;
            return out;
        }
    }
    // The page ends, or the escaped text does, before the state does.
    out.problem = StateProblem::Invalid;
    return out;
}

State stateAfter(QStringView text, QStringView marker)
{
    const qsizetype found = findText(text, marker);
    if (found < 0)
        return State{};
    qsizetype at = found + marker.size();
    while (at < text.size() && (isSpace(text.at(at)) || text.at(at) == u'=' || text.at(at) == u'('))
        ++at;
    return stateAt(text, at);
}

std::optional<QString> jsonStringAt(QStringView text, qsizetype at)
{
    if (at < 0 || at >= text.size() || text.at(at) != u'"')
        return std::nullopt;
    bool backslash = false;
    for (qsizetype i = at + 1; i < text.size() && i - at <= largestState; ++i) {
        const QChar c = text.at(i);
        if (backslash) {
            backslash = false;
        } else if (c == u'\\') {
            backslash = true;
        } else if (c == u'"') {
            const std::optional<QJsonValue> array =
                parsed(u'[' + text.sliced(at, i - at + 1).toString() + u']');
            if (!array || !array->toArray().at(0).isString())
                return std::nullopt;
            return array->toArray().at(0).toString();
        }
    }
    return std::nullopt;
}

std::optional<QString> jsonStringOf(QStringView text, QStringView key)
{
    const QString quoted = u'"' + key.toString() + u'"';
    for (qsizetype found = findText(text, quoted); found >= 0; found = findText(text, quoted, found + 1)) {
        qsizetype at = found + quoted.size();
        while (at < text.size() && isSpace(text.at(at)))
            ++at;
        if (at >= text.size() || text.at(at) != u':')
            continue;
        ++at;
        while (at < text.size() && isSpace(text.at(at)))
            ++at;
        return jsonStringAt(text, at);
    }
    return std::nullopt;
}

QJsonValue valueAt(const QJsonValue &root, QStringView path)
{
    QJsonValue v = root;
    for (QStringView segment : path.split(u'.')) {
        const qsizetype bracket = segment.indexOf(u'[');
        const QStringView name = bracket < 0 ? segment : segment.first(bracket);
        if (!name.isEmpty())
            v = v.toObject().value(name);
        for (qsizetype at = bracket; at >= 0; at = segment.indexOf(u'[', at + 1)) {
            const qsizetype close = segment.indexOf(u']', at);
            bool ok = false;
            const int index = segment.sliced(at + 1, close - at - 1).toInt(&ok);
            if (close < 0 || !ok || !v.isArray())
                return QJsonValue(QJsonValue::Undefined);
            v = v.toArray().at(index);
        }
        if (v.isUndefined())
            return v;
    }
    return v;
}

QJsonValue ownEntry(const QJsonValue &list, const QStringList &idKeys, const QString &id)
{
    const auto idOf = [&](const QJsonValue &entry) {
        for (const QString &key : idKeys) {
            if (const QString text = textAt(entry, key); !text.isEmpty())
                return text;
        }
        return QString();
    };
    const QJsonArray entries = list.toArray();
    for (const QJsonValue &entry : entries) {
        if (!id.isEmpty() && idOf(entry) == id)
            return entry;
    }
    if (!entries.isEmpty() && entries.first().isObject() && idOf(entries.first()).isEmpty())
        return entries.first();
    return QJsonValue(QJsonValue::Undefined);
}

QString textAt(const QJsonValue &root, QStringView path)
{
    const QJsonValue v = valueAt(root, path);
    if (v.isString())
        return v.toString();
    constexpr qint64 none = std::numeric_limits<qint64>::min();
    // Whole numbers exactly as written, as far as the parse kept them whole.
    if (v.isDouble() && v.toInteger(none) != none)
        return QString::number(v.toInteger());
    return QString();
}

} // namespace Extract
