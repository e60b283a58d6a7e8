#include "web/fetchfile.h"

#include "web/getbody.h"

#include <QSaveFile>

namespace Web {

FileFetchResult fetchToFile(const QString &url, const QString &path)
{
    FileFetchResult out;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        out.error = QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString());
        return out;
    }
    FetchOptions options;
    options.sink = &file;
    return commitFile(file, fetch(url, options), path);
}

FileFetchResult commitFile(QSaveFile &file, const FetchResult &r, const QString &path)
{
    FileFetchResult out;
    out.httpStatus = r.httpStatus;
    if (!r.ok()) {
        out.error = r.errorString;
    } else if (r.httpStatus >= 400) {
        out.error = QStringLiteral("The server answered with status %1").arg(r.httpStatus);
    } else {
        out.bytes = file.size();
        if (file.commit())
            out.ok = true;
        else
            out.error = QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString());
    }
    if (!out.ok) {
        out.bytes = 0;
        file.cancelWriting();
    }
    return out;
}

} // namespace Web
