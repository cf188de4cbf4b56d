#include "base/ByteSearch.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

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

size_t FindAnyOf(const char* p, size_t n, char a, char b, char c) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b), vc = _mm_set1_epi8(c);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = Load(p + i);
        const unsigned hits = Mask(_mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)), _mm_cmpeq_epi8(v, vc)));
        if (hits != 0) return i + static_cast<size_t>(std::countr_zero(hits));
    }
#endif
    for (; i < n; ++i) {
        if (p[i] == a || p[i] == b || p[i] == c) return i;
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

size_t FirstNonPlain(const char* p, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i tab = _mm_set1_epi8('\t');
    // Sixty-four bytes at a time to the first block that holds one, then sixteen.
    for (; i + 64 <= n; i += 64) {
        const __m128i a = Load(p + i), b = Load(p + i + 16), c = Load(p + i + 32),
                      d = Load(p + i + 48);
        const __m128i high = _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d));
        const __m128i tabs =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(a, tab), _mm_cmpeq_epi8(b, tab)),
                         _mm_or_si128(_mm_cmpeq_epi8(c, tab), _mm_cmpeq_epi8(d, tab)));
        if (Mask(_mm_or_si128(high, tabs)) != 0) break;
    }
    for (; i + 16 <= n; i += 16) {
        const __m128i v = Load(p + i);
        const unsigned odd = Mask(v) | Mask(_mm_cmpeq_epi8(v, tab));
        if (odd != 0) return i + static_cast<size_t>(std::countr_zero(odd));
    }
#endif
    for (; i < n; ++i) {
        if ((static_cast<unsigned char>(p[i]) & 0x80) || p[i] == '\t') return i;
    }
    return n;
}

size_t FindBytes(const char* p, size_t n, std::string_view needle) {
    const size_t m = needle.size();
    if (m == 0 || m > n) return m == 0 ? 0 : n;
    if (m == 1) {
        const void* hit = std::memchr(p, needle.front(), n);
        return hit ? static_cast<size_t>(static_cast<const char*>(hit) - p) : n;
    }
    size_t i = 0;
#if defined(__SSE2__)
    // Candidates are the places where the needle's first and last bytes both
    // fit; only those are compared in full.
    const __m128i first = _mm_set1_epi8(needle.front()), last = _mm_set1_epi8(needle.back());
    auto block = [&](size_t at) -> size_t {
        unsigned candidates = Mask(_mm_and_si128(_mm_cmpeq_epi8(Load(p + at), first),
                                                 _mm_cmpeq_epi8(Load(p + at + m - 1), last)));
        while (candidates != 0) {
            const size_t hit = at + static_cast<size_t>(std::countr_zero(candidates));
            if (std::memcmp(p + hit + 1, needle.data() + 1, m - 2) == 0) return hit;
            candidates &= candidates - 1;
        }
        return n;
    };
    const size_t places = n - m + 1;
    for (; i + 16 <= places; i += 16)
        if (const size_t hit = block(i); hit != n) return hit;
    // The last places: one more block that ends where the text ends (places
    // it looks at again hold no match), or, in a text too short for a
    // block, one by one.
    if (i < places && places >= 16) return block(places - 16);
    for (; i < places; ++i)
        if (p[i] == needle.front() && std::memcmp(p + i + 1, needle.data() + 1, m - 1) == 0)
            return i;
    return n;
#else
    const void* hit = ::memmem(p, n, needle.data(), m);
    return hit ? static_cast<size_t>(static_cast<const char*>(hit) - p) : n;
#endif
}

ByteNeedles::ByteNeedles(std::vector<std::string> needles) : needles_(std::move(needles)) {
    if (needles_.size() > kMost) needles_.resize(kMost);
    for (size_t k = 0; k < needles_.size(); ++k) {
        const std::string& needle = needles_[k];
        if (needle.size() == 1) single_ |= uint64_t{1} << k;
        Pair& pair = pairs_.emplace_back();
        std::memset(pair.first, needle.empty() ? 0 : needle[0], 16);
        std::memset(pair.second, needle.size() < 2 ? 0 : needle[1], 16);
    }
}

bool ByteNeedles::At(const char* p, size_t n, size_t at, size_t k) const {
    const std::string& needle = needles_[k];
    return at + needle.size() <= n && std::memcmp(p + at, needle.data(), needle.size()) == 0;
}

uint64_t ByteNeedles::OneByOne(const char* p, size_t n, uint64_t found) const {
    for (size_t k = 0; k < needles_.size(); ++k) {
        if (((found | single_) >> k) & 1) continue;
        for (size_t at = 0; at + needles_[k].size() <= n; ++at)
            if (At(p, n, at, k)) {
                found |= uint64_t{1} << k;
                break;
            }
    }
    return found;
}

uint64_t ByteNeedles::Occurring(const char* p, size_t n) const {
    uint64_t found = 0;
    // Needles of one byte: memchr. The others by their first two bytes.
    for (size_t k = 0; k < needles_.size(); ++k)
        if (((single_ >> k) & 1) && std::memchr(p, needles_[k][0], n)) found |= uint64_t{1} << k;
    const uint64_t all =
        needles_.size() == 64 ? ~uint64_t{0} : (uint64_t{1} << needles_.size()) - 1;
    if (single_ == all || found == all) return found;
#if defined(__SSE2__)
    if (n < 17) return OneByOne(p, n, found);
    // A block looks at the places at to at + 15; both its loads end by n.
    auto block = [&](size_t at) {
        const __m128i v0 = Load(p + at), v1 = Load(p + at + 1);
        __m128i any = _mm_setzero_si128();
        for (const Pair& pair : pairs_)
            any = _mm_or_si128(any, _mm_and_si128(_mm_cmpeq_epi8(v0, Load(pair.first)),
                                                  _mm_cmpeq_epi8(v1, Load(pair.second))));
        if (Mask(any) == 0) return;
        for (size_t k = 0; k < needles_.size(); ++k) {
            if (((found | single_) >> k) & 1) continue;
            unsigned candidates =
                Mask(_mm_and_si128(_mm_cmpeq_epi8(v0, Load(pairs_[k].first)),
                                   _mm_cmpeq_epi8(v1, Load(pairs_[k].second))));
            for (; candidates != 0; candidates &= candidates - 1)
                if (At(p, n, at + static_cast<size_t>(std::countr_zero(candidates)), k)) {
                    found |= uint64_t{1} << k;
                    break;
                }
        }
    };
    size_t i = 0;
    for (; i + 17 <= n && found != all; i += 16)
        block(i);
    // The last places: one more block that ends where the text ends.
    if (i + 1 < n && found != all) block(n - 17);
    return found;
#else
    return OneByOne(p, n, found);
#endif
}

} // namespace vok
