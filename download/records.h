#pragma once

#include <QString>
#include <memory>
#include <optional>

namespace Web {
class DeferredLookupCache;
}

namespace Download {

// What downloads of this program wrote where, kept in the lookup cache's file: a later run tells
// the finished video, the ".part" and the files beside a video from anybody else's files under
// the same names. Without that file (it cannot be written, or another program holds it) nothing
// is known, and every file counts as somebody else's.
class Records
{
public:
    // `store` may be null: then nothing is known.
    explicit Records(std::shared_ptr<Web::DeferredLookupCache> store);

    // The file at `path` is this video's finished download, as big as it was when it was done.
    bool isFinished(const QString &path, const QString &video);
    // The ".part" beside `target` was started for this video: the validator of the answer it holds
    // (empty when the server gave none); nullopt when it was not, or is not known to be.
    std::optional<QString> partOf(const QString &target, const QString &video);
    // The file at `path` was written beside this video.
    bool isSideOf(const QString &path, const QString &video);

    // false when it could not be remembered: no later run will know the ".part" for this video's
    bool startedPart(const QString &target, const QString &video, const QString &validator);
    // `path` is where the video was written; `target` the name it was started under.
    void finished(const QString &path, const QString &target, const QString &video);
    void wroteSide(const QString &path, const QString &video);

    // The record key of a path: cleaned and absolute.
    static QString key(const QString &path);
    // One spelling of a video's address, whoever wrote it down.
    static QString videoKey(const QString &video);

private:
    std::shared_ptr<Web::DeferredLookupCache> m_store;
};

} // namespace Download
