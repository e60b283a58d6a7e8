#include "app/loadpicture.h"

#include "config/settings.h"
#include "web/network.h"
#include "web/transfer.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

namespace App {

namespace {

QImage fromFile(const QString &path)
{
    // Only regular files: a device or a pipe named by a page must not block or flood us.
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > Web::NetworkAccess::forThread().network().maxBodyBytes)
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QImage::fromData(file.readAll());
}

// What a name that is no web address gives, without a request.
QImage withoutNetwork(const QString &strFileName, const QUrl &url, PictureSource allowed)
{
    const QString scheme = url.scheme().toLower();
    if (strFileName.isEmpty() || allowed == PictureSource::WebOnly)
        return {};
    if (scheme == u"file")
        return url.isLocalFile() ? fromFile(url.toLocalFile()) : QImage();
    // No scheme, or a drive letter: a path on this machine.
    if (scheme.isEmpty() || scheme.size() == 1)
        return fromFile(strFileName);
    return {};
}

} // namespace

QObject *LoadPicture(const QString &strFileName, PictureSource allowed, QObject *context,
                     std::function<void(const QImage &picture)> done)
{
    const QUrl url(strFileName, QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (!strFileName.isEmpty() && (scheme == u"http" || scheme == u"https")) {
        auto *transfer = new Web::Transfer(strFileName, {}, context);
        QObject::connect(transfer, &Web::Transfer::finished, transfer, [transfer, done = std::move(done)] {
            transfer->deleteLater();
            const Web::FetchResult &r = transfer->result();
            done(r.ok() && r.httpStatus < 400 ? QImage::fromData(r.body) : QImage());
        });
        return transfer;
    }
    auto *load = new QObject(context);
    QTimer::singleShot(0, load, [load, picture = withoutNetwork(strFileName, url, allowed), done = std::move(done)] {
        load->deleteLater();
        done(picture);
    });
    return load;
}

} // namespace App
