#pragma once

#include "extract/service.h"

#include <QString>
#include <QStringView>

// Kuaishou's pages after its first site, shared by the files that read them: the address forms
// and the pieces every reader of them uses.
namespace Extract::Kuaishou {

enum class Form {
    None,
    Photo,   // www.kuaishou.com/photo/<user>/<photo number> (2016-2018)
    Live,    // live.kuaishou.com/u/<user>/<work> (2018-2021)
    Vision,  // www.kuaishou.com/short-video/<work>, video.kuaishou.com/video/<work> (2021-2025)
    Mobile,  // …/fw/photo/<work> on the mobile share hosts (2020-2026)
    Long,    // …/fw/long-video/<work>: its page is the /fw/photo/ one
    Share,   // v.kuaishou.com/<code>, gifshow.com/s/<code>, …: a redirect to one of the above
};

struct Address
{
    Form form = Form::None;
    QString id; // the work's identifier (its eid), the photo number, or the share code
};
Address addressOf(const QString &address, const Config::Settings &cfg);

// The service's slots filled with what was found, nothing when no video was; where the page
// gives no date, the time in the video's or the cover's file name stands in.
void putFound(Reading &r, Found found);

// "…/upic/2016/07/01/21/B<base64>.mp4": the name past its "B" is base64 of
// "20160701213828_<user>_<photo>_…", the upload time in China's. Empty when there is none.
QString upicTime(const QString &address);

// The <video> of the page: the player's own (id="video-player"), or the first.
QStringView videoTag(QStringView page);

// The readers, by the generation they read.
void readPhotoPage(Reading &r);   // og:video:url, <video src>
void readVueState(Reading &r);    // window.VUE_MODEL_INIT_STATE
void readApolloState(Reading &r); // window.__APOLLO_STATE__, VideoFeed and VisionVideoDetailPhoto
void readVideoTag(Reading &r);    // the mobile page of 2018-2019: the player's <video>
void readPageData(Reading &r);    // window.pageData, srcNoMark
void readInitState(Reading &r);   // window.INIT_STATE

} // namespace Extract::Kuaishou
