// Fast byte scanning for the text-file layer: finding short texts in large
// blocks and finding the bytes that the text mode changes. Each function has
// a plain implementation and, where the machine has them, vector ones; the
// fastest available is chosen once, at the first call.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace vokt {

// Position of the first byte of `bytes` that the text mode's reading changes,
// other than a CR directly followed by an LF: a 0x1A byte, or a CR not
// followed by an LF inside `bytes` (so a CR as the last byte counts).
// npos when there is none.
std::size_t find_text_mode_change(std::string_view bytes);

// Position of the leftmost occurrence of `first` or of `second` in
// `haystack`, npos when neither occurs. Both texts are non-empty; pass the
// same text twice to look for one.
std::size_t find_either(std::string_view haystack, std::string_view first, std::string_view second);

inline std::size_t find_text(std::string_view haystack, std::string_view text) {
  return find_either(haystack, text, text);
}

// The implementations available on this machine, the plain one first, so
// that tests can hold each of them against the plain one.
struct ByteScanner {
  const char* name;
  std::size_t (*find_text_mode_change)(std::string_view bytes);
  std::size_t (*find_either)(std::string_view haystack, std::string_view first, std::string_view second);
};
std::vector<ByteScanner> byte_scanners();

}  // namespace vokt
