#pragma once

namespace Extract {

// For a program that extracts page after page, several at once: memory freed stays in the process
// for the next page. Every page passes through blocks of a few hundred kilobytes (its bytes, its
// text, its working texts); by default glibc gives such blocks back to the system as they are
// freed, and the next page pays for fresh memory again, a page fault per 4 KB. The peak stays the
// peak of the pages in flight. zavlen-get calls it first thing in main(); nothing happens without
// glibc. The window does not: it extracts one page at a time, and its start-up measured no faster.
void keepFreedMemory();

} // namespace Extract
