#include "cli/progress.h"

#include <QStringList>

#include "os/console.h"

#include <algorithm>

namespace Cli {

namespace {

constexpr qint64 redrawEveryMs = 100;
constexpr int barMinimum = 10;

} // namespace

QString formatBytes(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(std::max<qint64>(bytes, 0));
    static const char *const units[] = {"KiB", "MiB", "GiB", "TiB"};
    double v = double(bytes) / 1024.0;
    int unit = 0;
    while (v >= 1024.0 && unit < 3) {
        v /= 1024.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(v, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

namespace {

bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0xa4cf && c != 0x303f) || (c >= 0xac00 && c <= 0xd7a3)
           || (c >= 0xf900 && c <= 0xfaff) || (c >= 0xfe30 && c <= 0xfe4f) || (c >= 0xff00 && c <= 0xff60)
           || (c >= 0xffe0 && c <= 0xffe6) || (c >= 0x20000 && c <= 0x3fffd);
}

QString spoken(std::chrono::seconds span)
{
    const qint64 s = std::max<qint64>(span.count(), 0);
    if (s < 60)
        return QStringLiteral("%1 秒").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 分 %2 秒").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 小时 %2 分").arg(s / 3600).arg(s % 3600 / 60);
}

// The longest start of `text` that takes at most `columns`.
QString leftColumns(const QString &text, int columns)
{
    int used = 0;
    qsizetype end = 0;
    const auto codePoints = text.toUcs4();
    for (const char32_t c : codePoints) {
        used += isWide(c) ? 2 : 1;
        if (used > columns)
            break;
        end += QChar::requiresSurrogates(c) ? 2 : 1;
    }
    return text.left(end);
}

} // namespace

int displayWidth(QStringView text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4())
        width += isWide(c) ? 2 : 1;
    return width;
}

QString archiveLine(const ArchiveProgress &a)
{
    using namespace std::chrono;
    const auto ceilSeconds = [](milliseconds ms) { return duration_cast<seconds>(ms + milliseconds(999)); };
    const seconds next = ceilSeconds(a.nextQuery);
    const milliseconds interval(60000 / std::max(a.perMinute, 1));
    const int waiting = std::max(a.needing - a.done, 0);
    const seconds left = ceilSeconds(a.nextQuery + interval * std::max(waiting - 1, 0));
    return QStringLiteral("网页存档 %1/%2 · 下次查询 %3 秒后 · 约 %4")
        .arg(a.done)
        .arg(a.needing)
        .arg(next.count())
        .arg(spoken(left));
}

QString progressLine(const ProgressState &s, int width)
{
    QStringList parts;
    double fraction = -1;
    if (s.archive) {
        // The wait for the archive is what a long run is about: it comes first, without a bar.
        parts << archiveLine(*s.archive);
        if (s.downloadsTotal > 0)
            parts << QStringLiteral("%1/%2 downloads").arg(s.downloadsDone).arg(s.downloadsTotal);
        return leftColumns(parts.join(QStringLiteral("  ")), std::max(width - 1, 0));
    }
    if (s.addressesTotal > 1) {
        parts << QStringLiteral("%1/%2 addresses").arg(s.addressesDone).arg(s.addressesTotal);
        fraction = double(s.addressesDone) / s.addressesTotal;
    }
    if (s.downloadsTotal > 0) {
        parts << QStringLiteral("%1/%2 downloads").arg(s.downloadsDone).arg(s.downloadsTotal);
        if (s.downloadsActive > 0) {
            parts << (s.total >= 0 ? formatBytes(s.received) + QStringLiteral(" / ") + formatBytes(s.total)
                                   : formatBytes(s.received));
            parts << formatBytes(qint64(s.bytesPerSecond)) + QStringLiteral("/s");
            if (s.total > 0) {
                fraction = std::clamp(double(s.received) / double(s.total), 0.0, 1.0);
                parts << QStringLiteral("%1%").arg(int(fraction * 100));
            }
        }
    }
    QString line = parts.join(QStringLiteral("  "));
    const int room = width - 1 - int(line.size()) - 3;
    if (fraction >= 0 && room >= barMinimum) {
        const int bar = std::min(room, 40);
        const int filled = std::clamp(int(fraction * bar), 0, bar);
        line = u'[' + QString(filled, u'#') + QString(bar - filled, u'.') + QStringLiteral("] ") + line;
    }
    if (line.size() > width - 1)
        line.truncate(std::max(width - 1, 0));
    return line;
}

Progress::Progress(bool drawn, std::FILE *stream) : m_drawn(drawn), m_stream(stream) {}

void Progress::update(const ProgressState &state, bool force)
{
    m_state = state;
    if (!m_drawn)
        return;
    if (!force && m_sinceDraw.isValid() && m_sinceDraw.elapsed() < redrawEveryMs)
        return;
    draw();
}

void Progress::note(const QString &text)
{
    clear();
    Os::writeText(m_stream, QByteArray(text.toUtf8() + '\n'));
    if (m_drawn && m_visible)
        draw();
}

void Progress::writeAbove(std::FILE *stream, const QByteArray &bytes)
{
    clear();
    std::fflush(m_stream);
    Os::writeText(stream, bytes);
    if (m_drawn && m_visible)
        draw();
}

void Progress::finish()
{
    clear();
    m_visible = false;
    std::fflush(m_stream);
}

void Progress::draw()
{
    const QByteArray bytes = "\r" + progressLine(m_state, Os::terminalColumns(m_stream)).toUtf8() + "\033[K";
    Os::writeText(m_stream, bytes);
    m_visible = true;
    m_sinceDraw.start();
}

void Progress::clear()
{
    if (m_drawn && m_visible)
        Os::writeText(m_stream, "\r\033[K");
}

} // namespace Cli
