#include "app/startup/fontsetup.h"

#include <system_error>

#ifdef ZAVLEN_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#else
#include <QFontDatabase>
#endif

namespace App {

namespace {

#ifdef ZAVLEN_HAVE_FONTCONFIG
// Where fontconfig's rules say a font is not to be hinted, as the Chinese fonts' own packages say
// of theirs, this says its hint style is none as well: Qt reads only the style, and would hint
// every glyph of such a font anyway, the dearest part of measuring and drawing Chinese text.
constexpr char unhintedMeansNoHintStyle[] = R"(<fontconfig>
  <match target="font">
    <test name="hinting"><bool>false</bool></test>
    <edit name="hintstyle" mode="assign"><const>hintnone</const></edit>
  </match>
</fontconfig>)";

void setUpFontconfig()
{
    FcConfig *config = FcInitLoadConfigAndFonts();
    if (!config) {
        FcInit();
        return;
    }
    // Read after every rule of the system's, so it sees what they decided.
    FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8 *>(unhintedMeansNoHintStyle), FcFalse);
    FcConfigSetCurrent(config);
    FcConfigDestroy(config);
}
#endif

} // namespace

FontSetup::FontSetup()
{
#ifdef ZAVLEN_HAVE_FONTCONFIG
    try {
        m_thread = std::thread(setUpFontconfig);
    } catch (const std::system_error &) {
        // No thread to spare: the same set-up, here and now.
        setUpFontconfig();
    }
#endif
}

FontSetup::~FontSetup()
{
    wait();
}

void FontSetup::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

QStringList installedFamilies(const QStringList &families)
{
#ifdef ZAVLEN_HAVE_FONTCONFIG
    QStringList installed;
    FcObjectSet *names = FcObjectSetBuild(FC_FAMILY, nullptr);
    for (const QString &family : families) {
        // Matches a font by any of its names, in whatever language it gives them.
        const QByteArray name = family.toUtf8();
        FcPattern *pattern = FcPatternBuild(nullptr, FC_FAMILY, FcTypeString, name.constData(), nullptr);
        FcFontSet *fonts = pattern && names ? FcFontList(nullptr, pattern, names) : nullptr;
        if (fonts && fonts->nfont > 0)
            installed.append(family);
        if (fonts)
            FcFontSetDestroy(fonts);
        if (pattern)
            FcPatternDestroy(pattern);
    }
    if (names)
        FcObjectSetDestroy(names);
    return installed.isEmpty() ? families : installed;
#else
    // Without fontconfig (Windows) Qt's own database knows what is installed.
    QStringList installed;
    for (const QString &family : families) {
        if (QFontDatabase::hasFamily(family))
            installed.append(family);
    }
    return installed.isEmpty() ? families : installed;
#endif
}

} // namespace App
