#include "app/startup/pictures.h"

#include <QFileInfo>
#include <QImageReader>
#include <QResource>
#include <QThreadPool>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace App {

namespace {

const QString ownPictures = QStringLiteral(":/assets/");
constexpr char bakedMagic[4] = {'Z', 'P', 'X', '1'};

// Numbers and pixels as the machine that baked it keeps them, which says which that was: a copy
// baked on a machine of the other byte order (a cross build) is not read, and the picture is
// decoded from its file instead.
constexpr quint32 bakedByteOrder = 0x01020304;

struct BakedHeader
{
    char magic[4];
    quint32 width;
    quint32 height;
    quint32 format;
    quint32 bytesPerLine;
    quint32 byteOrder;   // bakedByteOrder, as the baking machine writes it
    quint32 reserved[2]; // 32 bytes in all: the pixels are as aligned as the stored form
};
static_assert(sizeof(BakedHeader) == 32);

bool hasColourTable(QImage::Format format)
{
    return QImage::toPixelFormat(format).colorModel() == QPixelFormat::Indexed;
}

// The resource the build stores a baked copy under: NAME, or NAME.WxH for one made at a size.
QString bakedName(const QString &path, const QSize &size)
{
    const QString name = QStringLiteral(":/baked/") + QFileInfo(path).fileName();
    return size.isValid() ? name + QStringLiteral(".%1x%2").arg(size.width()).arg(size.height()) : name;
}

} // namespace

QByteArray bakedForm(const QImage &picture)
{
    if (picture.isNull() || hasColourTable(picture.format()))
        return QByteArray();
    BakedHeader header{};
    std::memcpy(header.magic, bakedMagic, sizeof bakedMagic);
    header.width = quint32(picture.width());
    header.height = quint32(picture.height());
    header.format = quint32(picture.format());
    header.bytesPerLine = quint32(picture.bytesPerLine());
    header.byteOrder = bakedByteOrder;
    QByteArray form(reinterpret_cast<const char *>(&header), sizeof header);
    form.append(reinterpret_cast<const char *>(picture.constBits()), picture.sizeInBytes());
    return form;
}

QImage fromBakedForm(const uchar *data, qsizetype size)
{
    BakedHeader header;
    if (!data || size < qsizetype(sizeof header))
        return QImage();
    std::memcpy(&header, data, sizeof header);
    if (std::memcmp(header.magic, bakedMagic, sizeof bakedMagic) != 0 || header.byteOrder != bakedByteOrder
        || header.width == 0
        || header.height == 0 || header.width > 32768 || header.height > 32768 || header.format == 0
        || header.format >= quint32(QImage::NImageFormats))
        return QImage();
    const auto format = QImage::Format(header.format);
    const qint64 rowBytes = (qint64(header.width) * QImage::toPixelFormat(format).bitsPerPixel() + 7) / 8;
    if (hasColourTable(format) || header.bytesPerLine < rowBytes
        || header.bytesPerLine % 4 != 0
        || size - qsizetype(sizeof header) != qint64(header.bytesPerLine) * header.height)
        return QImage();
    const uchar *pixels = data + sizeof header;
    const int width = int(header.width);
    const int height = int(header.height);
    if (reinterpret_cast<quintptr>(pixels) % 4 == 0)
        return QImage(pixels, width, height, qsizetype(header.bytesPerLine), format);
    QImage copy(width, height, format);
    if (copy.isNull())
        return QImage();
    for (int y = 0; y < height; ++y)
        std::memcpy(copy.scanLine(y), pixels + qsizetype(y) * header.bytesPerLine, std::size_t(rowBytes));
    return copy;
}

QImage bakedPicture(const QString &path, const QSize &size)
{
    if (!path.startsWith(ownPictures))
        return QImage();
    // Stored uncompressed, a resource's data is the program's own and lasts as long as it runs.
    const QResource resource(bakedName(path, size));
    if (!resource.isValid() || resource.compressionAlgorithm() != QResource::NoCompression)
        return QImage();
    return fromBakedForm(resource.data(), qsizetype(resource.size()));
}

QImage readPicture(const QString &path)
{
    if (QImage baked = bakedPicture(path); !baked.isNull())
        return baked;
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

std::shared_future<QImage> ready(QImage picture)
{
    std::promise<QImage> promise;
    promise.set_value(std::move(picture));
    return promise.get_future().share();
}

} // namespace

PictureLoader::PictureLoader(const QStringList &paths, const QList<QPair<QString, QSize>> &shown)
{
    auto work = std::make_shared<std::vector<Job>>();
    for (const QString &path : paths) {
        if (m_pending.contains(path))
            continue;
        if (QImage baked = bakedPicture(path); !baked.isNull()) {
            m_pending.insert(path, ready(std::move(baked)));
            continue;
        }
        work->push_back({path, true, {}, {}});
        m_pending.insert(path, work->back().picture.get_future().share());
    }
    for (const auto &[path, size] : shown) {
        const Key key(path, size);
        if (m_shown.contains(key))
            continue;
        if (QImage baked = bakedPicture(path, size); !baked.isNull()) {
            m_shown.insert(key, ready(std::move(baked)));
            continue;
        }
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
    if (work->empty()) {
        done->set_value();
        return;
    }
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
        return bakedPicture(path, size);
    const std::shared_future<QImage> shown = *it;
    m_shown.erase(it);
    return shown.get();
}

} // namespace App
