#include "platform/console.h"

#include <cstdio>
#include <cstring>

#include "platform/os.h"

namespace vokt {

void report_file_error(std::string_view name, int error_number) {
  std::string message = shown_name(name);
  message += ": ";
  message += std::strerror(error_number);
  message += '\n';
  write_error(message);
}

constexpr std::size_t kQuotedBytes = 40;
std::string quoted(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto byte_at = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  std::string shown(1, '"');
  std::size_t at = 0;
  for (; at < text.size(); ++at) {
    // A Shift-JIS character is shown whole or not at all; a first byte
    // without its second is written as a control byte is, so that it cannot
    // take a byte of the message for its own.
    const bool lead = (byte_at(at) >= 0x81 && byte_at(at) <= 0x9F) || (byte_at(at) >= 0xE0 && byte_at(at) <= 0xFC);
    const bool pair = lead && at + 1 < text.size() && byte_at(at + 1) >= 0x40 && byte_at(at + 1) <= 0xFC &&
                      byte_at(at + 1) != 0x7F;
    if (at + (pair ? 2 : 1) > kQuotedBytes) break;
    if (pair) {
      shown.append(text.substr(at, 2));
      ++at;  // past the second byte
    } else if (lead || byte_at(at) < 0x20 || byte_at(at) == 0x7F) {
      shown.append("\\x").append(1, kHex[byte_at(at) >> 4]).append(1, kHex[byte_at(at) & 0xF]);
    } else {
      shown += text[at];
    }
  }
  if (at < text.size()) shown += "...";
  return shown + '"';
}

void write_error(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

void write_output(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace vokt
