#include "platform/byte_scan.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vokt {

namespace {

constexpr std::size_t npos = std::string_view::npos;

}  // namespace

std::size_t plain_text_mode_change(std::string_view bytes) {
  const std::size_t end_mark = bytes.find(kEndOfText);
  const std::string_view text = bytes.substr(0, end_mark);
  for (std::size_t cr = text.find('\r'); cr != npos; cr = text.find('\r', cr + 2)) {
    if (cr + 1 == bytes.size() || bytes[cr + 1] != '\n') return cr;
  }
  return end_mark;
}

std::size_t plain_find_either(std::string_view haystack, std::string_view first, std::string_view second) {
  const std::size_t at = haystack.find(first);
  if (second == first) return at;
  // Only an occurrence of `second` that starts before `at` comes first.
  const std::size_t limit = at == npos ? haystack.size() : at + second.size() - 1;
  return std::min(at, haystack.substr(0, limit).find(second));
}

#ifndef __SSE2__

std::size_t find_text_mode_change(std::string_view bytes) { return plain_text_mode_change(bytes); }

std::size_t find_either(std::string_view haystack, std::string_view first, std::string_view second) {
  return plain_find_either(haystack, first, second);
}

#else

namespace {

// The vector forms go through the bytes in strides of 64, four vectors of 16
// bytes whose results are joined before they are looked at. What is left at
// the end, too short for a stride, is left to the plain forms.
constexpr std::size_t kStride = 64;
constexpr std::size_t kVector = 16;

__m128i load(std::string_view bytes, std::size_t at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + at));
}

std::size_t shifted(std::size_t pos, std::size_t offset) { return pos == npos ? npos : pos + offset; }

bool occurs_at(std::string_view haystack, std::size_t pos, std::string_view text) {
  return haystack.compare(pos, text.size(), text) == 0;
}

}  // namespace

std::size_t find_text_mode_change(std::string_view bytes) {
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i end_mark = _mm_set1_epi8(kEndOfText);
  std::size_t at = 0;
  // Each stride also reads the byte after it, the follower of its last byte.
  for (; at + kStride < bytes.size(); at += kStride) {
    __m128i changes = _mm_setzero_si128();
    for (std::size_t k = at; k < at + kStride; k += kVector) {
      const __m128i here = load(bytes, k);
      const __m128i stray_cr = _mm_andnot_si128(_mm_cmpeq_epi8(load(bytes, k + 1), lf), _mm_cmpeq_epi8(here, cr));
      changes = _mm_or_si128(changes, _mm_or_si128(stray_cr, _mm_cmpeq_epi8(here, end_mark)));
    }
    if (_mm_movemask_epi8(changes) != 0) break;
  }
  return shifted(plain_text_mode_change(bytes.substr(at)), at);
}

std::size_t find_either(std::string_view haystack, std::string_view first, std::string_view second) {
  // A text can only start where its first byte stands and its last byte
  // stands at the right distance; only such places are compared in full.
  const std::size_t first_last = first.size() - 1;
  const std::size_t second_last = second.size() - 1;
  const __m128i first_head = _mm_set1_epi8(first.front());
  const __m128i first_tail = _mm_set1_epi8(first.back());
  const __m128i second_head = _mm_set1_epi8(second.front());
  const __m128i second_tail = _mm_set1_epi8(second.back());
  // Bit k: either text may start at `at + k`.
  const auto candidates = [&](std::size_t at) {
    const __m128i here = load(haystack, at);
    const __m128i first_ends =
        _mm_and_si128(_mm_cmpeq_epi8(here, first_head), _mm_cmpeq_epi8(load(haystack, at + first_last), first_tail));
    const __m128i second_ends =
        _mm_and_si128(_mm_cmpeq_epi8(here, second_head), _mm_cmpeq_epi8(load(haystack, at + second_last), second_tail));
    return _mm_or_si128(first_ends, second_ends);
  };
  const std::size_t reach = kStride + std::max(first_last, second_last);
  std::size_t at = 0;
  for (; at + reach <= haystack.size(); at += kStride) {
    __m128i any = _mm_setzero_si128();
    for (std::size_t k = at; k < at + kStride; k += kVector) any = _mm_or_si128(any, candidates(k));
    if (_mm_movemask_epi8(any) == 0) continue;
    for (std::size_t k = at; k < at + kStride; k += kVector) {
      for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(candidates(k))); mask != 0; mask &= mask - 1) {
        const std::size_t pos = k + static_cast<std::size_t>(std::countr_zero(mask));
        if (occurs_at(haystack, pos, first) || occurs_at(haystack, pos, second)) return pos;
      }
    }
  }
  return shifted(plain_find_either(haystack.substr(at), first, second), at);
}

#endif  // __SSE2__

}  // namespace vokt
