#include "app/skin.h"

#include <QApplication>
#include <QFile>
#include <QPalette>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <utility>

namespace App {

namespace {

constexpr qint64 maxSkinSize = 1024 * 1024;

struct SkinState
{
    QString sheet;          // as attached, before any adjustment
    bool attached = false;
    int h = 0, s = 0, v = 0;
    bool paletteTaken = false;
    QPalette basePalette;   // the palette before our adjustment
    QPalette ourPalette;    // what we last set, to notice when someone else changed it
    int batches = 0;        // SkinBatch objects alive
    bool sheetPending = false;
    bool palettePending = false;
};

SkinState &state()
{
    static SkinState s;
    return s;
}

bool isNeutral(const SkinState &st)
{
    return st.h == 0 && st.s == 0 && st.v == 0;
}

// Negative moves towards 0, positive towards full, in percent of the remaining way.
float scaled(float x, int percent)
{
    const float p = float(std::clamp(percent, -100, 100)) / 100.0f;
    const float r = p < 0 ? x * (1.0f + p) : x + (1.0f - x) * p;
    return std::clamp(r, 0.0f, 1.0f);
}

QString hexName(const QColor &c)
{
    return c.name(QColor::HexRgb);
}

QString shiftBlock(const QString &block, int h, int s, int v)
{
    static const QRegularExpression colour(QStringLiteral(
        "#([0-9a-fA-F]{6}|[0-9a-fA-F]{3})(?![0-9A-Za-z_-])"
        "|\\b(rgba?)\\(\\s*(\\d{1,3})\\s*,\\s*(\\d{1,3})\\s*,\\s*(\\d{1,3})\\s*(?:,\\s*([^)]*?)\\s*)?\\)"));
    QString out;
    out.reserve(block.size());
    qsizetype last = 0;
    auto it = colour.globalMatch(block);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(block).mid(last, m.capturedStart() - last);
        last = m.capturedEnd();
        if (m.hasCaptured(1)) {
            out += hexName(shiftHsv(QColor(QLatin1Char('#') + m.captured(1)), h, s, v));
            continue;
        }
        const bool withAlpha = m.captured(2) == QLatin1String("rgba");
        if (withAlpha == m.hasCaptured(6)) {
            auto channel = [&m](int i) { return std::min(m.captured(i).toInt(), 255); };
            const QColor c = shiftHsv(QColor(channel(3), channel(4), channel(5)), h, s, v);
            QString text = m.captured(2) + QLatin1Char('(') + QString::number(c.red()) + QStringLiteral(", ")
                + QString::number(c.green()) + QStringLiteral(", ") + QString::number(c.blue());
            if (withAlpha)
                text += QStringLiteral(", ") + m.captured(6);
            out += text + QLatin1Char(')');
        } else {
            out += m.captured(0); // rgb() with four values or rgba() with three: not ours to fix
        }
    }
    out += QStringView(block).mid(last);
    return out;
}

QPalette shiftPalette(const QPalette &base, int h, int s, int v)
{
    QPalette p = base;
    for (int g = 0; g < QPalette::NColorGroups; ++g) {
        const auto group = QPalette::ColorGroup(g);
        for (int r = 0; r < QPalette::NColorRoles; ++r) {
            const auto role = QPalette::ColorRole(r);
            if (role == QPalette::NoRole)
                continue;
            const QBrush &brush = base.brush(group, role);
            if (brush.style() == Qt::SolidPattern)
                p.setColor(group, role, shiftHsv(brush.color(), h, s, v));
        }
    }
    return p;
}

void applySheet(SkinState &st)
{
    if (st.batches > 0) {
        st.sheetPending = true;
        return;
    }
    qApp->setStyleSheet(isNeutral(st) ? st.sheet : shiftStyleSheetColours(st.sheet, st.h, st.s, st.v));
}

} // namespace

QColor shiftHsv(const QColor &colour, int h, int s, int v)
{
    float hue = 0, sat = 0, val = 0, alpha = 1;
    colour.toHsv().getHsvF(&hue, &sat, &val, &alpha);
    if (hue >= 0) { // greys have no hue and stay grey
        double deg = std::fmod(double(hue) * 360.0 + h, 360.0);
        if (deg < 0)
            deg += 360.0;
        hue = float(deg / 360.0);
    }
    return QColor::fromHsvF(hue, scaled(sat, s), scaled(val, v), alpha).toRgb();
}

QString shiftStyleSheetColours(const QString &sheet, int h, int s, int v)
{
    // Only declaration blocks hold colours; selectors such as #Command1 stay as written.
    QString out;
    out.reserve(sheet.size());
    qsizetype pos = 0;
    while (pos < sheet.size()) {
        const qsizetype open = sheet.indexOf(QLatin1Char('{'), pos);
        if (open < 0)
            break;
        qsizetype close = sheet.indexOf(QLatin1Char('}'), open);
        if (close < 0)
            close = sheet.size();
        out += QStringView(sheet).mid(pos, open + 1 - pos);
        out += shiftBlock(sheet.mid(open + 1, close - open - 1), h, s, v);
        pos = close;
    }
    out += QStringView(sheet).mid(pos);
    return out;
}

SkinBatch::SkinBatch()
{
    ++state().batches;
}

SkinBatch::~SkinBatch()
{
    SkinState &st = state();
    if (--st.batches > 0 || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    if (std::exchange(st.palettePending, false))
        QApplication::setPalette(st.ourPalette);
    if (std::exchange(st.sheetPending, false))
        applySheet(st);
}

int SkinH_AttachEx(const QString &file, const QString &password)
{
    Q_UNUSED(password);
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return SkinNoApplication;
    if (file.isEmpty())
        return SkinUnreadable;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly) || f.size() > maxSkinSize)
        return SkinUnreadable;
    const QByteArray bytes = f.read(maxSkinSize + 1);
    if (bytes.size() > maxSkinSize || f.error() != QFileDevice::NoError)
        return SkinUnreadable;

    SkinState &st = state();
    st.sheet = QString::fromUtf8(bytes);
    st.attached = true;
    applySheet(st);
    return SkinOk;
}

int SkinH_AdjustHSV(int h, int s, int v)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return SkinNoApplication;
    SkinState &st = state();
    const QPalette current = QApplication::palette();
    if (!st.paletteTaken || !(current == st.ourPalette)) {
        st.basePalette = current;
        st.paletteTaken = true;
    }
    st.h = h;
    st.s = s;
    st.v = v;
    st.ourPalette = shiftPalette(st.basePalette, h, s, v);
    if (st.batches > 0)
        st.palettePending = true;
    else
        QApplication::setPalette(st.ourPalette);
    if (st.attached)
        applySheet(st);
    return SkinOk;
}

} // namespace App
