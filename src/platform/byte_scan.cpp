#include "platform/byte_scan.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace vokt {

constexpr std::size_t npos = std::string_view::npos;

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

TextScan plain_scan_text(std::string_view bytes, std::string_view first, std::string_view second) {
  const std::size_t change = plain_text_mode_change(bytes);
  return {change, plain_find_either(bytes.substr(0, change), first, second)};
}

std::uint32_t plain_byte_marks(std::string_view bytes, char a, char b, char c) {
  std::uint32_t marks = 0;
  for (std::size_t k = 0; k < std::min<std::size_t>(bytes.size(), 32); ++k) {
    if (bytes[k] == a || bytes[k] == b || bytes[k] == c) marks |= std::uint32_t{1} << k;
  }
  return marks;
}

#ifndef __SSE2__

std::size_t find_text_mode_change(std::string_view bytes) { return plain_text_mode_change(bytes); }
std::size_t find_either(std::string_view in, std::string_view a, std::string_view b) {
  return plain_find_either(in, a, b);
}
TextScan scan_text(std::string_view in, std::string_view a, std::string_view b) { return plain_scan_text(in, a, b); }

#else

namespace {

// The vector forms go through the bytes in strides of 64, four vectors of 16
// bytes whose results are joined before they are looked at. What is left at
// the end, too short for a stride, is left to the plain forms.
constexpr std::size_t kStride = 64;
constexpr std::size_t kVector = 16;

std::size_t shifted(std::size_t pos, std::size_t offset) { return pos == npos ? npos : pos + offset; }

// Bit k: the byte at `at + k` is a CR not followed by a line feed (reads 17 bytes).
__m128i changes_at(std::string_view bytes, std::size_t at, __m128i here) {
  const __m128i cr = _mm_cmpeq_epi8(here, _mm_set1_epi8('\r'));
  return _mm_andnot_si128(_mm_cmpeq_epi8(load_vector(bytes, at + 1), _mm_set1_epi8('\n')), cr);
}

// The leftmost occurrence of either text and, kChanges, the first change of
// the text mode, whichever comes first, in one pass. A text may start only
// where its first byte stands and its last byte at the right distance: only
// such places are compared in full. Without kChanges, change is npos; without
// kTexts (the texts empty), hit is.
template <bool kChanges, bool kTexts = true>
TextScan vector_scan(std::string_view bytes, std::string_view first, std::string_view second) {
  const auto byte = [](std::string_view text, std::size_t at) { return _mm_set1_epi8(kTexts ? text[at] : '\0'); };
  const __m128i first_head = byte(first, 0), first_tail = byte(first, first.size() - 1);
  const __m128i second_head = byte(second, 0), second_tail = byte(second, second.size() - 1);
  // A 0x1A ends the text: the C library finds it first; before it, only stray CRs are changes.
  if (const std::size_t end = kChanges ? bytes.find(kEndOfText) : npos; end != npos) {
    const TextScan before = vector_scan<kChanges, kTexts>(bytes.substr(0, end), first, second);
    return {std::min(before.change, end), before.hit};
  }
  const auto starts = [&](std::size_t at, __m128i here) {
    if constexpr (!kTexts) return _mm_setzero_si128();
    const __m128i first_ends = _mm_cmpeq_epi8(load_vector(bytes, at + first.size() - 1), first_tail);
    const __m128i second_ends = _mm_cmpeq_epi8(load_vector(bytes, at + second.size() - 1), second_tail);
    return _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(here, first_head), first_ends),
                        _mm_and_si128(_mm_cmpeq_epi8(here, second_head), second_ends));
  };
  const auto changes = [&](std::size_t at, __m128i here) {
    return kChanges ? changes_at(bytes, at, here) : _mm_setzero_si128();
  };
  // Each stride also reads past its end: the follower of its last byte and
  // the rest of a text that starts in it.
  const std::size_t reach = kStride - 1 + std::max({first.size(), second.size(), std::size_t{2}});
  std::size_t at = 0;
  for (; at + reach <= bytes.size(); at += kStride) {
    __m128i any = _mm_setzero_si128();
    for (std::size_t k = at; k < at + kStride; k += kVector) {
      const __m128i here = load_vector(bytes, k);
      any = _mm_or_si128(any, _mm_or_si128(changes(k, here), starts(k, here)));
    }
    if (_mm_movemask_epi8(any) == 0) continue;
    for (std::size_t k = at; k < at + kStride; k += kVector) {
      const __m128i here = load_vector(bytes, k);
      const auto change = static_cast<unsigned>(_mm_movemask_epi8(changes(k, here)));
      auto mask = static_cast<unsigned>(_mm_movemask_epi8(starts(k, here)));
      // A text cannot hold a change, so only one that starts before it counts.
      if (change != 0) mask &= (1u << std::countr_zero(change)) - 1;
      for (; mask != 0; mask &= mask - 1) {
        const std::string_view rest = bytes.substr(k + static_cast<std::size_t>(std::countr_zero(mask)));
        if (!rest.starts_with(first) && !rest.starts_with(second)) continue;
        const std::size_t hit = bytes.size() - rest.size();
        return {kChanges ? shifted(find_text_mode_change(bytes.substr(k)), k) : npos, hit};
      }
      if (change != 0) return {k + static_cast<std::size_t>(std::countr_zero(change)), npos};
    }
  }
  const TextScan rest = !kTexts  ? TextScan{plain_text_mode_change(bytes.substr(at)), npos}
                         : kChanges ? plain_scan_text(bytes.substr(at), first, second)
                                    : TextScan{npos, plain_find_either(bytes.substr(at), first, second)};
  return {shifted(rest.change, at), shifted(rest.hit, at)};
}

}  // namespace

std::size_t find_text_mode_change(std::string_view bytes) { return vector_scan<true, false>(bytes, {}, {}).change; }

std::size_t find_either(std::string_view haystack, std::string_view first, std::string_view second) {
  // One byte is found fastest by the C library, which has no set-up to pay.
  if (first.size() == 1 && second == first) return haystack.find(first.front());
  return vector_scan<false>(haystack, first, second).hit;
}

TextScan scan_text(std::string_view bytes, std::string_view first, std::string_view second) {
  return vector_scan<true>(bytes, first, second);
}

#endif  // __SSE2__

}  // namespace vokt
