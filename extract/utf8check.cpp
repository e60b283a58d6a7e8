#include "extract/utf8check.h"

#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define ZAVLEN_UTF8_AVX2 1
#endif

namespace Extract {

namespace {

#ifdef ZAVLEN_UTF8_AVX2

// The lookup method of Keiser and Lemire ("Validating UTF-8 in less than one instruction per
// byte", 2021): each pair of neighbouring bytes is classified by three table lookups, on the
// high and low nibble of the first and the high nibble of the second, whose AND is non-zero
// exactly where the pair breaks a rule; third and fourth bytes of a sequence are checked apart.
constexpr unsigned char tooShort = 1 << 0;    // a lead not followed by a continuation
constexpr unsigned char tooLong = 1 << 1;     // ASCII followed by a continuation
constexpr unsigned char overlong3 = 1 << 2;   // E0 80..9F
constexpr unsigned char tooLarge = 1 << 3;    // F4 90..BF, F5..FF
constexpr unsigned char surrogate = 1 << 4;   // ED A0..BF
constexpr unsigned char overlong2 = 1 << 5;   // C0, C1
constexpr unsigned char tooLarge1000 = 1 << 6; // F5..FF 80..8F
constexpr unsigned char overlong4 = 1 << 6;   // F0 80..8F
constexpr unsigned char twoConts = 1 << 7;    // two continuations where no lead allows them
constexpr unsigned char carry = tooShort | tooLong | twoConts;

__attribute__((target("avx2"))) __m256i table(const unsigned char (&t)[16])
{
    const __m128i half = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t));
    return _mm256_broadcastsi128_si256(half);
}

// The bytes of `input` shifted by n places, the last of `previous` coming in first.
template <int n>
__attribute__((target("avx2"))) __m256i before(__m256i input, __m256i previous)
{
    return _mm256_alignr_epi8(input, _mm256_permute2x128_si256(previous, input, 0x21), 16 - n);
}

struct Checker
{
    __m256i byte1High, byte1Low, byte2High, nibble, incompleteMax;
    __m256i error = _mm256_setzero_si256();
    __m256i previous = _mm256_setzero_si256();
    __m256i previousIncomplete = _mm256_setzero_si256();

    __attribute__((target("avx2"))) Checker()
    {
        static const unsigned char b1h[16] = {tooLong, tooLong, tooLong, tooLong, tooLong, tooLong, tooLong, tooLong,
                                              twoConts, twoConts, twoConts, twoConts,
                                              tooShort | overlong2, tooShort, tooShort | overlong3 | surrogate,
                                              tooShort | tooLarge | tooLarge1000 | overlong4};
        static const unsigned char b1l[16] = {
            carry | overlong3 | overlong2 | overlong4, carry | overlong2, carry, carry, carry | tooLarge,
            carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000,
            carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000,
            carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000,
            carry | tooLarge | tooLarge1000 | surrogate, carry | tooLarge | tooLarge1000,
            carry | tooLarge | tooLarge1000};
        static const unsigned char b2h[16] = {
            tooShort, tooShort, tooShort, tooShort, tooShort, tooShort, tooShort, tooShort,
            tooLong | overlong2 | twoConts | overlong3 | tooLarge1000 | overlong4,
            tooLong | overlong2 | twoConts | overlong3 | tooLarge,
            tooLong | overlong2 | twoConts | surrogate | tooLarge,
            tooLong | overlong2 | twoConts | surrogate | tooLarge,
            tooShort, tooShort, tooShort, tooShort};
        byte1High = table(b1h);
        byte1Low = table(b1l);
        byte2High = table(b2h);
        nibble = _mm256_set1_epi8(0x0f);
        // A block whose last three bytes start a sequence longer than what is left of it.
        alignas(32) unsigned char max[32];
        std::memset(max, 0xff, sizeof max);
        max[29] = 0xf0 - 1;
        max[30] = 0xe0 - 1;
        max[31] = 0xc0 - 1;
        incompleteMax = _mm256_load_si256(reinterpret_cast<const __m256i *>(max));
    }

    __attribute__((target("avx2"))) __m256i high(__m256i v) const
    {
        return _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
    }

    __attribute__((target("avx2"))) void add(__m256i input)
    {
        if (_mm256_movemask_epi8(input) == 0) {
            // All ASCII: only a sequence left open by the block before can be wrong here.
            error = _mm256_or_si256(error, previousIncomplete);
        } else {
            const __m256i prev1 = before<1>(input, previous);
            const __m256i special = _mm256_and_si256(
                _mm256_and_si256(_mm256_shuffle_epi8(byte1High, high(prev1)),
                                 _mm256_shuffle_epi8(byte1Low, _mm256_and_si256(prev1, nibble))),
                _mm256_shuffle_epi8(byte2High, high(input)));
            const __m256i prev2 = before<2>(input, previous);
            const __m256i prev3 = before<3>(input, previous);
            const __m256i third = _mm256_subs_epu8(prev2, _mm256_set1_epi8(char(0xe0 - 0x80)));
            const __m256i fourth = _mm256_subs_epu8(prev3, _mm256_set1_epi8(char(0xf0 - 0x80)));
            const __m256i must23 = _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
            error = _mm256_or_si256(error, _mm256_xor_si256(must23, special));
            previousIncomplete = _mm256_subs_epu8(input, incompleteMax);
        }
        previous = input;
    }

    __attribute__((target("avx2"))) bool valid() const
    {
        const __m256i all = _mm256_or_si256(error, previousIncomplete);
        return _mm256_testz_si256(all, all) != 0;
    }
};

__attribute__((target("avx2"))) bool validAvx2(const char *data, qsizetype size)
{
    Checker checker;
    qsizetype i = 0;
    for (; i + 32 <= size; i += 32)
        checker.add(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + i)));
    if (i < size) {
        // The rest, padded with NUL: ASCII, so an open sequence at the very end still shows.
        alignas(32) char last[32] = {};
        std::memcpy(last, data + i, size_t(size - i));
        checker.add(_mm256_load_si256(reinterpret_cast<const __m256i *>(last)));
    }
    return checker.valid();
}

const bool haveAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

#endif

} // namespace

bool isValidUtf8(QByteArrayView bytes)
{
#ifdef ZAVLEN_UTF8_AVX2
    if (haveAvx2)
        return validAvx2(bytes.data(), bytes.size());
#endif
    return bytes.isValidUtf8();
}

} // namespace Extract
