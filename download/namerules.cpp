#include "download/namerules.h"

#include <QRegularExpression>
#include <QStringList>

namespace Download {

namespace {

bool listed(const QStringList &list, QStringView extension)
{
    for (const QString &entry : list) {
        if (extension.compare(entry, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

QString guardedName(const QString &name)
{
    // Windows opens the device whatever follows the first dot, and ignores spaces before it.
    static const QRegularExpression device(QStringLiteral("^(CON|PRN|AUX|NUL|CONIN\\$|CONOUT\\$|COM[0-9\u00b9\u00b2\u00b3]|"
                                                          "LPT[0-9\u00b9\u00b2\u00b3])\\s*$"),
                                           QRegularExpression::CaseInsensitiveOption);
    QString out = name;
    const qsizetype dot = out.indexOf(u'.');
    if (device.match(dot >= 0 ? out.left(dot) : out).hasMatch() || out.startsWith(u'-'))
        out.prepend(u'_');
    if (!out.isEmpty() && (out.back() == u'.' || out.back().isSpace()))
        out.append(u'_');
    return out;
}

bool isProgramExtension(QStringView extension)
{
    static const QStringList programs = {
        QStringLiteral("exe"),  QStringLiteral("com"),  QStringLiteral("scr"),  QStringLiteral("pif"),
        QStringLiteral("bat"),  QStringLiteral("cmd"),  QStringLiteral("msi"),  QStringLiteral("msp"),
        QStringLiteral("mst"),  QStringLiteral("ps1"),  QStringLiteral("psm1"), QStringLiteral("psd1"),
        QStringLiteral("vbs"),  QStringLiteral("vbe"),  QStringLiteral("js"),   QStringLiteral("jse"),
        QStringLiteral("wsf"),  QStringLiteral("wsh"),  QStringLiteral("ws"),   QStringLiteral("lnk"),
        QStringLiteral("url"),  QStringLiteral("scf"),  QStringLiteral("dll"),  QStringLiteral("ocx"),
        QStringLiteral("sys"),  QStringLiteral("drv"),  QStringLiteral("cpl"),  QStringLiteral("msc"),
        QStringLiteral("hta"),  QStringLiteral("chm"),  QStringLiteral("jar"),  QStringLiteral("reg"),
        QStringLiteral("inf"),  QStringLiteral("appx"), QStringLiteral("msix"), QStringLiteral("sh"),
        QStringLiteral("bash"), QStringLiteral("zsh"),  QStringLiteral("csh"),  QStringLiteral("ksh"),
        QStringLiteral("run"),  QStringLiteral("py"),   QStringLiteral("pyw"),  QStringLiteral("pl"),
        QStringLiteral("rb"),   QStringLiteral("php"),  QStringLiteral("desktop"), QStringLiteral("command"),
        QStringLiteral("app"),  QStringLiteral("gadget"), QStringLiteral("application"), QStringLiteral("apk"),
        QStringLiteral("deb"),  QStringLiteral("rpm"),  QStringLiteral("elf"),  QStringLiteral("so"),
    };
    return listed(programs, extension);
}

bool isVideoExtension(QStringView extension)
{
    static const QStringList videos = {
        QStringLiteral("mp4"), QStringLiteral("m4v"),  QStringLiteral("mov"),  QStringLiteral("flv"),
        QStringLiteral("f4v"), QStringLiteral("webm"), QStringLiteral("mkv"),  QStringLiteral("ts"),
        QStringLiteral("mts"), QStringLiteral("m2ts"), QStringLiteral("3gp"),  QStringLiteral("3g2"),
        QStringLiteral("avi"), QStringLiteral("wmv"),  QStringLiteral("asf"),  QStringLiteral("mpg"),
        QStringLiteral("mpeg"), QStringLiteral("ogv"), QStringLiteral("rm"),   QStringLiteral("rmvb"),
        QStringLiteral("vob"), unknownExtension,
    };
    return listed(videos, extension);
}

QString withoutProgramExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0 || !isProgramExtension(QStringView(name).mid(dot + 1)))
        return name;
    return name.left(dot + 1) + unknownExtension;
}

QString contentExtension(const QByteArray &head)
{
    if (head.size() >= 8 && head.mid(4, 4) == "ftyp")
        return QStringLiteral("mp4");
    if (head.startsWith("FLV\x01"))
        return QStringLiteral("flv");
    return unknownExtension;
}

QString sideName(const QString &videoName, const QString &suffix)
{
    const qsizetype dot = videoName.lastIndexOf(u'.');
    if (dot > 0 && isVideoExtension(QStringView(videoName).mid(dot + 1)))
        return videoName.left(dot) + suffix;
    return videoName + suffix;
}

} // namespace Download
