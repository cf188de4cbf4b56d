#include "base/ByteSearch.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vok {

namespace {

#if defined(__SSE2__)
__m128i Load(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

unsigned Mask(__m128i v) {
    return static_cast<unsigned>(_mm_movemask_epi8(v));
}
#endif

} // namespace

size_t FindLineEnd(const char* p, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = Load(p + i);
        const unsigned ends = Mask(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        if (ends != 0) return i + static_cast<size_t>(std::countr_zero(ends));
    }
#endif
    for (; i < n; ++i) {
        if (p[i] == '\r' || p[i] == '\n') return i;
    }
    return n;
}

size_t FirstNonAscii(const char* p, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 64 <= n; i += 64) {
        const __m128i any = _mm_or_si128(_mm_or_si128(Load(p + i), Load(p + i + 16)),
                                         _mm_or_si128(Load(p + i + 32), Load(p + i + 48)));
        if (Mask(any) != 0) break;
    }
#endif
    for (; i < n; ++i) {
        if (static_cast<unsigned char>(p[i]) & 0x80) return i;
    }
    return n;
}

size_t FindBytes(const char* p, size_t n, std::string_view needle) {
    const size_t m = needle.size();
    if (m == 0 || m > n) return m == 0 ? 0 : n;
    size_t i = 0;
#if defined(__SSE2__)
    // Candidates are the places where the needle's first and last bytes both
    // fit; only those are compared in full.
    if (m >= 2) {
        const __m128i first = _mm_set1_epi8(needle.front()), last = _mm_set1_epi8(needle.back());
        for (; i + m - 1 + 16 <= n; i += 16) {
            unsigned candidates = Mask(_mm_and_si128(_mm_cmpeq_epi8(Load(p + i), first),
                                                     _mm_cmpeq_epi8(Load(p + i + m - 1), last)));
            while (candidates != 0) {
                const size_t at = i + static_cast<size_t>(std::countr_zero(candidates));
                if (std::memcmp(p + at + 1, needle.data() + 1, m - 2) == 0) return at;
                candidates &= candidates - 1;
            }
        }
    }
#endif
    if (i + m > n) return n;
    const void* hit = ::memmem(p + i, n - i, needle.data(), m);
    return hit ? static_cast<size_t>(static_cast<const char*>(hit) - p) : n;
}

} // namespace vok
