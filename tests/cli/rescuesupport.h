#pragma once

// Pages and answers of the rescue tests: lost Meipai pages that only an archive still has.
#include "demo/loopbacksite.h"

#include <QByteArray>
#include <QString>

namespace TestSupport {

inline Demo::Response answer(const QByteArray &body, const QByteArray &type = "text/html; charset=utf-8")
{
    Demo::Response r;
    r.body = body;
    r.contentType = type;
    return r;
}

inline QByteArray meipaiPage(const QString &video)
{
    return QStringLiteral("<html><title>作者的美拍 描述 - 美拍</title><div data-video=\"%1\"></div></html>")
        .arg(video)
        .toUtf8();
}

} // namespace TestSupport
