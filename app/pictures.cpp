#include "app/pictures.h"

#include <QFileInfo>
#include <QImageReader>

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

PictureLoader::PictureLoader(const QStringList &paths)
{
    auto work = std::make_shared<std::vector<std::pair<QString, std::promise<QImage>>>>();
    for (const QString &path : paths) {
        if (m_pending.contains(path))
            continue;
        work->emplace_back(path, std::promise<QImage>());
        m_pending.insert(path, work->back().second.get_future().share());
    }
    m_thread = std::thread([work] {
        for (auto &[path, picture] : *work)
            picture.set_value(readPicture(path));
    });
}

PictureLoader::~PictureLoader()
{
    m_thread.join();
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

} // namespace App
