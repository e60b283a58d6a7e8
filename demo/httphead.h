#pragma once

#include "demo/loopbacksite.h"

#include <QByteArray>
#include <optional>

// The heads of HTTP messages as the loopback site reads and writes them.
namespace Demo {

QByteArray reasonPhrase(int status);

// The request line and headers; a request through a proxy names the whole address, so the
// host comes from there, else from the Host header.
std::optional<Request> parseHead(const QByteArray &head);

} // namespace Demo
