#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <cctype>
#include <optional>

namespace Web {

// Reads the index's JSON table row by row, keeping only the columns asked for: the whole answer
// is never turned into a document.
class TableReader
{
public:
    // Deeper values are no index answer.
    static constexpr int deepest = 64;

    explicit TableReader(QByteArrayView json) : m_at(json.data()), m_end(json.data() + json.size()) {}

    bool take(char c)
    {
        skipSpace();
        if (m_at == m_end || *m_at != c)
            return false;
        ++m_at;
        return true;
    }
    bool peek(char c)
    {
        skipSpace();
        return m_at != m_end && *m_at == c;
    }
    bool atEnd()
    {
        skipSpace();
        return m_at == m_end;
    }

    // One row; `wanted` says which positions to keep as text (others, and values that are not
    // strings, stay empty). false when the answer is not JSON here. A row that is no array is
    // skipped and gives no fields.
    bool row(const QList<bool> &wanted, QList<QString> &fields, bool &isArray)
    {
        fields.fill(QString(), wanted.size());
        isArray = take('[');
        if (!isArray)
            return skipValue(0);
        if (take(']'))
            return true;
        for (qsizetype i = 0;; ++i) {
            skipSpace();
            if (m_at != m_end && *m_at == '"' && i < wanted.size() && wanted.at(i)) {
                std::optional<QString> text = string();
                if (!text)
                    return false;
                fields[i] = std::move(*text);
            } else if (!skipValue(1)) {
                return false;
            }
            if (take(']'))
                return true;
            if (!take(','))
                return false;
        }
    }

private:
    void skipSpace()
    {
        while (m_at != m_end && (*m_at == ' ' || *m_at == '\n' || *m_at == '\r' || *m_at == '\t'))
            ++m_at;
    }

    static void appendUtf8(QByteArray &out, char32_t c)
    {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xc0 | (c >> 6));
            out += char(0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            out += char(0xe0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3f));
            out += char(0x80 | (c & 0x3f));
        } else {
            out += char(0xf0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3f));
            out += char(0x80 | ((c >> 6) & 0x3f));
            out += char(0x80 | (c & 0x3f));
        }
    }

    std::optional<char32_t> hex4()
    {
        if (m_end - m_at < 4)
            return std::nullopt;
        char32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = *m_at++;
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= char32_t(c - '0');
            else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
                v |= char32_t((c | 0x20) - 'a' + 10);
            else
                return std::nullopt;
        }
        return v;
    }

    // At the opening quote.
    std::optional<QString> string()
    {
        ++m_at;
        const char *start = m_at;
        while (m_at != m_end && *m_at != '"' && *m_at != '\\' && static_cast<unsigned char>(*m_at) >= 0x20)
            ++m_at;
        if (m_at != m_end && *m_at == '"')
            return QString::fromUtf8(start, m_at++ - start);
        QByteArray text(start, m_at - start);
        while (m_at != m_end) {
            const char c = *m_at++;
            if (c == '"')
                return QString::fromUtf8(text);
            if (static_cast<unsigned char>(c) < 0x20)
                return std::nullopt;
            if (c != '\\') {
                text += c;
                continue;
            }
            if (m_at == m_end)
                return std::nullopt;
            const char e = *m_at++;
            switch (e) {
            case '"': case '\\': case '/': text += e; break;
            case 'b': text += '\b'; break;
            case 'f': text += '\f'; break;
            case 'n': text += '\n'; break;
            case 'r': text += '\r'; break;
            case 't': text += '\t'; break;
            case 'u': {
                std::optional<char32_t> c1 = hex4();
                if (!c1)
                    return std::nullopt;
                char32_t code = *c1;
                if (code >= 0xd800 && code < 0xdc00 && m_end - m_at >= 6 && m_at[0] == '\\' && m_at[1] == 'u') {
                    const char *back = m_at;
                    m_at += 2;
                    const std::optional<char32_t> c2 = hex4();
                    if (c2 && *c2 >= 0xdc00 && *c2 < 0xe000)
                        code = 0x10000 + ((code - 0xd800) << 10) + (*c2 - 0xdc00);
                    else
                        m_at = back;
                }
                appendUtf8(text, code >= 0xd800 && code < 0xe000 ? 0xfffd : code);
                break;
            }
            default:
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    bool skipValue(int depth)
    {
        skipSpace();
        if (m_at == m_end || depth > deepest)
            return false;
        const char c = *m_at;
        if (c == '"')
            return string().has_value();
        if (c == '[' || c == '{') {
            const char close = c == '[' ? ']' : '}';
            ++m_at;
            if (take(close))
                return true;
            for (;;) {
                if (close == '}') {
                    skipSpace();
                    if (m_at == m_end || *m_at != '"' || !string() || !take(':'))
                        return false;
                }
                if (!skipValue(depth + 1))
                    return false;
                if (take(close))
                    return true;
                if (!take(','))
                    return false;
            }
        }
        const char *start = m_at;
        while (m_at != m_end && (std::isalnum(static_cast<unsigned char>(*m_at)) || *m_at == '-' || *m_at == '+'
                                 || *m_at == '.'))
            ++m_at;
        const QByteArrayView word(start, m_at - start);
        if (word == "true" || word == "false" || word == "null")
            return true;
        bool number = false;
        (void)word.toDouble(&number);
        return number;
    }

    const char *m_at;
    const char *m_end;
};
} // namespace Web
