#include "report/utf8_text.h"

#include <utility>

#include "digest/position_forms.h"
#include "platform/os.h"

namespace vokt {

namespace {

// The UTF-8 handed to the converter at a time.
constexpr std::size_t kPieceSize = 64 * 1024;

// Characters that the two systems' converters treat differently, each with
// the look-alike that both convert alike; 0 where "?" is all both can give.
constexpr std::pair<char32_t, char32_t> kLookAlikes[] = {
    {0x0080, 0},                                     // a C1 control
    {0x00A2, 0xFFE0}, {0x00A3, 0xFFE1},              // ¢ as ￠, £ as ￡
    {0x00A5, 0},                                     // ¥
    {0x00AC, 0xFFE2},                                // ¬ as ￢
    {0x2014, 0x2015}, {0x2016, 0x2225},              // — as ―, ‖ as ∥
    {0x203E, 0},                                     // ‾
    {0x2212, 0xFF0D}, {0x301C, 0xFF5E},              // − as －, 〜 as ～
    {0xF8F0, 0}, {0xF8F1, 0}, {0xF8F2, 0}, {0xF8F3, 0},  // private use
};

// The length of the UTF-8 character (RFC 3629: in its shortest form, no
// surrogate half, nothing beyond U+10FFFF) at the start of `bytes`; 0 when
// they start none.
std::size_t character_length(std::string_view bytes) {
  const auto lead = static_cast<unsigned char>(bytes.front());
  if (lead < 0x80) return 1;
  if (lead < 0xC2 || lead > 0xF4) return 0;  // a continuation byte, or a lead of no valid form
  const std::size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (bytes.size() < length) return 0;
  const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

// The character of the UTF-8 `text` at `at`, which moves past it; "?" for a
// byte that is not part of a character, which alone is passed.
char32_t next_of_utf8(std::string_view text, std::size_t& at) {
  const std::size_t length = character_length(text.substr(at));
  const auto byte = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(text[at + i])); };
  char32_t code = kNoCp932Form;
  if (length == 1) code = byte(0);
  if (length == 2) code = (byte(0) & 0x1F) << 6 | (byte(1) & 0x3F);
  if (length == 3) code = (byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
  if (length == 4) code = 0x10000;  // beyond the Basic Multilingual Plane: which one does not matter
  at += length == 0 ? 1 : length;
  return code;
}

// The character of the UTF-16 `text` at `at`, which moves past it; "?" for
// a unit that is half a surrogate pair and for an odd last byte.
char32_t next_of_utf16(std::string_view text, bool little_endian, std::size_t& at) {
  const auto unit_at = [&](std::size_t i) -> char32_t {
    const auto first = static_cast<unsigned char>(text[i]), second = static_cast<unsigned char>(text[i + 1]);
    return little_endian ? second << 8 | first : first << 8 | second;
  };
  if (at + 1 >= text.size()) {
    at = text.size();
    return kNoCp932Form;
  }
  const char32_t unit = unit_at(at);
  at += 2;
  if (unit < 0xD800 || unit > 0xDFFF) return unit;
  if (unit <= 0xDBFF && at + 1 < text.size() && unit_at(at) >= 0xDC00 && unit_at(at) <= 0xDFFF) {
    at += 2;
    return 0x10000;  // a pair: beyond the Basic Multilingual Plane
  }
  return kNoCp932Form;
}

// The code point that both systems' converters turn into the same bytes as
// the one `code` stands for on one of them: the full-width look-alike that
// both map alike (U+301C 〜 as U+FF5E ～, both 81 60), or "?" where there is
// none, as for everything beyond the Basic Multilingual Plane, which code
// page 932 lacks.
char32_t same_on_both_systems(char32_t code) {
  if (code < 0x80) return code;
  if (code > 0xFFFF) return kNoCp932Form;
  for (const auto& [from, to] : kLookAlikes) {
    if (code == from) return to != 0 ? to : kNoCp932Form;
  }
  return code;
}

// Appends a character of the Basic Multilingual Plane in UTF-8.
void append_utf8(char32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

bool has_utf16_mark(std::string_view bytes) {
  return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
}

bool convert_to_cp932(std::string& text) {
  const bool utf16 = has_utf16_mark(text);
  const bool little_endian = text.starts_with("\xFF\xFE");
  std::size_t at = utf16 ? 2 : text.starts_with(kUtf8ByteOrderMark) ? kUtf8ByteOrderMark.size() : 0;
  // The converted text ends at `end`, which never passes `at`: no character
  // is longer in code page 932 than it was.
  std::size_t end = 0;
  std::string piece, converted;
  while (at < text.size()) {
    piece.clear();
    while (at < text.size() && piece.size() < kPieceSize) {
      append_utf8(same_on_both_systems(utf16 ? next_of_utf16(text, little_endian, at) : next_of_utf8(text, at)), piece);
    }
    converted.clear();
    if (!append_cp932(piece, converted)) return false;
    text.replace(end, converted.size(), converted);
    end += converted.size();
  }
  text.resize(end);
  return true;
}

}  // namespace vokt
