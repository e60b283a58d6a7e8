#include "extract/textops.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define ZAVLEN_FIND_SSE2 1
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define ZAVLEN_FIND_AVX2 1
#endif

namespace Extract {

namespace {

// A needle of at least two characters (UTF-16 code units or bytes), compared at the places where
// its first and last match.
template <typename C>
struct Needle
{
    const C *w;
    qsizetype n;

    bool middleAt(const C *at) const { return std::memcmp(at + 1, w + 1, size_t(n - 2) * sizeof(C)) == 0; }

    // The first place from `i` that a compare mask marks (sizeof(C) bits a place) and where the
    // middle matches too, or -1.
    qsizetype firstIn(const C *h, qsizetype i, unsigned mask) const
    {
        while (mask != 0) {
            const qsizetype at = i + std::countr_zero(mask) / qsizetype(sizeof(C));
            if (middleAt(h + at))
                return at;
            for (std::size_t bit = 0; bit < sizeof(C); ++bit)
                mask &= mask - 1;
        }
        return -1;
    }
};

// The scans below look at the first and the last character of the needle for 16 or 32 bytes of
// places at once; the set bits of a mask are the places where both match. They return the match,
// or the place where the plain loop goes on.
#ifdef ZAVLEN_FIND_SSE2
template <typename C>
__m128i places128(const C *at, const Needle<C> &needle)
{
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at + needle.n - 1));
    if constexpr (sizeof(C) == 1)
        return _mm_and_si128(_mm_cmpeq_epi8(a, _mm_set1_epi8(char(needle.w[0]))),
                             _mm_cmpeq_epi8(b, _mm_set1_epi8(char(needle.w[needle.n - 1]))));
    else
        return _mm_and_si128(_mm_cmpeq_epi16(a, _mm_set1_epi16(short(needle.w[0]))),
                             _mm_cmpeq_epi16(b, _mm_set1_epi16(short(needle.w[needle.n - 1]))));
}

template <typename C>
qsizetype scanSse2(const C *h, qsizetype i, qsizetype last, const Needle<C> &needle, bool &found)
{
    constexpr qsizetype lanes = 16 / sizeof(C);
    for (; i + lanes - 1 <= last; i += lanes) {
        const auto mask = unsigned(_mm_movemask_epi8(places128(h + i, needle)));
        if (const qsizetype at = needle.firstIn(h, i, mask); at >= 0) {
            found = true;
            return at;
        }
    }
    return i;
}
#endif

#ifdef ZAVLEN_FIND_AVX2
template <typename C>
__attribute__((target("avx2"))) inline __m256i places256(const C *at, const Needle<C> &needle)
{
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at + needle.n - 1));
    if constexpr (sizeof(C) == 1)
        return _mm256_and_si256(_mm256_cmpeq_epi8(a, _mm256_set1_epi8(char(needle.w[0]))),
                                _mm256_cmpeq_epi8(b, _mm256_set1_epi8(char(needle.w[needle.n - 1]))));
    else
        return _mm256_and_si256(_mm256_cmpeq_epi16(a, _mm256_set1_epi16(short(needle.w[0]))),
                                _mm256_cmpeq_epi16(b, _mm256_set1_epi16(short(needle.w[needle.n - 1]))));
}

template <typename C>
__attribute__((target("avx2"))) qsizetype scanAvx2(const C *h, qsizetype i, qsizetype last, const Needle<C> &needle,
                                                   bool &found)
{
    constexpr qsizetype lanes = 32 / sizeof(C);
    // Two blocks a round while neither end matches anywhere: one test for both.
    for (; i + 2 * lanes - 1 <= last; i += 2 * lanes) {
        const __m256i low = places256(h + i, needle);
        const __m256i high = places256(h + i + lanes, needle);
        const __m256i any = _mm256_or_si256(low, high);
        if (_mm256_testz_si256(any, any))
            continue;
        if (const qsizetype at = needle.firstIn(h, i, unsigned(_mm256_movemask_epi8(low))); at >= 0) {
            found = true;
            return at;
        }
        if (const qsizetype at = needle.firstIn(h, i + lanes, unsigned(_mm256_movemask_epi8(high))); at >= 0) {
            found = true;
            return at;
        }
    }
    for (; i + lanes - 1 <= last; i += lanes) {
        if (const qsizetype at = needle.firstIn(h, i, unsigned(_mm256_movemask_epi8(places256(h + i, needle))));
            at >= 0) {
            found = true;
            return at;
        }
    }
    return i;
}

// Set before main(): the processor's features must be read first from a static initialiser.
const bool haveAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

// The first match of a needle of n >= 2 characters in h[0, size) at or after `from`, or -1.
template <typename C>
qsizetype findFrom(const C *h, qsizetype size, const C *what, qsizetype n, qsizetype from)
{
    const Needle<C> needle{what, n};
    const qsizetype last = size - n; // the last place a match can start
    qsizetype i = from;
    bool found = false;
#ifdef ZAVLEN_FIND_AVX2
    if (haveAvx2)
        i = scanAvx2(h, i, last, needle, found);
#endif
#ifdef ZAVLEN_FIND_SSE2
    if (!found)
        i = scanSse2(h, i, last, needle, found);
#endif
    if (found)
        return i;
    for (; i <= last; ++i) {
        if (h[i] == what[0] && h[i + n - 1] == what[n - 1] && needle.middleAt(h + i))
            return i;
    }
    return -1;
}

} // namespace

qsizetype findText(QStringView text, QStringView what, qsizetype from)
{
    const qsizetype n = what.size();
    from = std::max<qsizetype>(from, 0);
    if (n == 0)
        return from <= text.size() ? from : -1;
    if (from > text.size() - n)
        return -1;
    if (n == 1)
        return text.indexOf(what.front(), from);
    return findFrom(text.utf16(), text.size(), what.utf16(), n, from);
}

qsizetype findBytes(QByteArrayView text, QByteArrayView what, qsizetype from)
{
    const qsizetype n = what.size();
    from = std::max<qsizetype>(from, 0);
    if (n == 0)
        return from <= text.size() ? from : -1;
    if (from > text.size() - n)
        return -1;
    if (n == 1) {
        const void *at = std::memchr(text.data() + from, what.front(), size_t(text.size() - from));
        return at ? static_cast<const char *>(at) - text.data() : -1;
    }
    return findFrom(text.data(), text.size(), what.data(), n, from);
}

std::optional<QStringView> elementView(QStringView text, QStringView marker, int k)
{
    if (k < 0)
        return std::nullopt;
    if (marker.isEmpty())
        return k == 0 ? std::optional<QStringView>(text) : std::nullopt;

    qsizetype start = 0;
    for (int i = 0; i < k; ++i) {
        const qsizetype at = findText(text, marker, start);
        if (at < 0)
            return std::nullopt;
        start = at + marker.size();
    }
    const qsizetype end = findText(text, marker, start);
    return text.sliced(start, (end < 0 ? text.size() : end) - start);
}

std::optional<QString> elementOf(QStringView text, QStringView marker, int k)
{
    if (const auto view = elementView(text, marker, k))
        return view->toString();
    return std::nullopt;
}

QString textBefore(QStringView text, QChar mark)
{
    const qsizetype at = text.indexOf(mark);
    return at < 0 ? QString() : text.first(at).toString();
}

QString textThrough(QStringView text, QStringView mark)
{
    if (mark.isEmpty())
        return QString();
    const qsizetype at = text.indexOf(mark);
    return at < 0 ? QString() : text.first(at + 1).toString();
}

QString removeAll(QString text, QStringView what)
{
    if (!what.isEmpty())
        text.remove(what.toString());
    return text;
}

QString trimSpaces(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin).toString();
}

QString addressPart(QStringView text)
{
    qsizetype begin = 0;
    while (begin < text.size() && text[begin] == u' ')
        ++begin;
    const qsizetype space = text.indexOf(u' ', begin);
    return text.sliced(begin, (space < 0 ? text.size() : space) - begin).toString();
}

} // namespace Extract
