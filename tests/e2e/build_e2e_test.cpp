// Build mode seen from outside: "vokt vokt" in a directory holding an export
// of the problem database rebuilds vokt.dat there, and check mode then finds
// each exported problem in it.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "harness.h"

namespace vokt::e2e {
namespace {

constexpr std::string_view kPause = "\nEnter any key... \n";
constexpr std::string_view kZero = "0000000000000000";

// The error stream after the banner (title line, notice line, empty line).
std::string after_banner(std::string_view err) {
  const std::size_t end = err.find("\n\n");
  EXPECT_NE(end, std::string_view::npos) << err;
  return std::string(end == std::string_view::npos ? err : err.substr(end + 2));
}

// ---- Building an export ----------------------------------------------------

// A board as nine ranks of nine cells, each cell a side mark and one
// character (4 bytes of UTF-8).
using Board = std::array<std::string, 9>;

// The board of the worked example: its direct digest is kWorkedDirect and its
// mirror image's is kWorkedMirrored, with the hand 飛 角.
const Board kWorked = {" ・ ・ ・ ・ ・ ・ ・v玉 ・", " ・ ・ ・ ・ ・ ・ ・ ・ ・", " ・ ・ ・ ・ ・ ・ ・ 金 ・",
                       " ・ ・ ・ ・ ・ ・ ・ ・ ・", " ・ ・ ・ ・ ・ ・ ・ ・ ・", " ・ ・ ・ ・ ・ ・ ・ ・ ・",
                       " ・ ・ ・ ・ ・ ・ ・ ・ ・", " ・ ・ ・ ・ ・ ・ ・ ・ ・", " ・ ・ ・ ・ ・ ・ ・ ・ 王"};
constexpr std::string_view kWorkedHand = "先手の持駒：飛　角";
constexpr std::string_view kWorkedDirect = "b87da5c8ec2be054";
constexpr std::string_view kWorkedMirrored = "2c369db0e0897f14";

Board mirror(const Board& board) {
  Board out;
  for (std::size_t r = 0; r < 9; ++r) {
    for (std::size_t c = 9; c-- > 0;) out[r] += board[r].substr(c * 4, 4);
  }
  return out;
}

// The same position spelled the other way: 玉 and 王, 竜 and 龍 exchanged.
Board respell(const Board& board) {
  const std::vector<std::pair<std::string, std::string>> swaps = {{"玉", "王"}, {"王", "玉"}, {"竜", "龍"}, {"龍", "竜"}};
  Board out;
  for (std::size_t r = 0; r < 9; ++r) {
    for (std::size_t c = 0; c < 9; ++c) {
      std::string cell = board[r].substr(c * 4, 4);
      for (const auto& [from, to] : swaps) {
        if (cell.substr(1) == from) {
          cell = cell.substr(0, 1) + to;
          break;
        }
      }
      out[r] += cell;
    }
  }
  return out;
}

// The thirteen-line diagram block.
std::string diagram(const Board& board, std::string_view hand) {
  static constexpr std::array<std::string_view, 9> kRankNames = {"一", "二", "三", "四", "五", "六", "七", "八", "九"};
  std::string text = "  ９ ８ ７ ６ ５ ４ ３ ２ １\n+---------------------------+\n";
  for (std::size_t r = 0; r < 9; ++r) text += "|" + board[r] + "|" + std::string(kRankNames[r]) + "\n";
  text += "+---------------------------+\n";
  text += std::string(hand) + "\n";
  return text;
}

// A problem file around a diagram; the hand line above the board is not part
// of the position.
std::string problem_file(const Board& board, std::string_view hand) {
  return sjis("# 詰将棋\n後手の持駒：なし\n" + diagram(board, hand) + "手数＝0\nまで\n");
}

// The 43 bytes of opening markup of an identifier cell.
constexpr std::string_view kIdMarkup = "<a name=\"x\"></a><img src=\"p.gif\" width=\"8\">";
static_assert(kIdMarkup.size() == 43);

using Fields = std::array<std::string, 4>;

std::string list_row(std::string_view id, const Fields& f) {
  std::string row = "<tr><td>" + std::string(kIdMarkup) + std::string(id) + "</td>";
  for (const auto& field : f) row += "<td nowrap>" + field + "</td>";
  return row + "</tr>\n";
}

// One record of the data page; `body` holds its lines (a diagram or not).
// (Built with += : GCC 12 at -O3 gives a false -Wrestrict on the + chain.)
std::string record(std::string_view id, std::string_view body, bool separator = true) {
  std::string text = "[";
  text += id;
  text += "]\n作品\n";
  text += body;
  if (separator) {
    text += "</pre><a name=\"";
    text += id;
    text += "\"><hr></a><pre>\n";
  }
  return text;
}

constexpr std::string_view kSourceHeader = "*Test collection\n*Twelve problems, 2024\n";
constexpr std::string_view kHeaderLines = "#Test collection\n#Twelve problems, 2024\n";

// Writes the three export files (UTF-8 turned into Shift-JIS, CR LF) into the
// sandbox's current directory. The list page has a heading row with class=
// that must never count as a row, and lines without cells.
void write_export(const Sandbox& box, std::string_view rows, std::string_view records,
                  std::string_view header = kSourceHeader) {
  box.write_work("mirzfile.txt", crlf(sjis(header)));
  const std::string list = "<html><body><table>\n<tr class=\"head\"><td nowrap>番号</td><td nowrap>作品</td></tr>\n" +
                           std::string(rows) + "</table></body></html>\n";
  box.write_work("mirzlist.htm", crlf(sjis(list)));
  box.write_work("mirzdata.htm", crlf(sjis("<html><body><pre>\n" + std::string(records) + "</pre></body></html>\n")));
}

// The record line of vokt.dat as written on disk.
std::string record_line(std::string_view digest, const Fields& f) {
  return crlf(std::string(digest) + " " + sjis(f[0] + " " + f[1] + " " + f[2] + " " + f[3]) + "\n");
}

const Fields kF1 = {"詰将棋 1", "作者一", "教本", "2024/01"};
const Fields kF2 = {"詰将棋 2", "作者二", "教本", "2024/02"};
const Fields kF3 = {"詰将棋 3", "作者三", "教本", "2024/03"};

RunResult build(const Sandbox& box) { return box.run({"vokt", "vokt"}); }

// ---- Building ----------------------------------------------------------------

TEST(BuildEndToEnd, ThreeRowsGiveSixLinesTheListingAndTheClosingMessage) {
  Sandbox box;
  box.write_work("vokt.dat", "old database\r\n");
  write_export(box, list_row("00001", kF1) + list_row("00002", kF2) + list_row("00003", kF3),
               record("00001", diagram(kWorked, kWorkedHand)) + record("00002", diagram(mirror(kWorked), kWorkedHand)) +
                   record("00003", diagram(respell(kWorked), "持駒：角 飛")));
  const RunResult run = build(box);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(box.read_work("vokt.dat"), crlf(std::string(kHeaderLines)) + record_line(kWorkedDirect, kF1) +
                                           record_line(kWorkedMirrored, kF2) + record_line(kWorkedDirect, kF3) +
                                           "#00003\r\n");
  EXPECT_EQ(run.out, "[00001]\n" + sjis("持駒：飛 角") + "*\n[00002]\n" + sjis("持駒：飛 角") + "*\n[00003]\n" +
                         sjis("持駒：角 飛") + "*\n");
  EXPECT_EQ(after_banner(run.err), "00003: Processed data\n");
  EXPECT_FALSE(box.work_has("vokt.dat.new"));
}

TEST(BuildEndToEnd, RecordsWithoutADigestibleDiagramGetTheZeroDigest) {
  Sandbox box;
  // Row 1 has no space in its first field; record 2 has no diagram before its
  // separator (a line holding both counts as the separator); row 3 is then
  // paired with record 3.
  const Fields no_space = {"詰将棋1", "作者一", "教本", "2024/01"};
  write_export(box,
               list_row("00001", no_space) + "<tr class=\"odd\"><td nowrap>x y</td></tr>\n<tr>\n" +
                   list_row("00002", kF2) + list_row("00003", kF3),
               record("00001", diagram(kWorked, kWorkedHand)) + record("00002", "<a name=\"s\"><hr></a>  ９ ８ ７ ６ ５ ４ ３ ２ １\n") +
                   record("00003", diagram(mirror(kWorked), kWorkedHand)));
  const RunResult run = build(box);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(box.read_work("vokt.dat"), crlf(std::string(kHeaderLines)) + record_line(kZero, no_space) +
                                           record_line(kZero, kF2) + record_line(kWorkedMirrored, kF3) +
                                           "#00003\r\n");
  EXPECT_EQ(run.out, "[00003]\n" + sjis("持駒：飛 角") + "*\n");
  EXPECT_EQ(after_banner(run.err), "00003: Processed data\n");
}

TEST(BuildEndToEnd, ARecordWithNeitherSeparatorNorDiagramShiftsThePairing) {
  Sandbox box;
  // Record 1 runs on into record 2's diagram; row 2 gets record 3's, and row 3
  // finds the data page at its end.
  write_export(box, list_row("00001", kF1) + list_row("00002", kF2) + list_row("00003", kF3),
               record("00001", "解説のみ\n", false) + record("00002", diagram(kWorked, kWorkedHand)) +
                   record("00003", diagram(mirror(kWorked), kWorkedHand)));
  const RunResult run = build(box);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(box.read_work("vokt.dat"), crlf(std::string(kHeaderLines)) + record_line(kWorkedDirect, kF1) +
                                           record_line(kWorkedMirrored, kF2) + record_line(kZero, kF3) +
                                           "#00003\r\n");
  EXPECT_EQ(run.out, "[00001]\n" + sjis("持駒：飛 角") + "*\n[00002]\n" + sjis("持駒：飛 角") + "*\n");
}

TEST(BuildEndToEnd, AListWithoutRowsNamesNoIdentifier) {
  Sandbox box;
  write_export(box, "", record("00001", diagram(kWorked, kWorkedHand)));
  const RunResult run = build(box);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(box.read_work("vokt.dat"), crlf(std::string(kHeaderLines)) + "#(null)\r\n");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(after_banner(run.err), "(null): Processed data\n");
}

TEST(BuildEndToEnd, HeaderLinesAlwaysEndWithALineEnd) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\n*Second\n", "#\n#Second\n"},           // empty first line
      {"*First\n\n", "#First\n#\n"},             // empty second line
      {"*First\n*Second", "#First\n#Second\n"},  // second line without line feed
      {"*Only", "#Only\n#\n"},                   // one line, no line feed
      {"*Only\n", "#Only\n#\n"},                 // fewer than two lines
      {"", "#\n#\n"},                            // empty file
      {"*First\r\n*Second\r\n*Third\r\n", "#First\n#Second\n"},
  };
  for (const auto& [source, headers] : cases) {
    SCOPED_TRACE(source);
    Sandbox box;
    write_export(box, list_row("00001", kF1), record("00001", "解説のみ\n"));
    box.write_work("mirzfile.txt", source);  // raw bytes: CR LF or LF as given
    ASSERT_EQ(build(box).status, 0);
    EXPECT_EQ(box.read_work("vokt.dat"), crlf(headers) + record_line(kZero, kF1) + "#00001\r\n");
  }
}

TEST(BuildEndToEnd, MalformedListRowsGiveEmptyTexts) {
  Sandbox box;
  const std::string cell = "<td>" + std::string(kIdMarkup);
  const std::string rows =
      // no identifier cell: the fields are still found
      "<tr><td nowrap>a b</td><td nowrap>c</td><td nowrap>d</td><td nowrap>e</td></tr>\n"
      // two cells missing
      + cell + "00002</td><td nowrap>p q</td><td nowrap>r</td></tr>\n"
      // a field without its closing tag runs into the next cell
      + cell + "00003</td><td nowrap>s t<td nowrap>u</td><td nowrap>v</td><td nowrap>w</td>\n"
      // the last field without its closing tag ends at the end of the row
      + cell + "00004</td><td nowrap>x y</td><td nowrap>1</td><td nowrap>2</td><td nowrap>3\n"
      // the identifier cell shorter than its opening markup
      + "<td>short</td><td nowrap>z</td>\n"
      // an empty last cell at the very end of the file, without a line feed
      + cell + "00006</td><td nowrap>";
  write_export(box, "", "");
  box.write_work("mirzlist.htm", crlf(rows));
  const RunResult run = build(box);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(box.read_work("vokt.dat"),
            crlf(std::string(kHeaderLines)) + crlf(std::string(kZero) + " a b c d e\n" + std::string(kZero) +
                                                   " p q r  \n" + std::string(kZero) + " s t<td nowrap>u u v w\n" +
                                                   std::string(kZero) + " x y 1 2 3\n" + std::string(kZero) +
                                                   "    \n" + std::string(kZero) + "    \n#00006\n"));
  EXPECT_EQ(after_banner(run.err), "00006: Processed data\n");
}

// ---- Failures ------------------------------------------------------------------

TEST(BuildEndToEnd, AMissingExportFileLeavesTheOldDatabase) {
  for (const std::string_view name : {"mirzfile.txt", "mirzlist.htm", "mirzdata.htm"}) {
    SCOPED_TRACE(name);
    Sandbox box;
    write_export(box, list_row("00001", kF1), record("00001", diagram(kWorked, kWorkedHand)));
    box.write_work("vokt.dat", "old database\r\n");
    fs::remove(box.work_dir() / name);
    const RunResult run = build(box);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(after_banner(run.err), std::string(name) + ": No such file or directory\n" + std::string(kPause));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(box.read_work("vokt.dat"), "old database\r\n");
    EXPECT_FALSE(box.work_has("vokt.dat.new"));
  }
}

TEST(BuildEndToEnd, AFailedWriteLeavesTheOldDatabase) {
  Sandbox box;
  // 200 rows of about 50 bytes each, none digested (no listing on stdout),
  // against a limit of 4096 bytes per file.
  std::string rows;
  std::string records;
  for (int i = 0; i < 200; ++i) {
    const std::string id = std::to_string(10000 + i);
    rows += list_row(id, {"problem", "author", "source", "date"});
    records += record(id, "text\n");
  }
  write_export(box, rows, records);
  const std::string old = crlf(std::string(kHeaderLines)) + record_line(kWorkedDirect, kF1) + "#00001\r\n";
  box.write_work("vokt.dat", old);
  RunOptions options;
  options.file_size_limit = 4096;
  const RunResult run = box.run({"vokt", "vokt"}, options);
  EXPECT_EQ(run.status, 1);
  // The error text is the system's: under Wine the Linux file-size limit
  // reaches the Windows program as a failed write that msvcrt reports as
  // EINVAL.
  std::string expected_end = "vokt.dat: ";
  expected_end += Sandbox::launched() ? "Invalid argument" : "File too large";
  expected_end += '\n';
  expected_end += kPause;
  EXPECT_TRUE(run.err.ends_with(expected_end)) << run.err;
  EXPECT_EQ(box.read_work("vokt.dat"), old);
  EXPECT_FALSE(box.work_has("vokt.dat.new"));
}

// ---- The round trip: build, then check ---------------------------------------

struct Problem {
  Board board;
  std::string hand;
  std::string respelled_hand;  // the same pieces in another order and spelling
  Fields fields;
};

TEST(BuildEndToEnd, CheckModeFindsEveryExportedProblem) {
  const std::vector<Problem> problems = {
      {kWorked, std::string(kWorkedHand), "持駒：角 飛", kF1},
      {{" ・ ・ ・ ・ ・ ・ ・v桂v玉", " ・ ・ ・ ・ ・ ・ 竜 ・ ・", " ・ ・ ・ ・ ・ ・ ・v歩 ・",
        " ・ ・ ・ ・ ・ ・ ・ ・ ・", " ・ ・ ・ ・ ・ ・ ・ ・ ・", " ・ ・ ・ ・ ・ ・ ・ ・ ・",
        " ・ ・ ・ ・ ・ ・ ・ ・ ・", " ・ ・ ・ ・ ・ ・ ・ ・ ・", " ・ ・ ・ ・ 玉 ・ ・ ・ ・"},
       "先手の持駒：金　銀二",
       "持駒：銀二　金",
       kF2},
      {{" ・ ・ ・ ・ ・v玉 ・ ・ ・", " ・ ・ ・ ・ ・ ・ ・ ・ ・", " ・ ・ ・ 龍 ・ ・ ・ ・ ・",
        " ・ ・ ・ ・ ・ 歩 ・ ・ ・", " ・ ・ ・ ・ ・ ・ ・ ・ ・", " ・ ・ ・ ・ ・ ・ ・ ・ ・",
        " ・ ・ ・ ・ ・ ・ ・ ・ ・", " ・ ・ ・ ・ ・ ・ ・ ・ ・", " ・ ・ ・ ・ ・ ・ ・ ・ ・"},
       "先手の持駒：桂　香　歩",
       "持駒：歩 香 桂",
       kF3},
  };
  Sandbox box;
  std::string rows;
  std::string records;
  for (std::size_t i = 0; i < problems.size(); ++i) {
    const std::string id = "0000" + std::to_string(i + 1);
    rows += list_row(id, problems[i].fields);
    records += record(id, diagram(problems[i].board, problems[i].hand));
  }
  write_export(box, rows, records);
  ASSERT_EQ(build(box).status, 0);
  box.write_prog("vokt.dat", box.read_work("vokt.dat"));

  for (const Problem& problem : problems) {
    const std::string shown = problem.fields[0] + " " + problem.fields[1] + " " + problem.fields[2] + " " +
                              problem.fields[3] + "\n";
    const std::vector<std::pair<std::string, std::string>> checks = {
        {problem_file(problem.board, problem.hand), "  "},
        {problem_file(mirror(problem.board), problem.hand), "* "},
        {crlf(problem_file(respell(problem.board), problem.respelled_hand)), "  "},
    };
    for (const auto& [text, mark] : checks) {
      SCOPED_TRACE(problem.fields[0] + " marked '" + mark + "'");
      box.write_work("problem.kif", text);
      const RunResult run = box.run({"problem.kif"});
      ASSERT_EQ(run.status, 0) << run.err;
      const std::string page = box.read_prog("voktdata.htm");
      EXPECT_NE(page.find(crlf(sjis(mark + shown))), std::string::npos) << page;
      EXPECT_NE(page.find(sjis("  検出件数: 1件")), std::string::npos) << page;
    }
  }
}

}  // namespace
}  // namespace vokt::e2e
