// replace_all with an arbitrary line, pattern and replacement.
//
// The input is split as: one byte giving the pattern length (0 to 15), one
// byte giving the replacement length (0 to 15), the pattern, the replacement,
// and the rest as the line.
//
// Where a byte value that does not occur in the line exists, it serves as a
// marker: replacing the pattern with the marker finds the occurrences, and
// - putting the pattern back in place of every marker restores the line;
// - putting the replacement in place of every marker gives what replace_all
//   gives with the replacement directly (the occurrences found do not depend
//   on the replacement, which is never rescanned).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "digest/digest.h"
#include "fuzz_support.h"

namespace {

// Every marker byte in `text` replaced by `with`, byte by byte.
std::string expand_marker(std::string_view text, char marker, std::string_view with) {
  std::string out;
  for (const char byte : text) {
    if (byte == marker) {
      out += with;
    } else {
      out += byte;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vokt::fuzz::quiet_console();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t pattern_length = std::min<std::size_t>(data[0] % 16, size - 2);
  const std::size_t replacement_length = std::min<std::size_t>(data[1] % 16, size - 2 - pattern_length);
  input.remove_prefix(2);
  const std::string pattern(input.substr(0, pattern_length));
  input.remove_prefix(pattern_length);
  const std::string replacement(input.substr(0, replacement_length));
  input.remove_prefix(replacement_length);
  const std::string line(input);

  std::string replaced = line;
  vokt::replace_all(replaced, pattern, replacement);
  if (pattern.empty() || pattern == replacement || line.find(pattern) == std::string::npos) {
    VOKT_FUZZ_CHECK(replaced == line, "a line without a change stays as it was");
  }
  if (pattern.empty()) return 0;

  bool present[256] = {};
  for (const char byte : line) present[static_cast<unsigned char>(byte)] = true;
  const auto free_byte = std::find(std::begin(present), std::end(present), false);
  if (free_byte == std::end(present)) return 0;
  const char marker = static_cast<char>(free_byte - std::begin(present));

  std::string marked = line;
  vokt::replace_all(marked, pattern, std::string(1, marker));
  const auto occurrences = static_cast<std::size_t>(std::count(marked.begin(), marked.end(), marker));
  VOKT_FUZZ_CHECK(marked.size() == line.size() - occurrences * (pattern.size() - 1), "length after marking");
  VOKT_FUZZ_CHECK(expand_marker(marked, marker, pattern) == line, "the pattern put back restores the line");
  VOKT_FUZZ_CHECK(expand_marker(marked, marker, replacement) == replaced, "replacement independent of its text");

  std::string unmarked = marked;
  vokt::replace_all(unmarked, std::string(1, marker), pattern);
  VOKT_FUZZ_CHECK(unmarked == line, "replacing the marker with the pattern restores the line");
  return 0;
}
