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

// What a vector search compares at every start position: the first and the
// last byte of each text.
struct TextEnds {
  char first_head;
  char first_tail;
  char second_head;
  char second_tail;
  std::size_t first_last;   // offset of the first text's last byte
  std::size_t second_last;  // offset of the second text's last byte
};

// A vector candidate search: from the 64-byte stride at `i` on, up to the
// stride at `limit`, returns the candidate mask of the first stride that has
// any (bit k: position i + k) with `i` left at that stride, or 0 with `i`
// past `limit`. It calls nothing, so that its constants stay in registers.
using CandidateSearch = std::uint64_t (*)(const char* p, std::size_t& i, std::size_t limit, const TextEnds& ends);

// The vector search of either text: candidates from `search`, each checked
// in full, and the last stretch, too short for a vector, done plainly.
std::size_t vector_find_either(std::string_view haystack, std::string_view first, std::string_view second,
                               CandidateSearch search, CandidateSearch search_one) {
  const char* const p = haystack.data();
  const std::size_t n = haystack.size();
  const TextEnds ends{first[0], first.back(), second[0], second.back(), first.size() - 1, second.size() - 1};
  const std::size_t reach = std::max(ends.first_last, ends.second_last) + 64;
  std::size_t i = 0;
  if (n >= reach) {
    const CandidateSearch next = first == second ? search_one : search;
    while (i <= n - reach) {
      const std::uint64_t mask = next(p, i, n - reach, ends);
      if (mask == 0) break;
      const std::size_t pos = first_confirmed(mask, p, n, i, first, second);
      if (pos != npos) return pos;
      i += 64;
    }
  }
  return shifted(plain_find_either(haystack.substr(i), first, second), i);
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


template <bool kOneText>
__attribute__((target("avx2"))) std::uint64_t avx2_candidates(const char* p, std::size_t& i, std::size_t limit,
                                                               const TextEnds& ends) {
  const __m256i f0 = _mm256_set1_epi8(ends.first_head);
  const __m256i f1 = _mm256_set1_epi8(ends.first_tail);
  const __m256i s0 = _mm256_set1_epi8(ends.second_head);
  const __m256i s1 = _mm256_set1_epi8(ends.second_tail);
  const std::size_t first_last = ends.first_last;
  const std::size_t second_last = ends.second_last;
  for (std::size_t at = i; at <= limit; at += 64) {
    const char* const q = p + at;
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 32));
    const __m256i fa = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + first_last));
    const __m256i fb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + first_last + 32));
    __m256i ma = _mm256_and_si256(_mm256_cmpeq_epi8(a, f0), _mm256_cmpeq_epi8(fa, f1));
    __m256i mb = _mm256_and_si256(_mm256_cmpeq_epi8(b, f0), _mm256_cmpeq_epi8(fb, f1));
    if (!kOneText) {
      const __m256i sa = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + second_last));
      const __m256i sb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + second_last + 32));
      ma = _mm256_or_si256(ma, _mm256_and_si256(_mm256_cmpeq_epi8(a, s0), _mm256_cmpeq_epi8(sa, s1)));
      mb = _mm256_or_si256(mb, _mm256_and_si256(_mm256_cmpeq_epi8(b, s0), _mm256_cmpeq_epi8(sb, s1)));
    }
    if (!_mm256_testz_si256(_mm256_or_si256(ma, mb), _mm256_set1_epi8(-1))) {
      i = at;
      return join_masks(_mm256_movemask_epi8(ma), _mm256_movemask_epi8(mb));
    }
  }
  i = limit + 1;
  return 0;
}

std::size_t avx2_find_either(std::string_view haystack, std::string_view first, std::string_view second) {
  return vector_find_either(haystack, first, second, avx2_candidates<false>, avx2_candidates<true>);
}

template <bool kOneText>
__attribute__((target("avx512f,avx512bw"))) std::uint64_t avx512_candidates(const char* p, std::size_t& i,
                                                                             std::size_t limit,
                                                                             const TextEnds& ends) {
  const __m512i f0 = _mm512_set1_epi8(ends.first_head);
  const __m512i f1 = _mm512_set1_epi8(ends.first_tail);
  const __m512i s0 = _mm512_set1_epi8(ends.second_head);
  const __m512i s1 = _mm512_set1_epi8(ends.second_tail);
  const std::size_t first_last = ends.first_last;
  const std::size_t second_last = ends.second_last;
  std::size_t at = i;
  // Two strides at a time while both fit, for more loads in flight.
  for (; at + 64 <= limit; at += 128) {
    const char* const q = p + at;
    const __m512i a = _mm512_loadu_si512(q);
    const __m512i b = _mm512_loadu_si512(q + 64);
    __mmask64 low = _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(a, f0), _mm512_loadu_si512(q + first_last), f1);
    __mmask64 high =
        _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(b, f0), _mm512_loadu_si512(q + 64 + first_last), f1);
    if (!kOneText) {
      low |= _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(a, s0), _mm512_loadu_si512(q + second_last), s1);
      high |=
          _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(b, s0), _mm512_loadu_si512(q + 64 + second_last), s1);
    }
    if ((low | high) == 0) continue;
    if (low != 0) {
      i = at;
      return low;
    }
    i = at + 64;
    return high;
  }
  for (; at <= limit; at += 64) {
    const char* const q = p + at;
    const __m512i a = _mm512_loadu_si512(q);
    __mmask64 mask = _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(a, f0), _mm512_loadu_si512(q + first_last), f1);
    if (!kOneText) {
      mask |= _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(a, s0), _mm512_loadu_si512(q + second_last), s1);
    }
    if (mask != 0) {
      i = at;
      return mask;
    }
  }
  i = limit + 1;
  return 0;
}

std::size_t avx512_find_either(std::string_view haystack, std::string_view first, std::string_view second) {
  return vector_find_either(haystack, first, second, avx512_candidates<false>, avx512_candidates<true>);
}

template <bool kOneText>
__attribute__((target("sse2"))) std::uint64_t sse2_candidates(const char* p, std::size_t& i, std::size_t limit,
                                                               const TextEnds& ends) {
  const __m128i f0 = _mm_set1_epi8(ends.first_head);
  const __m128i f1 = _mm_set1_epi8(ends.first_tail);
  const __m128i s0 = _mm_set1_epi8(ends.second_head);
  const __m128i s1 = _mm_set1_epi8(ends.second_tail);
  const std::size_t first_last = ends.first_last;
  const std::size_t second_last = ends.second_last;
  for (std::size_t at = i; at <= limit; at += 64) {
    int masks[4];
    for (int k = 0; k < 4; ++k) {
      const char* const q = p + at + 16 * k;
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
      const __m128i fa = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + first_last));
      __m128i m = _mm_and_si128(_mm_cmpeq_epi8(a, f0), _mm_cmpeq_epi8(fa, f1));
      if (!kOneText) {
        const __m128i sa = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + second_last));
        m = _mm_or_si128(m, _mm_and_si128(_mm_cmpeq_epi8(a, s0), _mm_cmpeq_epi8(sa, s1)));
      }
      masks[k] = _mm_movemask_epi8(m);
    }
    if ((masks[0] | masks[1] | masks[2] | masks[3]) != 0) {
      i = at;
      return join_masks(masks);
    }
  }
  i = limit + 1;
  return 0;
}

std::size_t sse2_find_either(std::string_view haystack, std::string_view first, std::string_view second) {
  return vector_find_either(haystack, first, second, sse2_candidates<false>, sse2_candidates<true>);
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


__attribute__((target("avx512f,avx512bw"))) std::size_t avx512_text_mode_change(std::string_view bytes) {
  const char* const p = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  if (n > 64) {
    const __m512i cr = _mm512_set1_epi8('\r');
    const __m512i lf = _mm512_set1_epi8('\n');
    const __m512i end_mark = _mm512_set1_epi8(kEndOfText);
    // Two strides at a time while both fit.
    for (; i + 64 < n - 64; i += 128) {
      const char* const q = p + i;
      const __m512i a = _mm512_loadu_si512(q);
      const __m512i b = _mm512_loadu_si512(q + 64);
      const __mmask64 low = _mm512_mask_cmpneq_epi8_mask(_mm512_cmpeq_epi8_mask(a, cr), _mm512_loadu_si512(q + 1), lf) |
                            _mm512_cmpeq_epi8_mask(a, end_mark);
      const __mmask64 high =
          _mm512_mask_cmpneq_epi8_mask(_mm512_cmpeq_epi8_mask(b, cr), _mm512_loadu_si512(q + 65), lf) |
          _mm512_cmpeq_epi8_mask(b, end_mark);
      if ((low | high) == 0) continue;
      if (low != 0) return i + static_cast<std::size_t>(__builtin_ctzll(low));
      return i + 64 + static_cast<std::size_t>(__builtin_ctzll(high));
    }
    for (; i < n - 64; i += 64) {
      const char* const q = p + i;
      const __m512i a = _mm512_loadu_si512(q);
      const __mmask64 mask = _mm512_mask_cmpneq_epi8_mask(_mm512_cmpeq_epi8_mask(a, cr), _mm512_loadu_si512(q + 1), lf) |
                             _mm512_cmpeq_epi8_mask(a, end_mark);
      if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctzll(mask));
    }
  }
  return shifted(plain_text_mode_change(bytes.substr(i)), i);
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
