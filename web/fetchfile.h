#pragma once

#include <QString>

class QSaveFile;

namespace Web {

struct FetchResult;

struct FileFetchResult
{
    bool ok = false;
    QString error; // why nothing was written under the final name; empty on success
    int httpStatus = 0;
    qint64 bytes = 0;
};

// Downloads a small file (an avatar) through the shared access point. The bytes go to a temporary
// file beside `path`, which takes the final name only when the transfer is complete and the
// server answered with a success status; otherwise an existing file at `path` stays as it was.
FileFetchResult fetchToFile(const QString &url, const QString &path);

// The end of such a transfer, written into `file` (a QSaveFile open on `path`) as it arrived: its
// bytes take the final name only when the answer `r` is a complete success.
FileFetchResult commitFile(QSaveFile &file, const FetchResult &r, const QString &path);

} // namespace Web
