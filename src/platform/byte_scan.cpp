#include "platform/byte_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define VOKT_X86_VECTORS 1
#include <immintrin.h>
#endif

namespace vokt {

namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr char kEndOfText = 0x1A;

// ---------------------------------------------------------------------------
// Plain implementations: the reference for the vector ones, and the tails
// that are too short for a vector.

std::size_t plain_text_mode_change(std::string_view bytes) {
  const char* const p = bytes.data();
  const std::size_t n = bytes.size();
  const void* const end_mark = std::memchr(p, kEndOfText, n);
  const std::size_t limit = end_mark ? static_cast<std::size_t>(static_cast<const char*>(end_mark) - p) : n;
  std::size_t from = 0;
  while (from < limit) {
    const void* const cr = std::memchr(p + from, '\r', limit - from);
    if (cr == nullptr) break;
    const std::size_t i = static_cast<std::size_t>(static_cast<const char*>(cr) - p);
    if (i + 1 >= n || p[i + 1] != '\n') return i;
    from = i + 2;
  }
  return end_mark ? limit : npos;
}

bool occurs_at(const char* p, std::size_t n, std::size_t pos, std::string_view text) {
  if (n - pos < text.size()) return false;
  // Most candidates differ in their second byte already.
  if (text.size() > 2 && p[pos + 1] != text[1]) return false;
  return std::memcmp(p + pos, text.data(), text.size()) == 0;
}

std::size_t plain_find_either(std::string_view haystack, std::string_view first, std::string_view second) {
  const char* const p = haystack.data();
  const std::size_t n = haystack.size();
  if (first[0] == second[0]) {
    for (std::size_t from = 0; from < n;) {
      const void* const hit = std::memchr(p + from, first[0], n - from);
      if (hit == nullptr) return npos;
      const std::size_t i = static_cast<std::size_t>(static_cast<const char*>(hit) - p);
      if (occurs_at(p, n, i, first) || occurs_at(p, n, i, second)) return i;
      from = i + 1;
    }
    return npos;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if ((p[i] == first[0] && occurs_at(p, n, i, first)) || (p[i] == second[0] && occurs_at(p, n, i, second))) {
      return i;
    }
  }
  return npos;
}

// Adds `offset` to a position found in a tail.
std::size_t shifted(std::size_t pos, std::size_t offset) { return pos == npos ? npos : pos + offset; }

#ifdef VOKT_X86_VECTORS

// The vector searches compare, for every start position of a 64-byte stretch,
// the first and the last byte of each text; only the positions where both
// agree are compared in full.

// Checks the candidate positions in `mask` (bit k: position i + k) in order.
inline std::size_t first_confirmed(std::uint64_t mask, const char* p, std::size_t n, std::size_t i,
                                   std::string_view first, std::string_view second) {
  while (mask != 0) {
    const std::size_t pos = i + static_cast<std::size_t>(__builtin_ctzll(mask));
    if (occurs_at(p, n, pos, first) || occurs_at(p, n, pos, second)) return pos;
    mask &= mask - 1;
  }
  return npos;
}

inline std::uint64_t join_masks(int low, int high) {
  return static_cast<std::uint32_t>(low) | (static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32);
}

// Four 16-bit masks of consecutive 16-byte stretches as one 64-bit mask.
inline std::uint64_t join_masks(const int (&masks)[4]) {
  std::uint64_t mask = 0;
  for (int k = 0; k < 4; ++k) mask |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(masks[k])) << (16 * k);
  return mask;
}

__attribute__((target("avx2"))) std::size_t avx2_find_either(std::string_view haystack, std::string_view first,
                                                              std::string_view second) {
  const char* const p = haystack.data();
  const std::size_t n = haystack.size();
  const std::size_t last_first = first.size() - 1;
  const std::size_t last_second = second.size() - 1;
  const std::size_t reach = std::max(last_first, last_second) + 64;
  std::size_t i = 0;
  if (n >= reach) {
    const __m256i f0 = _mm256_set1_epi8(first[0]);
    const __m256i f1 = _mm256_set1_epi8(first[last_first]);
    const __m256i s0 = _mm256_set1_epi8(second[0]);
    const __m256i s1 = _mm256_set1_epi8(second[last_second]);
    const bool one_text = first == second;
    for (; i <= n - reach; i += 64) {
      const char* const q = p + i;
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 32));
      const __m256i fa = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + last_first));
      const __m256i fb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + last_first + 32));
      __m256i ma = _mm256_and_si256(_mm256_cmpeq_epi8(a, f0), _mm256_cmpeq_epi8(fa, f1));
      __m256i mb = _mm256_and_si256(_mm256_cmpeq_epi8(b, f0), _mm256_cmpeq_epi8(fb, f1));
      if (!one_text) {
        const __m256i sa = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + last_second));
        const __m256i sb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + last_second + 32));
        ma = _mm256_or_si256(ma, _mm256_and_si256(_mm256_cmpeq_epi8(a, s0), _mm256_cmpeq_epi8(sa, s1)));
        mb = _mm256_or_si256(mb, _mm256_and_si256(_mm256_cmpeq_epi8(b, s0), _mm256_cmpeq_epi8(sb, s1)));
      }
      if (_mm256_testz_si256(_mm256_or_si256(ma, mb), _mm256_set1_epi8(-1))) continue;
      const std::uint64_t mask = join_masks(_mm256_movemask_epi8(ma), _mm256_movemask_epi8(mb));
      const std::size_t pos = first_confirmed(mask, p, n, i, first, second);
      if (pos != npos) return pos;
    }
  }
  return shifted(plain_find_either(haystack.substr(i), first, second), i);
}

__attribute__((target("avx2"))) std::size_t avx2_text_mode_change(std::string_view bytes) {
  const char* const p = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  if (n > 64) {
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i end_mark = _mm256_set1_epi8(kEndOfText);
    for (; i < n - 64; i += 64) {
      const char* const q = p + i;
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 32));
      const __m256i next_a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 1));
      const __m256i next_b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 33));
      const __m256i ma = _mm256_or_si256(_mm256_andnot_si256(_mm256_cmpeq_epi8(next_a, lf), _mm256_cmpeq_epi8(a, cr)),
                                         _mm256_cmpeq_epi8(a, end_mark));
      const __m256i mb = _mm256_or_si256(_mm256_andnot_si256(_mm256_cmpeq_epi8(next_b, lf), _mm256_cmpeq_epi8(b, cr)),
                                         _mm256_cmpeq_epi8(b, end_mark));
      if (_mm256_testz_si256(_mm256_or_si256(ma, mb), _mm256_set1_epi8(-1))) continue;
      const std::uint64_t mask = join_masks(_mm256_movemask_epi8(ma), _mm256_movemask_epi8(mb));
      return i + static_cast<std::size_t>(__builtin_ctzll(mask));
    }
  }
  return shifted(plain_text_mode_change(bytes.substr(i)), i);
}

__attribute__((target("avx512f,avx512bw"))) std::size_t avx512_find_either(std::string_view haystack,
                                                                            std::string_view first,
                                                                            std::string_view second) {
  const char* const p = haystack.data();
  const std::size_t n = haystack.size();
  const std::size_t last_first = first.size() - 1;
  const std::size_t last_second = second.size() - 1;
  const std::size_t reach = std::max(last_first, last_second) + 64;
  std::size_t i = 0;
  if (n >= reach) {
    const __m512i f0 = _mm512_set1_epi8(first[0]);
    const __m512i f1 = _mm512_set1_epi8(first[last_first]);
    const __m512i s0 = _mm512_set1_epi8(second[0]);
    const __m512i s1 = _mm512_set1_epi8(second[last_second]);
    const bool one_text = first == second;
    for (; i <= n - reach; i += 64) {
      const char* const q = p + i;
      const __m512i a = _mm512_loadu_si512(q);
      __mmask64 mask = _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(a, f0), _mm512_loadu_si512(q + last_first), f1);
      if (!one_text) {
        mask |= _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(a, s0), _mm512_loadu_si512(q + last_second), s1);
      }
      if (mask == 0) continue;
      const std::size_t pos = first_confirmed(mask, p, n, i, first, second);
      if (pos != npos) return pos;
    }
  }
  return shifted(plain_find_either(haystack.substr(i), first, second), i);
}

__attribute__((target("avx512f,avx512bw"))) std::size_t avx512_text_mode_change(std::string_view bytes) {
  const char* const p = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  if (n > 64) {
    const __m512i cr = _mm512_set1_epi8('\r');
    const __m512i lf = _mm512_set1_epi8('\n');
    const __m512i end_mark = _mm512_set1_epi8(kEndOfText);
    for (; i < n - 64; i += 64) {
      const char* const q = p + i;
      const __m512i a = _mm512_loadu_si512(q);
      const __mmask64 mask =
          _mm512_mask_cmpneq_epi8_mask(_mm512_cmpeq_epi8_mask(a, cr), _mm512_loadu_si512(q + 1), lf) |
          _mm512_cmpeq_epi8_mask(a, end_mark);
      if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctzll(mask));
    }
  }
  return shifted(plain_text_mode_change(bytes.substr(i)), i);
}

__attribute__((target("sse2"))) std::size_t sse2_find_either(std::string_view haystack, std::string_view first,
                                                              std::string_view second) {
  const char* const p = haystack.data();
  const std::size_t n = haystack.size();
  const std::size_t last_first = first.size() - 1;
  const std::size_t last_second = second.size() - 1;
  const std::size_t reach = std::max(last_first, last_second) + 64;
  std::size_t i = 0;
  if (n >= reach) {
    const __m128i f0 = _mm_set1_epi8(first[0]);
    const __m128i f1 = _mm_set1_epi8(first[last_first]);
    const __m128i s0 = _mm_set1_epi8(second[0]);
    const __m128i s1 = _mm_set1_epi8(second[last_second]);
    const bool one_text = first == second;
    for (; i <= n - reach; i += 64) {
      int masks[4];
      for (int k = 0; k < 4; ++k) {
        const char* const q = p + i + 16 * k;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        const __m128i fa = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + last_first));
        __m128i m = _mm_and_si128(_mm_cmpeq_epi8(a, f0), _mm_cmpeq_epi8(fa, f1));
        if (!one_text) {
          const __m128i sa = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + last_second));
          m = _mm_or_si128(m, _mm_and_si128(_mm_cmpeq_epi8(a, s0), _mm_cmpeq_epi8(sa, s1)));
        }
        masks[k] = _mm_movemask_epi8(m);
      }
      if ((masks[0] | masks[1] | masks[2] | masks[3]) == 0) continue;
      const std::uint64_t mask = join_masks(masks);
      const std::size_t pos = first_confirmed(mask, p, n, i, first, second);
      if (pos != npos) return pos;
    }
  }
  return shifted(plain_find_either(haystack.substr(i), first, second), i);
}

__attribute__((target("sse2"))) std::size_t sse2_text_mode_change(std::string_view bytes) {
  const char* const p = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  if (n > 64) {
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i end_mark = _mm_set1_epi8(kEndOfText);
    for (; i < n - 64; i += 64) {
      int masks[4];
      for (int k = 0; k < 4; ++k) {
        const char* const q = p + i + 16 * k;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 1));
        masks[k] = _mm_movemask_epi8(
            _mm_or_si128(_mm_andnot_si128(_mm_cmpeq_epi8(next, lf), _mm_cmpeq_epi8(a, cr)), _mm_cmpeq_epi8(a, end_mark)));
      }
      if ((masks[0] | masks[1] | masks[2] | masks[3]) == 0) continue;
      const std::uint64_t mask = join_masks(masks);
      return i + static_cast<std::size_t>(__builtin_ctzll(mask));
    }
  }
  return shifted(plain_text_mode_change(bytes.substr(i)), i);
}

#endif  // VOKT_X86_VECTORS

const ByteScanner& fastest() {
  static const ByteScanner chosen = byte_scanners().back();
  return chosen;
}

}  // namespace

std::vector<ByteScanner> byte_scanners() {
  std::vector<ByteScanner> all{{"plain", plain_text_mode_change, plain_find_either}};
#ifdef VOKT_X86_VECTORS
  __builtin_cpu_init();
  if (__builtin_cpu_supports("sse2")) all.push_back({"sse2", sse2_text_mode_change, sse2_find_either});
  if (__builtin_cpu_supports("avx2")) all.push_back({"avx2", avx2_text_mode_change, avx2_find_either});
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) {
    all.push_back({"avx512", avx512_text_mode_change, avx512_find_either});
  }
#endif
  return all;
}

std::size_t find_text_mode_change(std::string_view bytes) { return fastest().find_text_mode_change(bytes); }

std::size_t find_either(std::string_view haystack, std::string_view first, std::string_view second) {
  return fastest().find_either(haystack, first, second);
}

}  // namespace vokt
