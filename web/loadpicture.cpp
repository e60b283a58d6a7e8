#include "web/loadpicture.h"

#include "config/settings.h"
#include "web/getbody.h"
#include "web/network.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace Web {

namespace {

QImage fromFile(const QString &path)
{
    // Only regular files: a device or a pipe named by a page must not block or flood us.
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > NetworkAccess::settings().network.maxBodyBytes)
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QImage::fromData(file.readAll());
}

} // namespace

QImage LoadPicture(const QString &strFileName, PictureSource allowed)
{
    if (strFileName.isEmpty())
        return {};
    const QUrl url(strFileName, QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (scheme == u"http" || scheme == u"https") {
        const FetchResult r = fetch(strFileName);
        if (!r.ok() || r.httpStatus >= 400)
            return {};
        return QImage::fromData(r.body);
    }
    if (allowed == PictureSource::WebOnly)
        return {};
    if (scheme == u"file")
        return url.isLocalFile() ? fromFile(url.toLocalFile()) : QImage();
    // No scheme, or a drive letter: a path on this machine.
    if (scheme.isEmpty() || scheme.size() == 1)
        return fromFile(strFileName);
    return {};
}

} // namespace Web
