#pragma once

#include "extract/slots.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace Config {
struct Settings;
}

namespace Extract {

// The option buttons' indices; 3 ("微拍") has no extractor and is never shown.
enum class Service { Weishi = 0, Meipai = 1, Kuaishou = 2, Weipai = 3, Miaopai = 4 };


// Second request of an extraction (Weishi's download endpoint). nullopt means the fetch failed.
using FetchFn = std::function<std::optional<QString>(const QString &url)>;

// What the window shows, already passed through the display rules.
struct Display
{
    QString author;       // Label1
    QString description;  // Label2
    QString date;         // Label3
    QString coverAddress; // Image1
    QString avatarAddress;
    int badge = -1;       // index of v() to show right after Label1, or -1
    int badgeGap = 0;     // extra pixels between Label1's right edge and the badge
    bool avatarInAlpha = false; // avatar downloaded to a file and shown by aicAlphaImage3
};

// How an extraction, or the whole road of an address, ended; its status line is outcomeStatus().
enum class Outcome {
    Done,               // a video address was found
    NoVideo,            // the page gave none
    FetchFailed,        // no page to cut
    Refused,            // an address check failed: its own message is the status line
    UnknownService,     // no service's checks pass (zavlen-get without --site)
    Unsafe,             // the video is on this machine or a private network
    ArchiveBusy,        // the archive asked us to hold off
    ArchiveUnavailable, // the archive could not answer
    ArchiveTooSlow,     // the address's time with the archive ran out
    Cancelled,
    Unreadable,         // the page's data are there but are no JSON, too large or too deep
};

// The status line the window shows for `outcome`; empty for Refused and UnknownService, whose
// texts are the check's own and the command line's.
QString outcomeStatus(Outcome outcome);

inline const QString statusExtracting = QStringLiteral("正在提取视频,请稍等...");
inline const QString statusDone = QStringLiteral("视频提取完毕..");
inline const QString statusFetchFailed = QStringLiteral("页面获取失败,请检查网络或地址..");
inline const QString statusNoVideo = QStringLiteral("未能找到视频地址,请检查地址..");
inline const QString statusUnsafe = QStringLiteral("视频地址不安全,已拒绝..");
inline const QString statusCancelled = QStringLiteral("已取消..");
inline const QString statusUnreadable = QStringLiteral("页面数据无法读取,请检查地址..");
inline const QString statusArchiveSearch = QStringLiteral("正在从网页存档中查找..");
inline const QString statusArchiveBusy = QStringLiteral("网页存档繁忙,请稍后再试..");
inline const QString statusArchiveUnavailable = QStringLiteral("网页存档暂时无法访问,请稍后再试..");
inline const QString statusArchiveTooSlow = QStringLiteral("网页存档响应太慢,请稍后再试..");

struct Result
{
    // Not "slots": Qt defines that as a keyword macro.
    Slots slot;        // every working text and result; [2] video, [4] cover
    Display display;
    Outcome outcome = Outcome::NoVideo;
    QString status;    // status line at the end of the extraction
    bool dateFromFileName = false; // the page gave no date: the date is the time in the file's name

    void end(Outcome how) { outcome = how; status = outcomeStatus(how); }
    const QString &video() const { return slot[2]; }
    // Only a web address counts: a page must not hand us a local file or another scheme.
    bool found() const;
};

// The address a pasted text means: when it holds an http:// or https:// address among other text
// (a share text), that address alone, from its scheme up to the first white space or character
// outside printable ASCII; otherwise the text as it is.
QString addressIn(const QString &text);

// An http:// or https:// address with a host.
bool isWebAddress(const QString &address);
// A web address whose host has a dot in it: what a cut that found nothing leaves ("http://mvimg")
// is not one.
bool isCompleteWebAddress(const QString &address);
// An address cut from a page that may be fetched: a complete web address, and unless the settings
// allow it, not on this machine or a private network.
bool isSafePageAddress(const QString &address, const Config::Settings &cfg);

// The service's address-check ladder over addressIn(text): the status message of the first rung
// that applies.
std::optional<QString> checkAddress(Service service, const QString &text, const Config::Settings &cfg);

// Cutting and display rules over a fetched, non-empty page. Starts from empty slots.
Result extract(Service service, const QString &address, const QString &page, const FetchFn &fetch,
               const Config::Settings &cfg);

// A page as it arrived: its bytes and the Content-Type they came with.
struct PageBody
{
    QByteArray bytes;
    QByteArray contentType;
};
// The same over the page's bytes, with the same result: a page in valid UTF-8 is cut on its bytes
// and only the fields are decoded; any other page is decoded first, as a browser would.
Result extract(Service service, const QString &address, const PageBody &page, const FetchFn &fetch,
               const Config::Settings &cfg);

// The service whose later page layouts alone serve the address; otherwise the first service, in
// the window's order (Weishi, Meipai, Kuaishou, Miaopai), whose checks pass.
std::optional<Service> detectService(const QString &address, const Config::Settings &cfg);

// The identifier of the page in its address: Meipai's media number, Kuaishou's photoId, Miaopai's
// show id, Weishi's number after "/t/". Empty when the address has none.
QString pageId(Service service, const QString &address, const Config::Settings &cfg);

QString serviceKey(Service service);                 // "weishi", "meipai", "kuaishou", "miaopai"
std::optional<Service> serviceFromKey(const QString &key);

} // namespace Extract
