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

} // namespace Demo
