#pragma once

#include "extract/extraction.h"

#include <QList>
#include <QString>
#include <QStringView>

namespace Config {
struct Settings;
}

namespace Demo {

class LoopbackArchive;
class LoopbackSite;

// A sample of the pages the services served after 2016.
struct LaterSample
{
    Extract::Service service;
    QString address;
    bool archived; // the live site has lost it; the demonstration's web archive keeps it
};

// Live and archived pages of the services' later layouts and share links, in the window's order
// of services.
QList<LaterSample> laterSamples(const Config::Settings &settings);

// Serves them, their answers, pictures and videos, live or from `archive`.
void addLaterSamples(LoopbackSite &site, LoopbackArchive &archive, const Config::Settings &settings);

// `address` written as Meipai hid it from 2017 on: base64 with `junk` put in at the places the
// four decimal digits of `places` (1000 to 9999) say, its first characters at the front, the rest
// at the back.
QString hideMeipaiVideo(const QString &address, int places, QStringView junk);

} // namespace Demo
