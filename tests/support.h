// Helpers shared by the unit, end-to-end and fuzz tests: readable Japanese
// converted to Shift-JIS and back, UTF-8 as the tool reads it, whole files and
// scratch files, CR LF, the worked diagram with its known digests, and the
// rows and records of an export.
#pragma once

#include <iconv.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

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

// The characters that the systems' converters map differently (Linux's
// iconv gives look-alikes where Windows writes "?", and the other way round),
// with the bytes that both builds of the tool give for them: the look-alike
// that both map alike, or "?".
using Difference = std::pair<std::string_view, std::string_view>;  // a character in UTF-8, what both builds give
inline constexpr Difference kConverterDifferences[] = {
    {"\u301C", "\x81\x60"},  // 〜 as ～
    {"\u2016", "\x81\x61"},  // ‖ as ∥
    {"\u2212", "\x81\x7C"},  // − as －
    {"\u00A2", "\x81\x91"},  // ¢ as ￠
    {"\u00A3", "\x81\x92"},  // £ as ￡
    {"\u00AC", "\x81\xCA"},  // ¬ as ￢
    {"\u2014", "\x81\x5C"},  // — as ―
    {"\u00A5", "?"},         // ¥
    {"\u203E", "?"},         // ‾
    {"\u0080", "?"},
    {"\uF8F0", "?"}, {"\uF8F1", "?"}, {"\uF8F2", "?"}, {"\uF8F3", "?"}};

// UTF-8 text in code page 932 the plain way, one character at a time, each
// character that has no code-page-932 form becoming "?", and so each byte
// that the C library does not take as (part of) a UTF-8 character; the
// characters above as both builds give them.
inline std::string cp932_as_read(std::string_view utf8) {
  std::map<std::string, std::string, std::less<>> known;
  std::string out;
  for (std::size_t at = 0; at < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const std::string_view character = utf8.substr(at, length);
    auto [entry, added] = known.try_emplace(std::string(character));
    if (added) {
      const auto* differing = std::ranges::find(kConverterDifferences, character, &Difference::first);
      const bool is_utf8 = iconv_text("UTF-16LE", "UTF-8", character).has_value();
      entry->second = differing != std::end(kConverterDifferences) ? std::string(differing->second)
                      : is_utf8 ? iconv_text("CP932", "UTF-8", character).value_or("?")
                                : "";
    }
    out += entry->second.empty() ? "?" : entry->second;
    at += entry->second.empty() ? 1 : length;
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
  std::string file(const std::string& name, std::string_view bytes) const;
  std::string path(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

inline std::string TempDir::file(const std::string& name, std::string_view bytes) const {
  write_file(path(name), bytes);
  return path(name);
}

// Every LF preceded by CR, as the tool writes text.
inline std::string crlf(std::string_view text) {
  std::string out;
  for (const char c : text) (c == '\n' ? out += "\r\n" : out += c);
  return out;
}

// A board as nine ranks of nine 4-byte UTF-8 cells (side mark, piece).
using Board = std::array<std::string, 9>;
inline Board empty_board() {
  Board board;
  board.fill(" ・ ・ ・ ・ ・ ・ ・ ・ ・");
  return board;
}
inline void put(Board& board, int rank, int column, std::string_view cell) {  // column 0 is the ninth file
  board[rank].replace(column * 4, 4, cell);
}
inline Board mirror(Board board) {
  for (std::string& rank : board) {
    std::string out;
    for (int c = 8; c >= 0; --c) out += rank.substr(c * 4, 4);
    rank = out;
  }
  return board;
}
// The thirteen lines from the board header line to the hand line, in UTF-8.
inline std::string diagram(const Board& board, std::string_view hand = "先手の持駒：飛　角") {
  static constexpr const char* kRanks[] = {"一", "二", "三", "四", "五", "六", "七", "八", "九"};
  std::string text = "  ９ ８ ７ ６ ５ ４ ３ ２ １\n+---------------------------+\n";
  for (int r = 0; r < 9; ++r) text += "|" + board[r] + "|" + kRanks[r] + "\n";
  return text + "+---------------------------+\n" + std::string(hand) + "\n";
}
// A one-move mate: the second player's king on 2一, a gold on 2三, 王 on 1九.
inline Board worked_board() {
  Board board = empty_board();
  put(board, 0, 7, "v玉");
  put(board, 2, 7, " 金");
  put(board, 8, 8, " 王");
  return board;
}
inline constexpr std::string_view kWorkedDirect = "b87da5c8ec2be054";
inline constexpr std::string_view kWorkedMirrored = "2c369db0e0897f14";
inline constexpr std::string_view kZero = "0000000000000000";

// A list page row and a data page record of an export. The identifier cell
// opens with 43 bytes of markup that the build skips unexamined.
inline constexpr std::string_view kIdMarkup = "<a name=\"x\"></a><img src=\"p.gif\" width=\"8\">";
using Fields = std::array<std::string, 4>;
inline std::string list_row(std::string_view id, const Fields& fields) {
  std::string row = "<tr><td>" + std::string(kIdMarkup) + std::string(id) + "</td>";
  for (const auto& field : fields) row += "<td nowrap>" + field + "</td>";
  return row + "</tr>\n";
}
inline std::string record(std::string_view id, std::string_view body, bool separator = true) {
  std::string text = "[";  // (+= throughout: GCC 12 at -O3 warns falsely on a + chain)
  text.append(id).append("]\n").append(body);
  if (separator) text.append("</pre><a name=\"").append(id).append("\"><hr></a><pre>\n");
  return text;
}

}  // namespace vokt::test
