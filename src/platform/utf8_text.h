// Problem files that today's editors save in UTF-8 (or UTF-16), read as the
// code-page-932 (Shift-JIS) text they stand for. The conversion is the system's own
// (append_cp932): iconv(3) from UTF-8 to CP932 in the C library,
// MultiByteToWideChar and WideCharToMultiByte(932) on Windows. Both map every
// character of a diagram alike, and a character that code page 932 lacks
// becomes "?" in both. They differ on a few others, checked over every code
// point (Windows as Wine 8 maps them): the C library gives ¢ £ ¥ ¬ — ‖ ‾ − 〜
// (U+00A2, U+00A3, U+00A5, U+00AC, U+2014, U+2016, U+203E, U+2212, U+301C)
// the code-page-932 forms of look-alike characters where Windows writes "?",
// and Windows gives U+0080 and U+F8F0 to U+F8F3 the single bytes 80, A0, FD,
// FE and FF, which the C library lacks.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vokt {

class ByteSource;

inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// True when `bytes` start with a UTF-16 byte-order mark (FF FE little-endian,
// FE FF big-endian).
bool has_utf16_mark(std::string_view bytes);

// What a character without a code-page-932 form becomes: the default
// character of the Windows converter.
inline constexpr char kNoCp932Form = '?';

// The length of the UTF-8 sequence that `lead` starts; 1 for a byte that
// starts none.
std::size_t utf8_sequence_length(unsigned char lead);

// Reads `source` and tells whether it holds `utf8_marker` and not
// `cp932_marker`: a text written in UTF-8, even where a few of its bytes are
// not UTF-8. CR bytes are left out of that search, as text mode drops them.
// Stops where `cp932_marker` is found.
bool is_utf8_holding(ByteSource& source, std::string_view utf8_marker, std::string_view cp932_marker);

// The UTF-8 form of UTF-16 text that starts with its byte-order mark (FF FE
// little-endian, FE FF big-endian), the mark included; a unit that is half
// a surrogate pair, and an odd last byte, become "?". Nothing when `bytes`
// do not start with such a mark.
std::optional<std::string> utf8_from_utf16(std::string_view bytes);

// Reads UTF-8 from a byte source as code page 932: a byte-order mark at its
// start is not part of the text, a character that code page 932 lacks
// becomes "?", and so does each byte that is not part of a UTF-8 character
// (RFC 3629). No character takes more bytes in code page 932 than in UTF-8,
// so the text is never longer than its source.
class Cp932Reader {
 public:
  // Starts reading `source`, which must outlive the reading. Returns the
  // error number when the system has no converter.
  int start(ByteSource& source);

  // Stores the next bytes of the text in `out` (at most `size`) and returns
  // how many; 0 at the end.
  std::size_t read(char* out, std::size_t size);

 private:
  // Reads more of the source after the bytes not yet converted.
  void fill();

  ByteSource* source_ = nullptr;
  std::vector<char> raw_;
  std::string valid_;  // the bytes to convert, each that is not UTF-8 as "?"
  std::string converted_;
  std::size_t begin_ = 0;  // the first byte read and not yet converted
  std::size_t end_ = 0;    // the end of the bytes read
  bool at_end_ = false;
};

}  // namespace vokt
