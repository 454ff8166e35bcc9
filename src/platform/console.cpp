#include "platform/console.h"

#include <cstdio>
#include <cstring>

#include "platform/os.h"

namespace vokt {

std::string directory_of(std::string_view path) {
  const std::size_t last = path.find_last_of(kPathSeparators);
  if (last == std::string_view::npos) return ".";
  return std::string(path.substr(0, last == 0 ? 1 : last));  // a file in the root keeps its "/"
}

std::string join_path(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (path.empty() || kPathSeparators.find(path.back()) == std::string_view::npos) path += kPathSeparators.front();
  path += name;
  return path;
}

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
