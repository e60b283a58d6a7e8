#include "app/pictures.h"

#include <QFileInfo>
#include <QImageReader>
#include <QThreadPool>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace App {

QImage readPicture(const QString &path)
{
    QImageReader reader(path, QFileInfo(path).suffix().toLower().toLatin1());
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

QImage shownPicture(QImage picture, const QSize &size)
{
    // The conversion QPixmap::fromImage() makes of a picture with alpha, done ahead of it. Done
    // before the scaling, it also lets Qt scale with its area-averaging scaler, which works on
    // that format directly, in place of a painter pass over a converted copy. A picture no one
    // else holds is converted in place.
    if (picture.hasAlphaChannel())
        picture.convertTo(QImage::Format_ARGB32_Premultiplied);
    if (picture.size() != size)
        picture = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return picture;
}

namespace {

struct Job
{
    QString path;
    bool kept = true; // taken as read, not only scaled
    std::promise<QImage> picture;
    std::vector<std::pair<QSize, std::promise<QImage>>> shown;
};

} // namespace

PictureLoader::PictureLoader(const QStringList &paths, const QList<QPair<QString, QSize>> &shown)
{
    auto work = std::make_shared<std::vector<Job>>();
    for (const QString &path : paths) {
        if (m_pending.contains(path))
            continue;
        work->push_back({path, true, {}, {}});
        m_pending.insert(path, work->back().picture.get_future().share());
    }
    for (const auto &[path, size] : shown) {
        const Key key(path, size);
        if (m_shown.contains(key))
            continue;
        auto job = std::find_if(work->begin(), work->end(), [&path](const Job &j) { return j.path == path; });
        if (job == work->end()) {
            work->push_back({path, false, {}, {}});
            job = work->end() - 1;
        }
        job->shown.emplace_back(size, std::promise<QImage>());
        m_shown.insert(key, job->shown.back().second.get_future().share());
    }
    auto done = std::make_shared<std::promise<void>>();
    m_done = done->get_future();
    // A thread of the shared pool: Qt scales large pictures on the pool's threads unless it
    // already runs on one, and two more threads made just for that cost more than they save.
    QThreadPool::globalInstance()->start([work, done] {
        for (Job &job : *work) {
            QImage picture = readPicture(job.path);
            if (job.kept)
                job.picture.set_value(picture);
            for (std::size_t i = 0; i < job.shown.size(); ++i) {
                auto &[size, promise] = job.shown[i];
                const bool last = !job.kept && i + 1 == job.shown.size();
                promise.set_value(picture.isNull() ? QImage()
                                                   : shownPicture(last ? std::move(picture) : picture, size));
            }
        }
        done->set_value();
    });
}

PictureLoader::~PictureLoader()
{
    m_done.wait();
}

QImage PictureLoader::take(const QString &path)
{
    const auto it = m_pending.constFind(path);
    if (it == m_pending.cend())
        return readPicture(path);
    const std::shared_future<QImage> picture = *it;
    m_pending.erase(it);
    return picture.get();
}

QImage PictureLoader::takeShown(const QString &path, const QSize &size)
{
    const auto it = m_shown.constFind(Key(path, size));
    if (it == m_shown.cend())
        return QImage();
    const std::shared_future<QImage> shown = *it;
    m_shown.erase(it);
    return shown.get();
}

} // namespace App
