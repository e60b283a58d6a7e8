#pragma once

#include <QColor>
#include <QString>

namespace App {

// The skin is a Qt style sheet file. Attaching it makes it the application's style sheet;
// an HSV adjustment recolours that sheet and the application palette.
enum SkinResult : int {
    SkinOk = 0,
    SkinNoApplication = 1, // no QApplication to style
    SkinUnreadable = 2,    // missing, unreadable or oversized file; nothing changed
};

// `password` is accepted for compatibility and ignored: our skins are plain text.
int SkinH_AttachEx(const QString &file, const QString &password);

// Hue in degrees; saturation and value in percent (-100..100) of the way towards 0 or full.
// Each call replaces the previous adjustment instead of adding to it.
int SkinH_AdjustHSV(int h, int s, int v);

// While one lives, attaching and adjusting restyle nothing; when the last ends, the widgets are
// restyled once with the result (palette first, then the sheet), instead of once per call.
class SkinBatch
{
public:
    SkinBatch();
    ~SkinBatch();
    SkinBatch(const SkinBatch &) = delete;
    SkinBatch &operator=(const SkinBatch &) = delete;
};

// Pure helpers, also used by the tests.
QColor shiftHsv(const QColor &colour, int h, int s, int v);
// Every #rgb, #rrggbb, rgb(r, g, b) and rgba(r, g, b, a) in `sheet`, shifted; the rest untouched.
QString shiftStyleSheetColours(const QString &sheet, int h, int s, int v);

} // namespace App
