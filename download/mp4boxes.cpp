#include "download/mp4boxes.h"

#include <QFile>
#include <QtEndian>

namespace Download {

namespace {

constexpr int maxDepth = 12;
constexpr int maxBoxes = 200000; // a sound file of any length has far fewer headers

struct Reader
{
    QFile &file;
    BoxLayout &layout;
    int boxes = 0;

    bool fail(const QString &problem)
    {
        layout.problem = problem;
        return false;
    }

    static bool isContainer(const QByteArray &type)
    {
        static const QList<QByteArray> containers = {"moov", "trak", "mdia", "minf", "stbl", "udta",
                                                     "edts", "dinf", "mvex", "ilst", "meta"};
        return containers.contains(type);
    }

    // The boxes from `begin` must end exactly at `end`.
    bool readLevel(qint64 begin, qint64 end, int depth, bool insideIlst, const QByteArray &parent = {})
    {
        if (depth > maxDepth)
            return fail(QStringLiteral("boxes nested deeper than %1").arg(maxDepth));
        qint64 at = begin;
        while (at < end) {
            if (++boxes > maxBoxes)
                return fail(QStringLiteral("more than %1 boxes").arg(maxBoxes));
            // QuickTime may end a list of user data with a 32-bit zero.
            if (parent == "udta" && end - at == 4 && file.seek(at) && file.read(4) == QByteArray(4, '\0'))
                return true;
            if (end - at < 8 || !file.seek(at))
                return fail(QStringLiteral("%1 bytes left over at %2").arg(end - at).arg(at));
            const QByteArray head = file.read(16);
            if (head.size() < 8)
                return fail(QStringLiteral("cannot read the box at %1").arg(at));
            qint64 size = qFromBigEndian<quint32>(head.constData());
            const QByteArray type = head.mid(4, 4);
            qint64 header = 8;
            if (size == 1) {
                if (head.size() < 16)
                    return fail(QStringLiteral("cannot read the box at %1").arg(at));
                size = qint64(qFromBigEndian<quint64>(head.constData() + 8));
                header = 16;
            } else if (size == 0) {
                // Allowed for the last box of the file only.
                if (depth > 0)
                    return fail(QStringLiteral("box \"%1\" at %2 says it runs to the end of the file")
                                    .arg(QString::fromLatin1(type)).arg(at));
                size = end - at;
                layout.openEndedAt = at;
                layout.openEndedSize = size;
            }
            if (size < header || size > end - at)
                return fail(QStringLiteral("box \"%1\" at %2 says %3 bytes where %4 are left")
                                .arg(QString::fromLatin1(type.toHex())).arg(at).arg(size).arg(end - at));
            if ((depth > 0 || type == "moov") && (isContainer(type) || insideIlst)
                && !readContainer(type, at + header, at + size, depth + 1, insideIlst))
                return false;
            at += size;
        }
        return true;
    }

    bool readContainer(const QByteArray &type, qint64 begin, qint64 end, int depth, bool insideIlst)
    {
        // The items of ilst hold "data" boxes, and those hold values, not boxes.
        if (type != "meta")
            return readLevel(begin, end, depth, type == "ilst" && !insideIlst, type);
        // ISO's meta is a full box (4 bytes of version and flags first); QuickTime's is not.
        const int saved = boxes;
        const QString problem = layout.problem;
        if (end - begin >= 4 && readLevel(begin + 4, end, depth, false))
            return true;
        boxes = saved;
        layout.problem = problem;
        return readLevel(begin, end, depth, false);
    }
};

} // namespace

BoxLayout readBoxLayout(const QString &path)
{
    BoxLayout layout;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        layout.problem = file.errorString();
        return layout;
    }
    const QByteArray first = file.read(8);
    static const QList<QByteArray> starts = {"ftyp", "moov", "mdat", "free", "skip", "wide", "pnot", "styp"};
    layout.mp4 = first.size() == 8 && starts.contains(first.mid(4, 4));
    if (!layout.mp4) {
        layout.problem = QStringLiteral("no MP4 box at the start");
        return layout;
    }
    Reader reader{file, layout};
    layout.sound = reader.readLevel(0, file.size(), 0, false);
    return layout;
}

bool setBoxSize(const QString &path, qint64 at, qint64 size)
{
    if (size < 0 || size > 0xffffffffLL)
        return false;
    QFile file(path);
    uchar bytes[4];
    qToBigEndian<quint32>(quint32(size), bytes);
    return file.open(QIODevice::ReadWrite) && file.seek(at)
           && file.write(reinterpret_cast<const char *>(bytes), 4) == 4 && file.flush();
}

} // namespace Download
