// Problem files that today's editors save in UTF-8, read as the code-page-932
// (Shift-JIS) text they stand for. The conversion is the platform's own:
// iconv(3) from UTF-8 to CP932 in the C library, MultiByteToWideChar and
// WideCharToMultiByte(932) on Windows. Both map every character of a diagram
// alike, and a character that code page 932 lacks becomes "?" in both. They
// differ on a few others, checked over every code point (Windows as Wine 8
// maps them): the C library gives ¢ £ ¥ ¬ — ‖ ‾ − 〜 (U+00A2, U+00A3, U+00A5,
// U+00AC, U+2014, U+2016, U+203E, U+2212, U+301C) the code-page-932 forms of
// look-alike characters where Windows writes "?", and Windows gives U+0080
// and U+F8F0 to U+F8F3 the single bytes 80, A0, FD, FE and FF, which the C
// library lacks.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vokt {

// The UTF-8 form of code-page-932 text; empty when the platform cannot
// convert it.
std::string utf8_form(std::string_view cp932_text);

// Reads `file` from its current position to its end and tells whether all of
// it is valid UTF-8 (RFC 3629) and it holds the UTF-8 form of `cp932_text`.
// CR bytes are left out of that search, as text mode drops them. Stops at the
// first byte that is not UTF-8.
bool is_utf8_holding(std::FILE* file, std::string_view cp932_text);
// The same for `text` held in memory.
bool is_utf8_holding(std::string_view text, std::string_view cp932_text);

// Reads a UTF-8 file, from its current position, as code page 932: a
// byte-order mark at its start is not part of the text, and a character that
// code page 932 lacks becomes "?". The file stays open; whoever opened it
// closes it. No character takes more bytes in code page 932 than in UTF-8, so
// the text is never longer than the file.
class Cp932Reader {
 public:
  Cp932Reader();
  Cp932Reader(const Cp932Reader&) = delete;
  Cp932Reader& operator=(const Cp932Reader&) = delete;
  ~Cp932Reader();

  // Starts reading `file`, or the bytes `text` (which must outlive the
  // reading). Returns false with errno set when the platform has no converter.
  bool start(std::FILE* file);
  bool start(std::string_view text);

  // Stores the next bytes of the text in `out` (at most `size`) and returns
  // how many; 0 at the end of the file.
  std::size_t read(char* out, std::size_t size);

 private:
  struct Converter;

  // Makes the platform's converter; false with errno set when it has none.
  bool start_converter();
  // Passes over a byte-order mark at the start of the text.
  void skip_byte_order_mark();
  // Reads more of the file after the bytes not yet converted.
  void fill();
  // Converts the `length` bytes from `begin_` on into `out`, which has room
  // for `room` bytes, and moves `begin_` past them; returns the bytes written.
  std::size_t convert(std::size_t length, char* out, std::size_t room);

  std::FILE* file_ = nullptr;
  std::unique_ptr<Converter> converter_;
  std::vector<char> raw_;
  std::size_t begin_ = 0;  // the first byte read and not yet converted
  std::size_t end_ = 0;    // the end of the bytes read
  bool at_end_ = false;
};

}  // namespace vokt
