#include "cli/jsonline.h"

#include "cli/record.h"

#include <optional>

namespace Cli {

namespace {

struct Escape
{
    int length;    // bytes of UTF-8 it stands for
    char16_t unit; // the character
};

// The character at `at` when it is to be written as a four-digit escape. Beyond the controls JSON
// requires, DEL and the C1 controls would reach a terminal raw, and the bidirectional embeddings,
// overrides and isolates would reorder how the rest of a line is shown.
std::optional<Escape> escapeAt(const QByteArray &utf8, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return i < utf8.size() ? static_cast<unsigned char>(utf8[i]) : 0; };
    const unsigned char b = byte(at);
    const unsigned char b1 = byte(at + 1);
    const unsigned char b2 = byte(at + 2);
    if (b < 0x20 || b == 0x7f)
        return Escape{1, b};
    if (b == 0xc2 && b1 >= 0x80 && b1 <= 0x9f)
        return Escape{2, b1};
    const auto three = char16_t(((b & 0x0f) << 12) | ((b1 & 0x3f) << 6) | (b2 & 0x3f));
    if (b == 0xe2 && b1 >= 0x80 && b1 <= 0x81 && b2 >= 0x80 && b2 <= 0xbf
        && ((three >= 0x202a && three <= 0x202e) || (three >= 0x2066 && three <= 0x2069)))
        return Escape{3, three};
    return std::nullopt;
}

} // namespace

QByteArray jsonString(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out.append('"');
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        case '\b': out.append("\\b"); break;
        case '\f': out.append("\\f"); break;
        default:
            if (const std::optional<Escape> e = escapeAt(utf8, i)) {
                static const char hex[] = "0123456789abcdef";
                out.append("\\u");
                for (const int shift : {12, 8, 4, 0})
                    out.append(hex[(e->unit >> shift) & 0xf]);
                i += e->length - 1;
            } else {
                out.append(c);
            }
        }
    }
    out.append('"');
    return out;
}

QByteArray jsonLine(const Record &r)
{
    const auto boolean = [](bool b) { return b ? QByteArray("true") : QByteArray("false"); };
    QByteArray line;
    const Extract::VideoInfo &v = r.info;
    line.reserve(256 + r.address.size() + v.video.size() + v.description.size());
    line += "{\"address\":" + jsonString(r.address);
    line += ",\"site\":" + (r.service ? jsonString(Extract::serviceKey(*r.service)) : QByteArray("null"));
    line += ",\"ok\":" + boolean(r.ok());
    line += ",\"video\":" + jsonString(v.video);
    const auto orNull = [](const QString &text) { return text.isEmpty() ? QByteArray("null") : jsonString(text); };
    line += ",\"cover\":" + orNull(v.cover);
    line += ",\"avatar\":" + orNull(v.avatar);
    line += ",\"author\":" + jsonString(v.author);
    line += ",\"description\":" + jsonString(v.description);
    line += ",\"date\":" + jsonString(v.date);
    // Only where it stood in: a record of a page that gave its date is as it always was.
    if (v.dateFromFileName)
        line += ",\"date_from_file_name\":true";
    line += ",\"verified\":" + boolean(v.verified);
    line += ",\"error\":" + (r.error ? jsonString(*r.error) : QByteArray("null"));
    line += ",\"archived\":";
    if (v.archived) {
        line += "{\"timestamp\":" + jsonString(v.archived->timestamp);
        line += ",\"page\":" + jsonString(v.archived->page);
        line += ",\"video\":" + (v.archived->video.isEmpty() ? QByteArray("null") : jsonString(v.archived->video));
        line += '}';
    } else {
        line += "null";
    }
    line += ",\"skipped\":" + boolean(r.skipped);
    line += "}\n";
    return line;
}

} // namespace Cli
