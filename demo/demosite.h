#pragma once

#include "extract/extraction.h"

#include <QList>
#include <QPair>
#include <QString>

namespace Config {
struct Settings;
}

namespace Demo {

// The built-in sample pages, one per service, in the window's order of services.
QList<QPair<Extract::Service, QString>> demoAddresses(const Config::Settings &settings);

// The sample page of `service` as the site serves it at its demoAddresses() address.
QString demoPage(Extract::Service service, const Config::Settings &settings);

// Sample pages that the live site no longer has and the demonstration's web archive keeps,
// one per service.
QList<QPair<Extract::Service, QString>> archivedDemoAddresses(const Config::Settings &settings);

// Settings for the demonstration: everything through the loopback site, the web archive's
// addresses over plain http, since the loopback site speaks no TLS.
void useDemoSite(Config::Settings &settings, const QString &proxyUrl);

} // namespace Demo
