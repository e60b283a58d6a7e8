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

// A needle of at least two characters, compared at the places where its first and last match.
struct Needle
{
    const char16_t *w;
    qsizetype n;

    bool middleAt(const char16_t *at) const
    {
        for (qsizetype k = 1; k < n - 1; ++k) {
            if (at[k] != w[k])
                return false;
        }
        return true;
    }

    // The first place from `i` that a compare mask marks (two bits a character) and where the
    // middle matches too, or -1.
    qsizetype firstIn(const char16_t *h, qsizetype i, unsigned mask) const
    {
        for (; mask != 0; mask &= mask - 1, mask &= mask - 1) {
            const qsizetype at = i + std::countr_zero(mask) / 2;
            if (middleAt(h + at))
                return at;
        }
        return -1;
    }
};

// Both scans below look at the first and the last character of the needle for `lanes` places at
// once; each set pair of mask bits is a place where both match. They return the match or the
// place where the plain loop goes on.
#ifdef ZAVLEN_FIND_SSE2
qsizetype scanSse2(const char16_t *h, qsizetype i, qsizetype last, const Needle &needle, bool &found)
{
    const __m128i firsts = _mm_set1_epi16(short(needle.w[0]));
    const __m128i finals = _mm_set1_epi16(short(needle.w[needle.n - 1]));
    for (; i + 7 <= last; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(h + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(h + i + needle.n - 1));
        auto mask = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(a, firsts), _mm_cmpeq_epi16(b, finals))));
        if (const qsizetype at = needle.firstIn(h, i, mask); at >= 0) {
            found = true;
            return at;
        }
    }
    return i;
}
#endif

#ifdef ZAVLEN_FIND_AVX2
__attribute__((target("avx2"))) qsizetype scanAvx2(const char16_t *h, qsizetype i, qsizetype last,
                                                   const Needle &needle, bool &found)
{
    const __m256i firsts = _mm256_set1_epi16(short(needle.w[0]));
    const __m256i finals = _mm256_set1_epi16(short(needle.w[needle.n - 1]));
    for (; i + 15 <= last; i += 16) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(h + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(h + i + needle.n - 1));
        auto mask = unsigned(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi16(a, firsts), _mm256_cmpeq_epi16(b, finals))));
        if (const qsizetype at = needle.firstIn(h, i, mask); at >= 0) {
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

// The same over bytes: a bit of the compare mask a place.
struct ByteNeedle
{
    const char *w;
    qsizetype n;

    bool middleAt(const char *at) const { return std::memcmp(at + 1, w + 1, size_t(n - 2)) == 0; }

    qsizetype firstIn(const char *h, qsizetype i, unsigned mask) const
    {
        for (; mask != 0; mask &= mask - 1) {
            const qsizetype at = i + std::countr_zero(mask);
            if (middleAt(h + at))
                return at;
        }
        return -1;
    }
};

#ifdef ZAVLEN_FIND_SSE2
qsizetype scanBytesSse2(const char *h, qsizetype i, qsizetype last, const ByteNeedle &needle, bool &found)
{
    const __m128i firsts = _mm_set1_epi8(needle.w[0]);
    const __m128i finals = _mm_set1_epi8(needle.w[needle.n - 1]);
    for (; i + 15 <= last; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(h + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(h + i + needle.n - 1));
        auto mask = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, firsts), _mm_cmpeq_epi8(b, finals))));
        if (const qsizetype at = needle.firstIn(h, i, mask); at >= 0) {
            found = true;
            return at;
        }
    }
    return i;
}
#endif

#ifdef ZAVLEN_FIND_AVX2
// Where, of 32 places from `at`, both the first and the last byte of an n-byte needle match.
__attribute__((target("avx2"))) inline __m256i bytePlaces(const char *at, qsizetype n, __m256i firsts,
                                                          __m256i finals)
{
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at + n - 1));
    return _mm256_and_si256(_mm256_cmpeq_epi8(a, firsts), _mm256_cmpeq_epi8(b, finals));
}

__attribute__((target("avx2"))) qsizetype scanBytesAvx2(const char *h, qsizetype i, qsizetype last,
                                                        const ByteNeedle &needle, bool &found)
{
    const __m256i firsts = _mm256_set1_epi8(needle.w[0]);
    const __m256i finals = _mm256_set1_epi8(needle.w[needle.n - 1]);
    // 64 places a round while neither end matches anywhere: one test for both halves.
    for (; i + 63 <= last; i += 64) {
        const __m256i low = bytePlaces(h + i, needle.n, firsts, finals);
        const __m256i high = bytePlaces(h + i + 32, needle.n, firsts, finals);
        const __m256i any = _mm256_or_si256(low, high);
        if (_mm256_testz_si256(any, any))
            continue;
        for (const qsizetype at : {i, i + 32}) {
            const auto mask = unsigned(_mm256_movemask_epi8(at == i ? low : high));
            if (const qsizetype found_at = needle.firstIn(h, at, mask); found_at >= 0) {
                found = true;
                return found_at;
            }
        }
    }
    for (; i + 31 <= last; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(h + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(h + i + needle.n - 1));
        auto mask = unsigned(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, firsts), _mm256_cmpeq_epi8(b, finals))));
        if (const qsizetype at = needle.firstIn(h, i, mask); at >= 0) {
            found = true;
            return at;
        }
    }
    return i;
}
#endif

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

    const char16_t *h = text.utf16();
    const Needle needle{what.utf16(), n};
    const qsizetype last = text.size() - n; // the last place a match can start
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
        if (h[i] == needle.w[0] && h[i + n - 1] == needle.w[n - 1] && needle.middleAt(h + i))
            return i;
    }
    return -1;
}

qsizetype findBytes(QByteArrayView text, QByteArrayView what, qsizetype from)
{
    const qsizetype n = what.size();
    from = std::max<qsizetype>(from, 0);
    if (n == 0)
        return from <= text.size() ? from : -1;
    if (from > text.size() - n)
        return -1;
    const char *h = text.data();
    if (n == 1) {
        const void *at = std::memchr(h + from, what.front(), size_t(text.size() - from));
        return at ? static_cast<const char *>(at) - h : -1;
    }
    const ByteNeedle needle{what.data(), n};
    const qsizetype last = text.size() - n;
    qsizetype i = from;
    bool found = false;
#ifdef ZAVLEN_FIND_AVX2
    if (haveAvx2)
        i = scanBytesAvx2(h, i, last, needle, found);
#endif
#ifdef ZAVLEN_FIND_SSE2
    if (!found)
        i = scanBytesSse2(h, i, last, needle, found);
#endif
    if (found)
        return i;
    for (; i <= last; ++i) {
        if (h[i] == needle.w[0] && h[i + n - 1] == needle.w[n - 1] && needle.middleAt(h + i))
            return i;
    }
    return -1;
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
