#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace Extract::Meipai {

// The video address Meipai's pages hid from 2017 on (data-video, mediaInfo.video): base64 with
// two runs of junk put in. The first four characters, reversed, are a hexadecimal number whose
// four decimal digits say where: the first two, how many characters go at which place from the
// start; the last two, from the end. The junk is deleted at those places and nowhere else: the
// same characters may well stand elsewhere in the value. A protocol-relative result gets https.
// nullopt when `encoded` is no such value.
std::optional<QString> decodeVideo(QStringView encoded);

// The upload time Meipai wrote into its file names: the first eight hexadecimal characters of
// the name of a file on its mvvideo… or mvimg… hosts, in seconds since 1970. nullopt when the
// address has none, or it is no plausible time.
std::optional<qint64> fileTime(const QString &address);

} // namespace Extract::Meipai
