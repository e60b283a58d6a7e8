#include "app/fontsetup.h"

#include <system_error>

#ifdef ZAVLEN_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace App {

FontSetup::FontSetup()
{
#ifdef ZAVLEN_HAVE_FONTCONFIG
    try {
        m_thread = std::thread([] { FcInit(); });
    } catch (const std::system_error &) {
        // No thread to spare: Qt sets fontconfig up itself, as it always has.
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

} // namespace App
