#pragma once

#include "demo/loopbacksite.h"

#include <QString>

namespace Config {
struct Settings;
}

// What the demonstration's pages are made of: the compiled-in files, with the configured host
// names put into them, and the answers that serve them.
namespace Demo {

QString withoutWww(const QString &host);
// The file `name` under the demonstration's resources, "{{key}}" placeholders filled in.
QString resourceText(const QString &name, const Config::Settings &settings);
QByteArray resourceBytes(const QString &name);
// The answer to `address` on its host and path (query included).
void route(LoopbackSite &site, const QString &address, const Response &response);
Response textResponse(const QString &text, const QByteArray &type);
Response bytesResponse(const QString &file, const QByteArray &type);

} // namespace Demo
