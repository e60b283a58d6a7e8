#pragma once

#include <QStringList>

#include <thread>

namespace App {

// Sets fontconfig up on a thread of its own: reading its configuration and its cache of every
// installed font is the dearest single step before the window can measure its first text, and
// it needs nothing of Qt, so it can run while the application object and the options are made.
// Qt's own call then finds it done. The configuration it makes is the system's, with one rule
// after all of the system's: a font not to be hinted has no hint style either. Built without
// fontconfig, it does nothing.
class FontSetup
{
public:
    FontSetup();
    ~FontSetup();
    FontSetup(const FontSetup &) = delete;
    FontSetup &operator=(const FontSetup &) = delete;

    // Before anything measures or draws text: fontconfig's set-up, started twice at once, is
    // done twice over.
    void wait();

private:
    std::thread m_thread;
};

// Those of `families` that are installed, in the order given; all of them if none is. Given a first
// family it does not have, Qt asks fontconfig what could stand in for it, once for every script
// and style, before it tries the next family given, which is what it then draws in anyway.
QStringList installedFamilies(const QStringList &families);

} // namespace App
