#pragma once

#include "extract/extraction.h"

#include <QFile>
#include <QString>
#include <QTest>

Q_DECLARE_METATYPE(Extract::Service)

// Sample pages saved under tests/data/pages, read as UTF-8.
inline QString samplePage(const QString &name)
{
    QFile f(qEnvironmentVariable("ZAVLEN_TEST_DATA") + QLatin1String("/pages/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("sample page %s is missing (is ZAVLEN_TEST_DATA set?)", qPrintable(name));
    return QString::fromUtf8(f.readAll());
}

// The page with `from` replaced; fails the test when `from` is not in the page, so that a row
// never silently tests the full page.
inline QString edited(const QString &page, const QString &from, const QString &to)
{
    if (!page.contains(from))
        qFatal("edit target not in page: %s", qPrintable(from));
    QString copy = page;
    return copy.replace(from, to);
}

inline QString repeated(const QString &piece, int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s += piece;
    return s;
}

// Columns service, address and pageName, a row for each service with its sample page.
inline void addSampleServicePages()
{
    using Extract::Service;
    QTest::addColumn<Service>("service");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("pageName");
    QTest::newRow("weishi") << Service::Weishi << QStringLiteral("http://www.weishi.com/t/1")
                            << QStringLiteral("weishi.html");
    QTest::newRow("meipai") << Service::Meipai << QStringLiteral("http://www.meipai.com/media/1")
                            << QStringLiteral("meipai.html");
    QTest::newRow("kuaishou") << Service::Kuaishou << QStringLiteral("http://www.gifshow.com/i/1")
                              << QStringLiteral("kuaishou.html");
    QTest::newRow("miaopai") << Service::Miaopai << QStringLiteral("http://www.miaopai.com/show/a.htm")
                             << QStringLiteral("miaopai.html");
}
