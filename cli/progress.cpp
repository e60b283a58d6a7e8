#include "cli/progress.h"

#include <QStringList>

#include <algorithm>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

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

QString progressLine(const ProgressState &s, int width)
{
    QStringList parts;
    double fraction = -1;
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
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_stream);
    if (m_drawn && m_visible)
        draw();
    std::fflush(m_stream);
}

void Progress::writeAbove(std::FILE *stream, const QByteArray &bytes)
{
    clear();
    std::fflush(m_stream);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
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
    const QByteArray bytes = "\r" + progressLine(m_state, terminalWidth()).toUtf8() + "\033[K";
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_stream);
    std::fflush(m_stream);
    m_visible = true;
    m_sinceDraw.start();
}

void Progress::clear()
{
    if (m_drawn && m_visible)
        std::fputs("\r\033[K", m_stream);
}

int terminalWidth()
{
#ifndef Q_OS_WIN
    winsize ws{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
        return ws.ws_col;
#endif
    return 80;
}

bool isTerminal(std::FILE *stream)
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stream)) != 0;
#else
    return ::isatty(::fileno(stream)) != 0;
#endif
}

} // namespace Cli
