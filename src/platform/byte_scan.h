// The byte scans: short texts in large blocks, the bytes that the text mode
// changes, and a few bytes in a line. Where the compiler's target has SSE2
// (every x86-64, and the 32-bit Windows build, which is compiled for it) they
// compare 16 bytes at a time; elsewhere they are the plain forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vokt {

inline constexpr char kEndOfText = 0x1A;  // the byte that ends a text in text mode

// Position of the first byte of `bytes` that the text mode's reading changes,
// other than a CR directly followed by an LF: a 0x1A byte, or a CR not
// followed by an LF inside `bytes` (so a CR as the last byte counts).
// npos when there is none.
std::size_t find_text_mode_change(std::string_view bytes);

// Position of the leftmost occurrence of `first` or of `second` in
// `haystack`, npos when neither occurs. Both texts are non-empty; pass the
// same text twice to look for one.
std::size_t find_either(std::string_view haystack, std::string_view first, std::string_view second);

// Both of the above in one pass over `bytes`: the first change of the text
// mode, and the leftmost occurrence of either text before it (no text holds a
// change: an occurrence before the change ends before it too).
struct TextScan {
  std::size_t change;
  std::size_t hit;
};
TextScan scan_text(std::string_view bytes, std::string_view first, std::string_view second);

// The plain forms, which the vector forms must agree with.
std::size_t plain_text_mode_change(std::string_view bytes);
std::size_t plain_find_either(std::string_view haystack, std::string_view first, std::string_view second);
TextScan plain_scan_text(std::string_view bytes, std::string_view first, std::string_view second);
std::uint32_t plain_byte_marks(std::string_view bytes, char a, char b, char c);

#ifdef __SSE2__
// The 16 bytes of `bytes` from `at` on, which must be there.
inline __m128i load_vector(std::string_view bytes, std::size_t at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + at));
}
#endif

// The places of three bytes among the first 32 of `bytes`: bit k is set when
// byte k is `a`, `b` or `c`. Inline: the walks over a line call it often.
inline std::uint32_t byte_marks(std::string_view bytes, char a, char b, char c) {
#ifdef __SSE2__
  if (bytes.size() >= 16) {
    const auto marks_at = [&](std::size_t at) {
      const __m128i here = load_vector(bytes, at);
      const auto is = [&](char byte) { return _mm_cmpeq_epi8(here, _mm_set1_epi8(byte)); };
      return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(is(a), is(b)), is(c))));
    };
    // Two vectors, the second one ending at byte 32 or at the end of shorter
    // bytes, where it overlaps the first.
    const std::size_t second = bytes.size() < 32 ? bytes.size() - 16 : 16;
    return marks_at(0) | marks_at(second) << second;
  }
#endif
  return plain_byte_marks(bytes, a, b, c);
}

}  // namespace vokt
