#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace Fuzz {

// Parts of one input: an address, a page, an endpoint answer... split at the record separator.
inline constexpr char separator = '\x1e';

inline QList<QByteArray> parts(const uint8_t *data, size_t size, int count)
{
    const QByteArray in(reinterpret_cast<const char *>(data), qsizetype(size));
    QList<QByteArray> out;
    qsizetype from = 0;
    while (out.size() < count - 1) {
        const qsizetype at = in.indexOf(separator, from);
        if (at < 0)
            break;
        out.append(in.mid(from, at - from));
        from = at + 1;
    }
    out.append(in.mid(from));
    return out;
}

// A broken invariant is a finding like a crash: report it and stop.
inline void require(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

} // namespace Fuzz
