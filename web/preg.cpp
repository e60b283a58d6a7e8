#include "web/preg.h"

#include <QHash>
#include <QRegularExpression>
#include <QThreadStorage>

namespace Web {

namespace {

// Compiling a pattern (and its machine code, at its first match) costs far more than matching the
// few lines of a page: every page of a batch would pay for it again. Kept per thread, so that no
// compiled pattern is ever shared between threads. Not thread_local: with MinGW's threads the
// destructors of thread_local objects can keep a worker's end (and the process's exit) waiting for
// ever; QThreadStorage ends them inside the thread, while it is still a Qt thread.
QThreadStorage<QHash<QString, QRegularExpression>> perThread;

const QRegularExpression &compiled(const QString &pattern)
{
    QHash<QString, QRegularExpression> &patterns = perThread.localData();
    auto it = patterns.find(pattern);
    if (it == patterns.end()) {
        if (patterns.size() >= 16)
            patterns.clear();
        it = patterns.insert(pattern, QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption));
    }
    return *it;
}

} // namespace

std::optional<QString> preg(const QString &value_, const QString &patrn, const QString &str)
{
    const QRegularExpression &re = compiled(patrn);
    if (!re.isValid())
        return std::nullopt;

    QString out;
    qsizetype last = 0;
    QRegularExpressionMatchIterator it = re.globalMatch(value_);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(value_).sliced(last, m.capturedStart() - last);
        out += str;
        last = m.capturedEnd();
    }
    if (last == 0 && out.isEmpty())
        return value_;
    out += QStringView(value_).sliced(last);
    return out;
}

} // namespace Web
