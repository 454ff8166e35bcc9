// Random files that exercise the text mode and the 1023-byte pieces, and the
// plain reading of them that the tool's fast paths must agree with.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace vokt::test {

// The pieces of a file as the text mode and a line read with a 1024-byte
// buffer give them, worked out in the plainest way: drop every CR, stop at the
// first 0x1A, then cut after every line feed and after 1023 bytes of a line.
inline std::vector<std::string> reference_pieces(std::string_view raw) {
  std::string text;
  for (const char c : raw) {
    if (c == '\x1A') break;
    if (c != '\r') text += c;
  }
  std::vector<std::string> pieces;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t lf = text.find('\n', at);
    const std::size_t line_end = lf == std::string::npos ? text.size() : lf + 1;
    const std::size_t length = std::min<std::size_t>(line_end - at, 1023);
    pieces.push_back(text.substr(at, length));
    at += length;
  }
  return pieces;
}

// Files of lines of every length (a few far longer than a piece, now and then
// one longer than the reader's block), with CR LF, bare LF, CR CR LF and lone
// CR, NUL bytes, sometimes a 0x1A, and given texts planted in the lines: at
// random, near the 1023-byte piece boundaries of long lines, split by a CR,
// behind a NUL.
class NastyText {
 public:
  // Every third seed plants its texts in few lines, far apart. Stray CRs
  // (and 0x1A) make the reader translate whole blocks, so some seeds have
  // none, some have a few, and the others many.
  explicit NastyText(std::uint64_t seed)
      : rng_(seed), sparse_(seed % 3 == 0), stray_cr_odds_(seed % 4 == 1 ? 0 : seed % 4 == 2 ? 3000 : 4) {}

  std::size_t below(std::size_t n) { return static_cast<std::size_t>(rng_() % n); }
  bool one_in(std::size_t n) { return below(n) == 0; }

  std::string filler(std::size_t length) {
    static constexpr std::string_view kBytes = "  abcdefxyz0123456789<>&;#/\x82\x58\x8B\xCA\x97\xB3|+-";
    std::string text(length, ' ');
    for (auto& c : text) c = kBytes[below(kBytes.size())];
    return text;
  }

  std::string file(const std::vector<std::string>& texts, std::size_t lines) {
    std::string raw;
    for (std::size_t i = 0; i < lines; ++i) raw += line(texts);
    if (stray_cr_odds_ != 0 && one_in(4)) raw.insert(raw.size() - std::min(raw.size(), below(2000)), 1, '\x1A');
    if (one_in(3)) raw += texts.empty() ? "end" : texts[below(texts.size())];  // no line end
    return raw;
  }

 private:
  std::string line(const std::vector<std::string>& texts) {
    std::string text;
    switch (below(10)) {
      case 0:
        text = filler(1000 + below(4000));
        break;
      case 2:  // about one piece long, so that the line end decides
        text = filler(1019 + below(8));
        break;
      case 1:
        if (one_in(40)) {
          text = filler(130 * 1024 + below(200 * 1024));
          break;
        }
        [[fallthrough]];
      default:
        text = filler(below(200));
        break;
    }
    const std::size_t plants = texts.empty() || (sparse_ && !one_in(150)) ? 0 : below(4);
    for (std::size_t k = 0; k < plants; ++k) plant(text, texts[below(texts.size())]);
    if (stray_cr()) text.insert(below(text.size() + 1), 1, '\r');
    if (one_in(8)) text.insert(below(text.size() + 1), 1, '\0');
    if (one_in(8)) return text + "\n";
    if (stray_cr()) return text + (one_in(2) ? "\r" : "\r\r\n");
    return text + "\r\n";
  }

  bool stray_cr() { return stray_cr_odds_ != 0 && one_in(stray_cr_odds_); }

  void plant(std::string& text, std::string piece_of_text) {
    if (piece_of_text.size() > 1 && stray_cr()) piece_of_text.insert(1 + below(piece_of_text.size() - 1), 1, '\r');
    if (one_in(8)) piece_of_text.insert(0, 1, '\0');
    std::size_t at = below(text.size() + 1);
    if (text.size() > 1100 && !one_in(3)) {
      // Near a piece boundary: before it, across it, or just after it.
      const std::size_t boundary = 1023 * (1 + below(text.size() / 1023));
      const std::size_t back = below(piece_of_text.size() + 4);
      at = std::min(text.size(), boundary + 2 > back ? boundary + 2 - back : 0);
    }
    text.insert(at, piece_of_text);
  }

  std::mt19937_64 rng_;
  bool sparse_;
  std::size_t stray_cr_odds_;
};

}  // namespace vokt::test
