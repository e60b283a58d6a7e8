#include "extract/videoinfo.h"

#include "extract/service.h"

namespace Extract {

QString VideoInfo::videoToFetch() const
{
    return archived && !archived->video.isEmpty() ? archived->video : video;
}

QString VideoInfo::coverToFetch() const
{
    return archived ? archived->cover : cover;
}

VideoInfo videoInfo(Service service, const QString &page, const Result &result, const std::optional<Archived> &archived)
{
    const FieldSlots at = serviceRow(service).fields;
    // Copies: a slot may refer into a page that goes with the slots.
    const auto slot = [&](int i) {
        const QString &text = result.slot[std::size_t(i)];
        return QString(text.constData(), text.size());
    };
    VideoInfo info;
    info.service = service;
    info.page = page;
    info.video = slot(2);
    // Only what the road judged worth loading: a failed cut leaves stems such as "http://mvimg".
    info.cover = result.display.coverAddress.isEmpty() ? QString() : slot(4);
    info.avatar = result.display.avatarAddress.isEmpty() ? QString() : slot(at.avatar);
    info.author = slot(at.author);
    info.description = slot(at.description);
    info.date = slot(at.date);
    info.dateFromFileName = result.dateFromFileName && !info.date.isEmpty();
    info.verified = result.display.badge >= 0;
    info.archived = archived;
    // The road has already aimed the pictures of an archived result at their replays.
    if (info.archived)
        info.archived->cover = result.display.coverAddress;
    return info;
}

} // namespace Extract
