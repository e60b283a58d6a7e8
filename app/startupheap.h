#pragma once

#include <cstddef>

namespace App {

// Lets the heap the window starts with grow in 2 MB pages where the system offers them on
// request. Start-up first touches a few megabytes (the window's backing store, decoded pictures,
// fonts, every control); on a machine where each 4 KB first touch is a costly fault, one fault per
// 2 MB is far cheaper. Also keeps every thread on the one heap, so that the picture loader's
// decoding lands there too. Call first thing in main(), before any thread starts; harmless
// where any of it is unavailable.
void prepareStartupHeap(std::size_t bytes);

} // namespace App
