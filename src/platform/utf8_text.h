// Text saved in UTF-8 or UTF-16, as today's editors save problem files, read
// as the code-page-932 (Shift-JIS) text it stands for. The conversion is the
// system's own (Cp932Converter): iconv(3) in the C library, WideCharToMultiByte
// on Windows. Checked over every code point (Windows as Wine 8 maps them),
// the two agree on all but these: the C library gives ¢ £ ¥ ¬ — ‖ ‾ − 〜
// (U+00A2, U+00A3, U+00A5, U+00AC, U+2014, U+2016, U+203E, U+2212, U+301C)
// the code-page-932 forms of look-alike characters where Windows writes "?",
// and Windows gives U+0080 and U+F8F0 to U+F8F3 the single bytes 80, A0, FD,
// FE and FF, which the C library lacks. So that both give the same bytes,
// those characters are first replaced here (see convert_to_cp932).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vokt {

inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// True when `bytes` start with a UTF-16 byte-order mark (FF FE little-endian,
// FE FF big-endian).
bool has_utf16_mark(std::string_view bytes);

// Replaces `text`, UTF-16 that starts with its byte-order mark (either byte
// order) or else UTF-8, by its code-page-932 form. A byte-order mark at the
// start is not part of the text; a character that code page 932 lacks
// becomes "?", and so does each byte that is not part of a UTF-8 character
// (RFC 3629), a unit that is half a surrogate pair, and an odd last byte.
// No character takes more bytes in code page 932, so the text is converted
// in its place, a piece at a time. False, and `text` unchanged, when the
// system has no converter.
bool convert_to_cp932(std::string& text);

}  // namespace vokt
