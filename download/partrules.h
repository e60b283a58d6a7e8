#pragma once

#include <QString>

class QNetworkReply;
class QUrl;

// Whose a ".part" is, what may continue it, and the name it takes when complete.
namespace Download {

class Records;

// Where a download of `url` asked for `wanted` writes: `wanted` itself when no ".part" lies beside
// it or the one there was started for this video; otherwise the next name that is free and not
// being written in this process: a ".part" of unknown origin is never continued nor touched.
// Empty when no name is free.
QString partTarget(const QString &wanted, const QUrl &url, Records &records);

// What tells this answer's bytes from another version's: a strong ETag, else Last-Modified;
// empty when the server gave neither.
QString answerValidator(const QNetworkReply &reply);

// A partial answer is of the version the ".part" holds: it names no other validator of the kind
// sent with If-Range.
bool sameVersion(const QString &sentValidator, const QNetworkReply &reply);

// `target` itself, unless it is named ".bin" for want of a safe extension: then the extension
// the complete file's first bytes show.
QString contentTarget(const QString &target, const QString &partPath);

} // namespace Download
