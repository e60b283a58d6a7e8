#include "web/preg.h"

#include <QRegularExpression>

namespace Web {

std::optional<QString> preg(const QString &value_, const QString &patrn, const QString &str)
{
    const QRegularExpression re(patrn, QRegularExpression::CaseInsensitiveOption);
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
