#pragma once

#include <QByteArray>
#include <QString>

namespace Cli {

struct Record;

// A JSON string literal in UTF-8: only the quote, the backslash and control characters are escaped.
QByteArray jsonString(const QString &text);

// One record as one line of JSON Lines (newline included), keys in a fixed order.
QByteArray jsonLine(const Record &record);

} // namespace Cli
