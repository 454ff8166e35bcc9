// Problem files saved in UTF-8 or UTF-16, read as the code-page-932
// (Shift-JIS) text they stand for, by the system's converter (iconv(3);
// WideCharToMultiByte on Windows). Checked over every code point (Windows as
// Wine 8 maps them), the two differ only here: the C library gives ¢ £ ¥ ¬ —
// ‖ ‾ − 〜 the code-page-932 forms of look-alikes where Windows writes "?",
// and Windows gives U+0080 and U+F8F0 to U+F8F3 single bytes that the C
// library lacks. Those characters are replaced first, so both give the same
// bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vokt {

// True when `bytes` start with a UTF-16 byte-order mark (FF FE little-endian,
// FE FF big-endian).
bool has_utf16_mark(std::string_view bytes);

// Replaces `text`, UTF-16 after its byte-order mark (either order) or else
// UTF-8, by its code-page-932 form, in place, a piece at a time (no character
// grows). A leading byte-order mark goes; "?" stands for a character that
// code page 932 lacks, a byte of no UTF-8 character (RFC 3629), half a
// surrogate pair and an odd last byte. False when the system has no
// converter.
bool convert_to_cp932(std::string& text);

}  // namespace vokt
