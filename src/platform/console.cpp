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
  std::string shown(1, '"');
  for (const char c : text.substr(0, kQuotedBytes)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      shown.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 0xF]);
    } else {
      shown += c;
    }
  }
  if (text.size() > kQuotedBytes) shown += "...";
  return shown + '"';
}

void write_error(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

void write_output(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace vokt
