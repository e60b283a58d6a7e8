#include "cli/jsonline.h"

#include "cli/record.h"

namespace Cli {

QByteArray jsonString(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out.append('"');
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        case '\b': out.append("\\b"); break;
        case '\f': out.append("\\f"); break;
        default:
            if (u < 0x20) {
                static const char hex[] = "0123456789abcdef";
                out.append("\\u00");
                out.append(hex[u >> 4]);
                out.append(hex[u & 0xf]);
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
    line.reserve(256 + r.address.size() + r.video.size() + r.description.size());
    line += "{\"address\":" + jsonString(r.address);
    line += ",\"site\":" + (r.service ? jsonString(Extract::serviceKey(*r.service)) : QByteArray("null"));
    line += ",\"ok\":" + boolean(r.ok);
    line += ",\"video\":" + jsonString(r.video);
    line += ",\"cover\":" + jsonString(r.cover);
    line += ",\"avatar\":" + jsonString(r.avatar);
    line += ",\"author\":" + jsonString(r.author);
    line += ",\"description\":" + jsonString(r.description);
    line += ",\"date\":" + jsonString(r.date);
    line += ",\"verified\":" + boolean(r.verified);
    line += ",\"error\":" + (r.error ? jsonString(*r.error) : QByteArray("null"));
    line += ",\"archived\":";
    if (r.archived) {
        line += "{\"timestamp\":" + jsonString(r.archived->timestamp);
        line += ",\"page\":" + jsonString(r.archived->page);
        line += ",\"video\":" + (r.archived->video.isEmpty() ? QByteArray("null") : jsonString(r.archived->video));
        line += '}';
    } else {
        line += "null";
    }
    line += "}\n";
    return line;
}

} // namespace Cli
