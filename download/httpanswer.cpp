#include "download/httpanswer.h"

#include <QRegularExpression>

namespace Download {

ContentRange parseContentRange(const QByteArray &value)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*bytes\\s+(?:(\\d+)-\\d+|\\*)/(\\d+|\\*)\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    ContentRange range;
    const auto match = pattern.match(QString::fromLatin1(value));
    if (!match.hasMatch())
        return range;
    if (match.capturedLength(1) > 0)
        range.first = match.captured(1).toLongLong();
    if (match.captured(2) != QStringLiteral("*"))
        range.total = match.captured(2).toLongLong();
    return range;
}

bool isRefusedRedirect(QNetworkReply::NetworkError error)
{
    return error == QNetworkReply::TooManyRedirectsError || error == QNetworkReply::InsecureRedirectError
           || error == QNetworkReply::ProtocolUnknownError;
}

} // namespace Download
