#pragma once

#include <QByteArray>
#include <QString>

namespace Cli {

struct Record;

// A JSON string literal in UTF-8. Escaped: the quote, the backslash, the controls (U+0000..U+001F,
// DEL, U+0080..U+009F) and the bidirectional embeddings, overrides and isolates (U+202A..U+202E,
// U+2066..U+2069); everything else stays raw.
QByteArray jsonString(const QString &text);

// One record as one line of JSON Lines (newline included), keys in a fixed order.
QByteArray jsonLine(const Record &record);

} // namespace Cli
