// Helpers shared by the unit tests: readable Japanese converted to Shift-JIS
// and back, UTF-8 as the tool reads it, and scratch files that clean up after
// themselves.
#pragma once

#include <iconv.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

// The shared corpus of problem files lies beside the project checkout; where
// a clone stands alone, the tests that read it report themselves skipped.
#define VOKT_SKIP_WITHOUT_CORPUS(dir) \
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no problem-file corpus at " << (dir)

namespace vokt::test {

// `text` converted by iconv; nothing when it cannot be converted in full.
inline std::optional<std::string> iconv_text(const char* to, const char* from, std::string_view text) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("no converter to ") + to);
  std::string in(text), out(in.size() * 4 + 4, '\0');
  char* in_ptr = in.data();
  char* out_ptr = out.data();
  std::size_t in_left = in.size(), out_left = out.size();
  const std::size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) return std::nullopt;
  out.resize(out.size() - out_left);
  return out;
}

inline std::string sjis(std::string_view utf8) {
  if (auto text = iconv_text("CP932", "UTF-8", utf8)) return *text;
  throw std::runtime_error("text not convertible to CP932");
}

inline std::string from_sjis(std::string_view cp932) {
  if (auto text = iconv_text("UTF-8", "CP932", cp932)) return *text;
  throw std::runtime_error("text not convertible from CP932");
}

// UTF-8 text in code page 932 the plain way, one character at a time, each
// character that has no code-page-932 form (or bytes that are not UTF-8)
// becoming "?".
inline std::string cp932_as_read(std::string_view utf8) {
  std::map<std::string, std::string, std::less<>> known;
  std::string out;
  for (std::size_t at = 0; at < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const std::string_view character = utf8.substr(at, length);
    auto [entry, added] = known.try_emplace(std::string(character));
    if (added) entry->second = iconv_text("CP932", "UTF-8", character).value_or("?");
    out += entry->second;
    at += length;
  }
  return out;
}

// A fresh directory under the temporary directory, removed at the end.
class TempDir {
 public:
  TempDir() : path_(std::filesystem::temp_directory_path() / ("vokt_test_" + std::to_string(std::random_device{}()))) {
    std::filesystem::create_directories(path_);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  // Writes `bytes` unchanged into the file `name` and returns its path.
  std::string file(const std::string& name, std::string_view bytes) const {
    std::ofstream(path(name), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path(name);
  }
  std::string path(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace vokt::test
