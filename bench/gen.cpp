// Generates the data of the benchmark and of the before/after output check:
// a problem file, digest files and export sets, written byte for byte as the
// tool and the database's search tool write them (CR LF line ends).
//
//   vokt_bench_gen problem FILE
//   vokt_bench_gen symmetric-problem FILE
//   vokt_bench_gen digest-file N PROBLEM FILE       prints "DIRECT MIRRORED"
//   vokt_bench_gen export N DIR
//   vokt_bench_gen nasty-digest-file SEED PROBLEM FILE
//   vokt_bench_gen nasty-export SEED DIR
//
// The output depends only on the arguments: the random numbers come from a
// fixed generator, not from the standard library's distributions.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bench_text.h"
#include "digest/digest.h"
#include "platform/text_file.h"
#include "report/report.h"

namespace {

namespace bt = vokt::bench_text;

class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {  // splitmix64
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
  std::size_t between(std::size_t low, std::size_t high) { return low + below(high - low + 1); }
  bool percent(unsigned p) { return below(100) < p; }
  template <typename T, std::size_t N>
  const T& pick(const T (&items)[N]) {
    return items[below(N)];
  }

 private:
  std::uint64_t state_;
};

// A file written as raw bytes through a large buffer.
class RawFile {
 public:
  explicit RawFile(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {
    if (!file_) throw std::runtime_error("cannot create " + path);
    buffer_.reserve(kFlushSize + 4096);
  }
  void put(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= kFlushSize) flush();
  }
  void line(std::string_view text) {
    put(text);
    put("\r\n");
  }
  void close() {
    flush();
    if (std::fclose(file_.release()) != 0) throw std::runtime_error("cannot write " + path_);
  }

 private:
  static constexpr std::size_t kFlushSize = 1 << 20;
  void flush() {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_.get()) != buffer_.size()) {
      throw std::runtime_error("cannot write " + path_);
    }
    buffer_.clear();
  }
  std::string path_;
  vokt::FileHandle file_;
  std::string buffer_;
};

std::string number(std::size_t value, int width = 0) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*zu", width, value);
  return text;
}

// Five characters, as the data page's record headers "[xxxxx]" need:
// decimal up to 99999, then a letter and four digits (the identifiers repeat
// after 360000 records, which the tool never notices: it does not compare
// them).
std::string identifier(std::size_t index) {
  if (index < 100000) return number(index, 5);
  const std::size_t rest = index - 100000;
  return std::string(1, static_cast<char>('A' + (rest / 10000) % 26)) + number(rest % 10000, 4);
}

// The four descriptive fields of one record, about 100 bytes together, with
// spaces, tags and character references as the list page holds them.
struct Fields {
  std::string text[4];
};

Fields make_fields(Rng& rng, std::size_t index, bool space_in_first) {
  Fields f;
  const std::string id = identifier(index);
  f.text[0] = std::string(rng.pick(bt::kSurnames)) + std::string(rng.pick(bt::kGivenNames)) +
              (space_in_first ? " " : "") + std::string(bt::kDai) + number(rng.between(1, 300)) +
              std::string(bt::kBan);
  f.text[1] = "<i>" + std::string(rng.pick(bt::kSources)) + "</i> " + number(rng.between(1950, 2025)) +
              "&#24180;" + number(rng.between(1, 12)) + std::string(bt::kGou);
  f.text[2] = number(rng.between(1, 61) | 1) + std::string(bt::kTe) + " &lt;" + std::string(rng.pick(bt::kNotes)) +
              "&gt;";
  f.text[3] = "<a href=\"mirzdata.htm#" + id + "\">&#x25B2;</a> " + number(rng.between(1950, 2025)) + "&#47;" +
              number(rng.between(1, 12), 2) + "&#47;" + number(rng.between(1, 28), 2);
  return f;
}

std::string digest_line_text(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

std::string record_line(std::string_view digest, const Fields& f) {
  std::string line(digest);
  for (const auto& field : f.text) {
    line += ' ';
    line += field;
  }
  return line;
}

// A random diagram block of thirteen lines (board header line included),
// written as a problem collection writes it.
std::vector<std::string> make_diagram(Rng& rng) {
  std::vector<std::string> lines;
  lines.emplace_back(bt::kBoardHeader);
  lines.emplace_back(bt::kBar);
  const std::size_t gote_king = rng.below(27);  // somewhere in the top three ranks
  const std::size_t sente_king = rng.percent(50) ? 54 + rng.below(27) : 81;
  for (std::size_t rank = 0; rank < 9; ++rank) {
    std::string line = "|";
    for (std::size_t file = 0; file < 9; ++file) {
      const std::size_t cell = rank * 9 + file;
      if (cell == gote_king) {
        line += "v";
        line += rng.percent(80) ? bt::kKingGyoku : bt::kKingOu;
      } else if (cell == sente_king) {
        line += " ";
        line += rng.percent(50) ? bt::kKingOu : bt::kKingGyoku;
      } else if (rng.percent(12)) {
        line += rng.percent(50) ? "v" : " ";
        line += rng.pick(bt::kBoardPieces);
      } else {
        line += bt::kEmptyCell;
      }
    }
    line += "|";
    line += bt::kRankNumerals[rank];
    lines.push_back(line);
  }
  lines.emplace_back(bt::kBar);
  std::string hand(bt::kSenteHand);
  const std::size_t kinds = rng.below(4);
  if (kinds == 0) hand += bt::kNone;
  std::size_t first = rng.below(std::size(bt::kHandPieces));
  for (std::size_t k = 0; k < kinds; ++k) {
    if (k > 0) hand += bt::kIdeographicSpace;
    hand += bt::kHandPieces[(first + k) % std::size(bt::kHandPieces)];
    if (rng.percent(30)) hand += rng.pick(bt::kKanjiCounts);
  }
  lines.push_back(hand);
  return lines;
}

// ---------------------------------------------------------------------------
// The problem file: a one-move mate (the position of the tests'
// worked_board()), asymmetric, with two pieces in hand.

void write_problem(const std::string& path) {
  RawFile file(path);
  file.line("# bench problem");
  file.line(std::string(bt::kGoteHand) + std::string(bt::kRestOfPieces));
  file.line(bt::kBoardHeader);
  file.line(bt::kBar);
  for (std::size_t rank = 0; rank < 9; ++rank) {
    std::string line = "|";
    for (std::size_t cell = 0; cell < 9; ++cell) {
      if (rank == 0 && cell == 7) {
        line += std::string("v") + std::string(bt::kKingGyoku);
      } else if (rank == 2 && cell == 7) {
        line += std::string(" ") + std::string(bt::kHandPieces[2]);  // 金
      } else if (rank == 8 && cell == 8) {
        line += std::string(" ") + std::string(bt::kKingOu);
      } else {
        line += bt::kEmptyCell;
      }
    }
    file.line(line + "|" + std::string(bt::kRankNumerals[rank]));
  }
  file.line(bt::kBar);
  file.line(std::string(bt::kSenteHand) + std::string(bt::kHandPieces[0]) + std::string(bt::kIdeographicSpace) +
            std::string(bt::kHandPieces[1]));  // 飛　角
  file.line(std::string(bt::kMovesLabel) + "1");
  file.close();
}

// A position that is its own mirror image: direct and mirrored digests are
// equal.
void write_symmetric_problem(const std::string& path) {
  RawFile file(path);
  file.line(bt::kBoardHeader);
  file.line(bt::kBar);
  for (std::size_t rank = 0; rank < 9; ++rank) {
    std::string line = "|";
    for (std::size_t cell = 0; cell < 9; ++cell) {
      if (rank == 0 && cell == 4) {
        line += std::string("v") + std::string(bt::kKingGyoku);
      } else if (rank == 2 && (cell == 3 || cell == 5)) {
        line += std::string(" ") + std::string(bt::kHandPieces[3]);  // 銀
      } else {
        line += bt::kEmptyCell;
      }
    }
    file.line(line + "|" + std::string(bt::kRankNumerals[rank]));
  }
  file.line(bt::kBar);
  file.line(std::string(bt::kSenteHand) + std::string(bt::kHandPieces[2]));  // 金
  file.close();
}

struct ProblemDigests {
  std::string direct;
  std::string mirrored;
};

ProblemDigests problem_digests(const std::string& problem) {
  vokt::PositionDigest direct;
  vokt::PositionDigest mirrored;
  std::string text;
  if (vokt::read_problem_file(problem, text) != 0 || vokt::digest_problem_file(text, direct, mirrored) != 0) {
    throw std::runtime_error("no diagram in " + problem);
  }
  return {std::string(vokt::text_view(vokt::digest_text(direct))),
          std::string(vokt::text_view(vokt::digest_text(mirrored)))};
}

// ---------------------------------------------------------------------------
// A digest file of n records with a few planted matches of the problem, all
// among the last records: GNU grep stops at the first match when its output
// is /dev/null, and the yardstick is a scan of the whole file.

void write_digest_file(std::size_t n, const ProblemDigests& problem, const std::string& path) {
  Rng rng(0x766F6B74ULL + n);
  RawFile file(path);
  file.line("#" + std::string(bt::kProblemDatabase));
  file.line("#" + number(n) + std::string(bt::kRecordsUnit));
  if (n < 8) throw std::runtime_error("a digest file needs at least 8 records");
  const std::size_t direct_at[] = {n - 7, n - 3};
  const std::size_t mirrored_at[] = {n - 5, n - 2};
  for (std::size_t i = 0; i < n; ++i) {
    std::string digest;
    if (std::find(std::begin(direct_at), std::end(direct_at), i) != std::end(direct_at)) {
      digest = problem.direct;
    } else if (std::find(std::begin(mirrored_at), std::end(mirrored_at), i) != std::end(mirrored_at)) {
      digest = problem.mirrored;
    } else {
      digest = digest_line_text(rng.percent(20) ? 0 : rng.next());
    }
    file.line(record_line(digest, make_fields(rng, i, true)));
  }
  file.line("#" + identifier(n - 1));
  file.close();
}

// ---------------------------------------------------------------------------
// An export set of n records: header file, list page and data page.

// The 43 bytes after "<td>" that open the identifier cell.
std::string identifier_markup(const std::string& id) {
  std::string markup = "<a name=\"r" + id + "\"></a><font color=\"#000080\">";
  if (markup.size() != 43) throw std::logic_error("identifier markup must be 43 bytes");
  return markup;
}

std::string list_row(const std::string& id, const Fields& f) {
  std::string row = "<tr><td>" + identifier_markup(id) + id + "</td>";
  for (const auto& field : f.text) row += "<td nowrap>" + field + "</td>";
  return row + "</tr>";
}

void write_list_head(RawFile& list) {
  list.line("<html>");
  list.line("<head><title>" + std::string(bt::kProblemDatabase) + "</title></head>");
  list.line("<body>");
  list.line("<table border=\"1\" cellspacing=\"0\">");
  list.line("<tr class=\"head\"><td nowrap>No.</td><td nowrap>" + std::string(bt::kAuthorLabel) +
            "</td><td nowrap>" + std::string(bt::kSourceLabel) + "</td><td nowrap>" + std::string(bt::kTe) +
            "</td><td nowrap>&nbsp;</td></tr>");
}

void write_record(RawFile& data, Rng& rng, const std::string& id, const Fields& f, bool diagram) {
  data.line("<a name=\"" + id + "\"><hr></a>");
  data.line("[" + id + "]");
  data.line(std::string(bt::kAuthorLabel) + std::string(bt::kColon) + f.text[0]);
  data.line(std::string(bt::kSourceLabel) + std::string(bt::kColon) + f.text[1]);
  if (diagram) {
    data.line(std::string(bt::kGoteHand) + std::string(bt::kRestOfPieces));
    for (const auto& line : make_diagram(rng)) data.line(line);
  } else {
    data.line(bt::kNoDiagram);
  }
  data.line(std::string(bt::kMovesLabel) + f.text[2]);
  data.line("<br>");
}

void write_export(std::size_t n, const std::string& dir) {
  Rng rng(0x6D69727AULL + n);
  RawFile header(dir + "/mirzfile.txt");
  header.line("*" + std::string(bt::kProblemDatabase));
  header.line("*" + number(n) + std::string(bt::kRecordsUnit));
  header.line("*sort=1 key=");
  header.close();

  RawFile list(dir + "/mirzlist.htm");
  RawFile data(dir + "/mirzdata.htm");
  write_list_head(list);
  data.line("<html><head><title>" + std::string(bt::kProblemDatabase) + "</title></head><body><pre>");
  for (std::size_t i = 0; i < n; ++i) {
    const std::string id = identifier(i);
    const Fields f = make_fields(rng, i, rng.percent(95));
    list.line(list_row(id, f));
    write_record(data, rng, id, f, !rng.percent(20));
  }
  list.line("</table>");
  list.line("</body></html>");
  data.line("</pre></body></html>");
  list.close();
  data.close();
}

// ---------------------------------------------------------------------------
// Nasty inputs: everything the text mode and the 1023-byte pieces do to
// lines, for the before/after comparison of the outputs.

std::string filler(Rng& rng, std::size_t length) {
  std::string text;
  while (text.size() < length) {
    switch (rng.below(6)) {
      case 0: text += ' '; break;
      case 1: text += rng.pick(bt::kSurnames); break;
      case 2: text += "<b>x</b>"; break;
      case 3: text += "&amp;"; break;
      case 4: text += "0123456789abcdef"[rng.below(16)]; break;
      default: text += static_cast<char>('a' + rng.below(26)); break;
    }
  }
  text.resize(length);
  return text;
}

// Puts `needle` into `text` so that it starts `delta` bytes from a multiple of
// 1023 (a piece boundary of a long line); negative deltas straddle it.
void plant_near_boundary(Rng& rng, std::string& text, std::string_view needle, int delta) {
  const std::size_t boundaries = text.size() / 1023;
  if (boundaries == 0) return;
  const std::size_t at = 1023 * rng.between(1, boundaries);
  const std::size_t pos = static_cast<std::size_t>(static_cast<long>(at) + delta);
  if (pos + needle.size() <= text.size()) text.replace(pos, needle.size(), needle);
}

std::string line_end(Rng& rng) {
  switch (rng.below(10)) {
    case 0: return "\n";
    case 1: return "\r\r\n";
    case 2: return "\r\n\r";
    default: return "\r\n";
  }
}

std::string with_stray_crs(Rng& rng, std::string text, std::size_t count) {
  for (std::size_t k = 0; k < count && !text.empty(); ++k) text.insert(rng.below(text.size() + 1), 1, '\r');
  return text;
}

void write_nasty_digest_file(std::uint64_t seed, const ProblemDigests& problem, const std::string& path) {
  Rng rng(seed);
  RawFile file(path);
  const std::string d = problem.direct;
  const std::string m = problem.mirrored;
  if (seed % 2 == 1) {
    file.put("#" + filler(rng, 1500) + "\r\n");  // a header line in two pieces
  } else {
    file.line("#" + std::string(bt::kProblemDatabase));
  }
  file.line("#header two " + d);
  for (int i = 0; i < 6000; ++i) {
    const std::string& needle = rng.percent(50) ? d : m;
    std::string text;
    switch (rng.below(12)) {
      case 0:  // an ordinary record, sometimes a match
        text = record_line(rng.percent(30) ? needle : digest_line_text(rng.next()), make_fields(rng, i, true));
        break;
      case 1:  // a long line with a digest near a piece boundary
      case 2: {
        text = filler(rng, rng.between(1000, 5000));
        plant_near_boundary(rng, text, needle, static_cast<int>(rng.between(0, 40)) - 24);
        if (rng.percent(50)) plant_near_boundary(rng, text, rng.percent(50) ? d : m, static_cast<int>(rng.between(0, 3)) - 1);
        if (rng.percent(30)) text = with_stray_crs(rng, text, rng.between(1, 5));
        break;
      }
      case 3: {  // a CR inside the digest text
        std::string split = needle;
        split.insert(rng.between(1, 15), 1, '\r');
        text = filler(rng, rng.below(40)) + split + filler(rng, rng.below(80));
        break;
      }
      case 4:  // lone CRs
        text = with_stray_crs(rng, filler(rng, rng.below(60)), rng.between(1, 4));
        if (rng.percent(40)) text += needle;
        break;
      case 5: {  // a NUL before or after the digest
        const bool before = rng.percent(50);
        text = filler(rng, rng.below(30)) + (before ? std::string(1, '\0') : "") + needle +
               (before ? "" : std::string(1, '\0')) + filler(rng, rng.below(30));
        break;
      }
      case 6:  // both digests, mirrored first
        text = digest_line_text(rng.next()) + " " + m + " x " + d + " " + filler(rng, rng.below(50));
        break;
      case 7:  // short lines
        text = rng.percent(50) ? needle : needle.substr(0, rng.below(16));
        break;
      case 8:  // lines of exactly 1022 to 1025 bytes with the digest at their end
        text = filler(rng, rng.between(1006, 1009)) + needle;
        break;
      case 9:
        text.clear();
        break;
      default:
        text = record_line(digest_line_text(rng.next()), make_fields(rng, i, true));
        break;
    }
    file.put(text + line_end(rng));
  }
  if (seed % 3 == 0) {
    file.line("#00000");
  } else {
    file.put(d + " before the end of the text\r\n\x1A");
    file.put(d + " after the end of the text\r\n");
    file.put(m);  // a last line without a line end
  }
  file.close();
}

void write_nasty_export(std::uint64_t seed, const std::string& dir) {
  Rng rng(seed);
  RawFile header(dir + "/mirzfile.txt");
  header.put(seed % 2 == 1 ? "\n" : "*" + std::string(bt::kProblemDatabase) + "\r\n");
  header.put("*second\rline\r\n");
  header.close();

  RawFile list(dir + "/mirzlist.htm");
  RawFile data(dir + "/mirzdata.htm");
  write_list_head(list);
  data.line("<html><body><pre>");
  const int rows = 3000;
  for (int i = 0; i < rows; ++i) {
    const std::string id = identifier(static_cast<std::size_t>(i));
    Fields f = make_fields(rng, static_cast<std::size_t>(i), rng.percent(90));
    std::string row;
    switch (rng.below(10)) {
      case 0:  // a row longer than a piece
        f.text[1] += filler(rng, rng.between(900, 2500));
        row = list_row(id, f);
        break;
      case 1:  // CRs inside the markup and the fields
        row = with_stray_crs(rng, list_row(id, f), rng.between(1, 4));
        break;
      case 2:  // a NUL inside the row
        row = list_row(id, f);
        row.insert(rng.below(row.size()), 1, '\0');
        break;
      case 3:  // not a row
        row = rng.percent(50) ? "<tr class=\"odd\">" + list_row(id, f) : "<p>" + f.text[0] + "</p>";
        break;
      case 4:  // cells missing or unclosed
        row = list_row(id, f);
        row.resize(rng.below(row.size()));
        break;
      default:
        row = list_row(id, f);
        break;
    }
    list.put(row + line_end(rng));

    // The data page: mostly good records, some damaged ones.
    data.line("<a name=\"" + id + "\"><hr></a>");
    switch (rng.below(12)) {
      case 0:  // the board header line broken by a CR: still a header line
        data.line("[" + id + "]");
        for (auto& line : make_diagram(rng)) {
          if (line.find(bt::kBoardHeader) == 0) line.insert(rng.between(1, line.size() - 1), 1, '\r');
          data.put(line + line_end(rng));
        }
        break;
      case 1: {  // a long line with the board header near a piece boundary
        data.line("[" + id + "]");
        std::string text = filler(rng, rng.between(1030, 3000));
        plant_near_boundary(rng, text, bt::kBoardHeader, static_cast<int>(rng.between(0, 60)) - 40);
        data.line(text);
        for (const auto& line : make_diagram(rng)) data.line(line);
        break;
      }
      case 2: {  // rank lines with lone CRs, NULs and missing bars
        data.line("[" + id + "]");
        auto lines = make_diagram(rng);
        for (std::size_t k = 2; k < 11; ++k) {
          const std::size_t what = rng.below(4);
          if (what == 0) lines[k] = with_stray_crs(rng, lines[k], 1);
          if (what == 1) lines[k][rng.below(lines[k].size())] = '\0';
          if (what == 2) lines[k].resize(rng.below(lines[k].size()));
        }
        if (rng.percent(50)) lines[12] = filler(rng, 20);
        for (const auto& line : lines) data.put(line + line_end(rng));
        break;
      }
      case 3:  // a record without header or separator: runs into the next one
        data.line(std::string(bt::kNoDiagram));
        break;
      case 4:  // header-like lines
        data.line("[" + id + "]" + filler(rng, rng.below(20)));
        data.line("[1]");
        data.line("x[" + id + "]");
        break;
      case 5:  // the separator split by a CR, or in a long line
        data.line("[" + id + "]");
        data.line(rng.percent(50) ? "<a name=\"x\">\r<hr></a>" : filler(rng, 1010) + "<a name=\"x\"><hr></a>");
        break;
      case 6:  // the end of the diagram block cut short
        data.line("[" + id + "]");
        {
          auto lines = make_diagram(rng);
          lines.resize(rng.between(1, 12));
          for (const auto& line : lines) data.line(line);
        }
        break;
      default:
        write_record(data, rng, id, f, !rng.percent(20));
        break;
    }
  }
  list.line("</table></body></html>");
  if (seed % 3 != 0) {
    data.put("\x1A");
    write_record(data, rng, "99999", make_fields(rng, 0, true), true);
  }
  list.close();
  data.close();
}

std::size_t count_argument(const char* text) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (end == text || *end != '\0' || value == 0) throw std::runtime_error(std::string("bad number: ") + text);
  return static_cast<std::size_t>(value);
}

int usage() {
  std::fputs(
      "usage: vokt_bench_gen problem FILE\n"
      "       vokt_bench_gen symmetric-problem FILE\n"
      "       vokt_bench_gen digest-file N PROBLEM FILE\n"
      "       vokt_bench_gen export N DIR\n"
      "       vokt_bench_gen nasty-digest-file SEED PROBLEM FILE\n"
      "       vokt_bench_gen nasty-export SEED DIR\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "problem") {
      write_problem(args[1]);
    } else if (args.size() == 2 && args[0] == "symmetric-problem") {
      write_symmetric_problem(args[1]);
    } else if (args.size() == 4 && args[0] == "digest-file") {
      const ProblemDigests problem = problem_digests(args[2]);
      write_digest_file(count_argument(argv[2]), problem, args[3]);
      std::printf("%s %s\n", problem.direct.c_str(), problem.mirrored.c_str());
    } else if (args.size() == 3 && args[0] == "export") {
      write_export(count_argument(argv[2]), args[2]);
    } else if (args.size() == 4 && args[0] == "nasty-digest-file") {
      write_nasty_digest_file(count_argument(argv[2]), problem_digests(args[2]), args[3]);
    } else if (args.size() == 3 && args[0] == "nasty-export") {
      write_nasty_export(count_argument(argv[2]), args[2]);
    } else {
      return usage();
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vokt_bench_gen: %s\n", error.what());
    return 1;
  }
  return 0;
}
