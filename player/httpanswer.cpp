#include "player/httpanswer.h"

#include <QNetworkRequest>
#include <QRegularExpression>

namespace Player {

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

bool isFollowedRedirect(const QNetworkReply &reply, int status)
{
    const bool redirect = status == 301 || status == 302 || status == 303 || status == 305 || status == 307
                          || status == 308;
    return redirect && reply.hasRawHeader("Location")
           && reply.request().attribute(QNetworkRequest::RedirectPolicyAttribute).toInt()
                  != QNetworkRequest::ManualRedirectPolicy;
}

} // namespace Player
