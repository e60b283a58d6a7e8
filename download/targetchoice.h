#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace Config {
struct Download;
}

namespace Download {

class Records;

// What a video's name must leave free in its folder.
struct TargetWish
{
    QString folder;
    QString fileName;         // the name wanted, safe already
    QString video;            // the address its bytes come from
    QStringList sideSuffixes; // what is written beside it: ".info.json", ".jpg"...
    // Names this run holds for other videos; null: none.
    std::function<bool(const QString &name)> reserved;
    // A finished download of this video under a name ends the search; otherwise it is one more
    // file in the way.
    bool finishedEnds = true;
};

struct TargetChoice
{
    QString path;          // where the video goes, its ".part" beside it; empty: no name is free
                           // up to the last number freeName tries
    bool finished = false; // the file at `path` is this video's download, complete already
};

// The wished name, or else the first of "name (2).ext", "name (3).ext"... that is free for this
// video: no file under it unless it is this video's finished download, no ".part" unless this
// video's (which is then resumed), and no side file under the names beside it unless written for
// this video. Whatever else lies there is somebody else's and keeps its bytes.
TargetChoice chooseTarget(const TargetWish &wish, Records &records);

// The suffixes of the files a run with these settings writes beside each video; the cover's
// in each of the kinds a picture may turn out to be.
QStringList sideSuffixes(const Config::Download &keep);

} // namespace Download
