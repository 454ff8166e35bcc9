// Check mode seen from outside the process: the lookup of a problem file in
// the digest file beside the program, the three report pages, the browser
// launch, and the runs that stop at a failing stage.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <ctime>
#include <regex>
#include <thread>
#include <utility>

#include "harness.h"

namespace vokt::e2e {
namespace {

constexpr std::string_view kPause = "\nEnter any key... \n";

// Independently known digests of the worked example below: direct and mirrored.
constexpr std::string_view kExampleDirect = "b87da5c8ec2be054";
constexpr std::string_view kExampleMirrored = "2c369db0e0897f14";

// The error stream after the banner (title line, notice line, empty line).
std::string after_banner(const std::string& err) {
  EXPECT_TRUE(err.starts_with("Korvane 0.18\n")) << err;
  const std::size_t end = err.find("\n\n");
  return end == std::string::npos ? err : err.substr(end + 2);
}

// A position as diagram text (UTF-8): nine ranks of nine cells from the ninth
// file to the first, each cell a side mark and a piece, and the hand line.
struct Position {
  std::array<std::array<std::string, 9>, 9> cells;
  std::string hand = "先手の持駒：飛　角";
  Position() {
    for (auto& rank : cells) rank.fill(" ・");
  }
};

Position worked_example() {
  Position p;
  p.cells[0][7] = "v玉";
  p.cells[2][7] = " 金";
  p.cells[8][8] = " 王";
  return p;
}

// The worked example as the key page shows it.
Position shown_example() {
  Position p = worked_example();
  p.hand = "持駒：飛 角";
  return p;
}

Position mirror_image(Position p) {
  for (auto& rank : p.cells) std::reverse(rank.begin(), rank.end());
  return p;
}

std::string diagram(const Position& p) {
  static constexpr const char* kRanks[] = {"一", "二", "三", "四", "五", "六", "七", "八", "九"};
  std::string text = "  ９ ８ ７ ６ ５ ４ ３ ２ １\n+---------------------------+\n";
  for (int r = 0; r < 9; ++r) {
    text += "|";
    for (const std::string& cell : p.cells[r]) text += cell;
    text += std::string("|") + kRanks[r] + "\n";
  }
  return text + "+---------------------------+\n" + p.hand + "\n";
}

std::string replaced(std::string text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Expected pages as they lie on disk, from readable text.
std::string key_page(std::string_view shown_diagram) {
  return crlf(sjis("<html>\n<head>\n<title>vokt 0.18</title>\n</head>\n<body bgcolor=\"#ffffe0\">\n<pre>\n"
                   "vokt 0.18\n<hr>\n[検索データ]\n\n" +
                   std::string(shown_diagram) + "\n<hr>\n</pre>\n</body>\n</html>\n"));
}

std::string result_page(std::string_view header_one, std::string_view header_two, std::string_view matches,
                        int count) {
  const std::string h1(header_one);
  return crlf(sjis("<html>\n<head>\n<title>" + h1 + "</title>\n</head>\n<body bgcolor=\"#ffffe0\">\n<pre>\n" + h1 +
                   "\n<hr>\n[検索結果]\n\n" + std::string(matches) + (count != 0 ? "\n" : "") + "  検出件数: " +
                   std::to_string(count) + "件\n\n<hr>\n" + std::string(header_two) +
                   "\n</pre>\n</body>\n</html>\n"));
}

std::string frame_page(std::string_view date) {
  return crlf("<html>\n<head>\n<title>Korvane 0.18 - " + std::string(date) +
              "</title>\n</head>\n<frameset cols=\"300,*\" border=\"0\">\n"
              "  <frame src=\"voktkey.htm\" scrolling=\"no\">\n  <frame src=\"voktdata.htm\">\n"
              "</frameset>\n</html>\n");
}

// Checks the frame page against the fixed lines and returns its date text.
std::string checked_frame_date(const std::string& frame) {
  std::smatch title;
  if (!std::regex_search(frame, title, std::regex("Korvane 0\\.18 - ([^<]*)</title>"))) {
    ADD_FAILURE() << frame;
    return {};
  }
  const std::string date = title[1];
  EXPECT_TRUE(std::regex_match(date, std::regex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
                                                "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                                "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}")))
      << date;
  EXPECT_EQ(frame, frame_page(date));
  return date;
}

// A digest file in the layout the build writes: two headers, records, trailer.
std::string digest_file(std::string_view records) {
  return crlf(sjis("#作品集　第一巻\n#全3題\n" + std::string(records) + "#00003\n"));
}

// The result page for digest_file(): its headers and the given matches.
std::string db_page(std::string_view matches, int count) {
  return result_page("作品集　第一巻", "全3題", matches, count);
}

// Runs check mode on `problem` (written as work/p.kif) and expects success.
RunResult check(const Sandbox& box, std::string_view problem, const RunOptions& options = {}) {
  box.write_work("p.kif", problem);
  RunResult run = box.run({"p.kif"}, options);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(after_banner(run.err), "");
  return run;
}

// The direct digest that build mode writes for the diagram in `problem`: a
// second, independent way of asking the tool for a digest.
std::string built_digest(const Sandbox& box, std::string_view problem) {
  box.write_work("mirzfile.txt", "#one\n#two\n");
  box.write_work("mirzlist.htm", "<tr><td>" + std::string(43, '.') +
                                     "00001</td><td nowrap>a b</td><td nowrap>2</td>"
                                     "<td nowrap>3</td><td nowrap>4</td></tr>\n");
  box.write_work("mirzdata.htm", "[00001]\n" + std::string(problem));
  EXPECT_EQ(box.run({"vokt", "vokt"}).status, 0);
  const std::string built = box.read_work("vokt.dat");
  const std::size_t third_line = built.find('\n', built.find('\n') + 1) + 1;
  const std::string digest = built.substr(third_line, 16);
  EXPECT_TRUE(std::regex_match(digest, std::regex("[0-9a-f]{16}"))) << built;
  EXPECT_NE(digest, "0000000000000000");
  return digest;
}

// A non-English locale of this machine, if it has one.
std::string foreign_locale() {
  for (const char* name : {"ja_JP.UTF-8", "ja_JP.eucJP", "de_DE.UTF-8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
    if (locale_t probe = newlocale(LC_ALL_MASK, name, locale_t{})) {
      freelocale(probe);
      return name;
    }
  }
  return "ja_JP.UTF-8";
}

// The frame page's date, read as UTC: its weekday fits its date and it is now
// in a time zone `offset` ahead of UTC.
void expect_now(const std::string& date, std::chrono::seconds offset) {
  std::tm parsed{};
  const char* end = strptime(date.c_str(), "%a %b %d %H:%M:%S %Y", &parsed);
  ASSERT_TRUE(end != nullptr && *end == '\0') << date;
  const std::time_t when = timegm(&parsed);
  std::tm again{};
  gmtime_r(&when, &again);
  char text[32];
  std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y", &again);
  EXPECT_EQ(date, text);
  EXPECT_LE(std::fabs(std::difftime(std::time(nullptr) + offset.count(), when)), 60.0) << date;
}

TEST(CheckEndToEnd, MatchesGiveAllThreePagesAndOneBrowserOpen) {
  Sandbox box;
  box.before_browser_open("echo launcher output; echo launcher error >&2");
  box.write_prog("vokt.dat", digest_file(std::string(kExampleDirect) + " 00001 <b>direct</b> a b\n" +
                                         "0123456789abcdef 00002 other\n" + std::string(kExampleMirrored) +
                                         " 00003 mirrored\n"));
  RunOptions options;
  options.env = {{"TZ", "UTC"}, {"LC_ALL", foreign_locale()}, {"LANG", foreign_locale()}};
  check(box, sjis("作品名：例題\n後手の持駒：なし\n" + diagram(worked_example()) + "まで1手で詰み\n"), options);

  EXPECT_EQ(box.read_prog("voktkey.htm"), key_page(diagram(shown_example())));
  EXPECT_EQ(box.read_prog("voktdata.htm"), db_page("  00001 <b>direct</b> a b\n* 00003 mirrored\n", 2));

  expect_now(checked_frame_date(box.read_prog("vokt.htm")), std::chrono::seconds(0));

  EXPECT_EQ(box.browser_opens(), std::vector<std::string>{box.frame_page_open()});
  // Whatever the launcher prints stays out of the tool's console streams,
  // also after the tool has ended (the sandbox keeps them in these files).
  if (!Sandbox::launched()) {
    EXPECT_EQ(read_file(box.root() / "stdout.txt").find("launcher"), std::string::npos);
    EXPECT_EQ(read_file(box.root() / "stderr.txt").find("launcher"), std::string::npos);
  }

  // The date is local time.
  options.env["TZ"] = "JST-9";
  check(box, sjis(diagram(worked_example())), options);
  expect_now(checked_frame_date(box.read_prog("vokt.htm")), std::chrono::hours(9));
}

// The frame page is a named pipe here, so the tool waits while it writes it:
// no browser may be opened before that, and the other pages are done by then.
TEST(CheckEndToEnd, BrowserOpensOnlyAfterAllPagesAreWritten) {
  if (Sandbox::launched()) GTEST_SKIP() << "relies on a named pipe as the frame page";
  Sandbox box;
  box.write_prog("vokt.dat", digest_file(std::string(kExampleDirect) + " direct\n"));
  box.write_work("p.kif", sjis(diagram(worked_example())));
  const fs::path frame_path = box.prog_dir() / "vokt.htm";
  ASSERT_EQ(mkfifo(frame_path.c_str(), 0644), 0);
  const pid_t child = box.start({"p.kif"});

  EXPECT_TRUE(box.browser_opens(1000).empty());
  EXPECT_EQ(box.read_prog("voktkey.htm"), key_page(diagram(shown_example())));
  EXPECT_EQ(box.read_prog("voktdata.htm"), db_page("  direct\n", 1));

  std::string frame;
  std::thread reader([&] { frame = read_file(frame_path); });
  const RunResult run = box.finish(child);
  // Releases the reader if the tool never opened the page.
  if (const int unblock = open(frame_path.c_str(), O_WRONLY | O_NONBLOCK); unblock >= 0) close(unblock);
  reader.join();
  EXPECT_EQ(run.status, 0);
  checked_frame_date(frame);
  EXPECT_EQ(box.browser_opens(), std::vector<std::string>{box.frame_page_open()});
}

TEST(CheckEndToEnd, SpellingsMirrorImageAndFirstDiagramOnly) {
  Sandbox box;
  box.write_prog("vokt.dat", digest_file(std::string(kExampleDirect) + " direct\n" +
                                         std::string(kExampleMirrored) + " mirrored\n"));
  const std::string as_found = "  direct\n* mirrored\n";
  const Position canonical = shown_example();

  Position other_spelling = worked_example();
  other_spelling.cells[8][8] = " 玉";
  other_spelling.hand = "先手の持駒：角　飛";
  Position shown_other = canonical;
  shown_other.hand = "持駒：角 飛";
  Position bare_hand = worked_example();
  bare_hand.hand = "持駒：飛 角";
  Position second = worked_example();
  second.cells[4][4] = " 歩";
  const std::string marked = replaced(replaced(diagram(worked_example()), "１\n", "１ <i>&</i>\n"), "|五\n", "|五>\n");
  const std::string marked_shown = replaced(replaced(diagram(canonical), "１\n", "１ &lt;i&gt;&amp;&lt;/i&gt;\n"),
                                            "|五\n", "|五&gt;\n");

  Position marked_hand = worked_example();
  marked_hand.hand = "先手の持駒：飛　角　<&>";
  Position marked_hand_shown = canonical;
  marked_hand_shown.hand = "持駒：飛 角 &lt;&amp;&gt;";

  struct Case {
    const char* what;
    std::string problem;  // UTF-8
    std::string matches;
    std::string shown;
    int count = 2;
  };
  const Case cases[] = {
      {"mirror image", diagram(mirror_image(worked_example())), "* direct\n  mirrored\n",
       diagram(mirror_image(canonical))},
      {"other king spelling, reordered hand", diagram(other_spelling), as_found, diagram(shown_other)},
      {"hand without side label", diagram(bare_hand), as_found, diagram(canonical)},
      {"two diagrams", diagram(worked_example()) + "\n" + diagram(second), as_found, diagram(canonical)},
      {"markup beside the diagram", marked, as_found, marked_shown},
      {"markup in the hand, another hand", diagram(marked_hand), "", diagram(marked_hand_shown), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    check(box, sjis(c.problem));
    EXPECT_EQ(box.read_prog("voktkey.htm"), key_page(c.shown));
    EXPECT_EQ(box.read_prog("voktdata.htm"), db_page(c.matches, c.count));
  }

  // CR LF line ends give the same digests and the same key page.
  check(box, crlf(sjis(diagram(other_spelling))));
  EXPECT_EQ(box.read_prog("voktkey.htm"), key_page(diagram(shown_other)));
  EXPECT_EQ(box.read_prog("voktdata.htm"), db_page(as_found, 2));
}

TEST(CheckEndToEnd, DragonsKingsAndSymmetryAgainstBuiltDigests) {
  Sandbox box;
  Position dragons = worked_example();
  dragons.cells[4][2] = " 龍";
  dragons.cells[1][6] = "v龍";
  dragons.cells[0][7] = "v玉";
  dragons.hand = "持駒：飛 角";
  Position respelled = dragons;
  respelled.cells[4][2] = " 竜";
  respelled.cells[1][6] = "v竜";
  respelled.cells[0][7] = "v王";
  respelled.cells[8][8] = " 玉";
  respelled.hand = "先手の持駒：角　飛";
  Position symmetric;
  symmetric.cells[0][4] = "v玉";
  symmetric.cells[2][3] = symmetric.cells[2][5] = " 金";
  symmetric.cells[8][4] = " 王";

  box.write_prog("vokt.dat", digest_file(built_digest(box, sjis(diagram(dragons))) + " dragons\n" +
                                         built_digest(box, sjis(diagram(symmetric))) + " symmetric\n"));
  check(box, sjis(diagram(respelled)));
  Position shown = dragons;
  shown.hand = "持駒：角 飛";
  EXPECT_EQ(box.read_prog("voktkey.htm"), key_page(diagram(shown)));
  EXPECT_EQ(box.read_prog("voktdata.htm"), db_page("  dragons\n", 1));

  // A symmetric position is listed once, as a direct match.
  check(box, sjis(diagram(symmetric)));
  EXPECT_EQ(box.read_prog("voktdata.htm"), db_page("  symmetric\n", 1));
}

TEST(CheckEndToEnd, CorpusFilesFindTheirOtherSpellingsAndMirrorImages) {
  const fs::path corpus = fs::path(VOKT_CORPUS_DIR) / "generated" / "seed_corpus1";
  if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  Sandbox box;
  using Pair = std::pair<const char*, const char*>;  // a problem and an unrelated one
  for (const auto& [id, other] : {Pair{"p0001", "p0002"}, Pair{"p0004", "p0005"}, Pair{"p0010", "p0011"}}) {
    SCOPED_TRACE(id);
    const auto file = [&](std::string_view suffix) { return read_file(corpus / (id + std::string(suffix))); };
    box.write_prog("vokt.dat",
                   digest_file(built_digest(box, read_file(corpus / (other + std::string(".kif")))) + " other\n" +
                               built_digest(box, file(".mirror.kif")) + " mirror\n" +
                               built_digest(box, file(".alt.kif")) + " alt\n"));
    // .alt has CR LF line ends and extra header lines; .bod another trailer.
    for (const char* suffix : {".kif", ".alt.kif", ".bod.kif"}) {
      SCOPED_TRACE(suffix);
      check(box, file(suffix));
      EXPECT_EQ(box.read_prog("voktdata.htm"), db_page("* mirror\n  alt\n", 2));
    }
    const std::string key_of_alt = box.read_prog("voktkey.htm");
    check(box, file(".kif"));
    EXPECT_EQ(box.read_prog("voktkey.htm"), key_of_alt);
    check(box, file(".mirror.kif"));
    EXPECT_EQ(box.read_prog("voktdata.htm"), db_page("  mirror\n* alt\n", 2));
  }
}

TEST(CheckEndToEnd, DigestFileOfAnyShape) {
  Sandbox box;
  const std::string d(kExampleDirect);
  const std::string m(kExampleMirrored);
  std::string binary;
  for (int byte = 0; byte < 256; ++byte) {
    if (byte != '\n' && byte != '\r' && byte != 0x1A) binary += static_cast<char>(byte);
  }
  struct Case {
    const char* what;
    std::string digest_file;
    std::string header_one, header_two, matches;
    int count;
  };
  const Case cases[] = {
      {"no match", "#one\n#two\n0123456789abcdef x\n#00001\n", "one", "two", "", 0},
      {"pieces of 1023 bytes",
       "#one\n#two\n" + std::string(1008, 's') + d + " straddles\n" + std::string(1007, 'w') + d + "\n" +
           std::string(1023, 'y') + "ABCDEFGHIJKLMNOPQRSTU" + m + "\n",
       "one", "two", "  " + std::string(990, 'w') + d + "* RSTU" + m + "\n", 2},
      {"0x1A ends the input", "#one\n#two\n" + d + " before\n\x1A" + m + " after\n", "one", "two", "  before\n", 1},
      {"no line end at all", "#one", "one", "", "", 0},
      {"no line end after a match", "#one\n#two\n" + d + " last", "one", "two", "  last", 1},
      {"empty file", "", "", "", "", 0},
      {"one line", "#one\n", "one", "", "", 0},
      {"matching lines shorter than 18 bytes", "#one\n#two\n" + d + "\n" + m, "one", "two", "  * ", 2},
      {"binary bytes", "#one\n#two\n" + binary + "\n" + d + " found\n", "one", "two", "  found\n", 1},
  };
  const std::string problem = sjis(diagram(worked_example()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    box.write_prog("vokt.dat", c.digest_file);
    check(box, problem);
    EXPECT_EQ(box.read_prog("voktdata.htm"), result_page(c.header_one, c.header_two, c.matches, c.count));
  }
}

TEST(CheckEndToEnd, FailingStageStopsTheRunAndKeepsLaterPages) {
  struct Case {
    const char* what;
    bool with_digest_file;
    std::string problem, message, key, result;
  };
  const Case cases[] = {
      {"problem file missing", true, "", "missing.kif: No such file or directory\n", "old key", "old result"},
      {"no diagram", true, sjis("持駒：飛\n+---------------------------+\n"), "Kifu data not specified\n", "old key",
       "old result"},
      {"digest file missing", false, sjis(diagram(worked_example())), "vokt.dat: No such file or directory\n",
       key_page(diagram(shown_example())), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    box.write_prog("voktkey.htm", "old key");
    box.write_prog("voktdata.htm", "old result");
    box.write_prog("vokt.htm", "old frame");
    if (c.with_digest_file) box.write_prog("vokt.dat", digest_file(std::string(kExampleDirect) + " x\n"));
    if (!c.problem.empty()) box.write_work("p.kif", c.problem);
    const RunResult run = box.run({c.problem.empty() ? "missing.kif" : "p.kif"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(after_banner(run.err), c.message + std::string(kPause));
    EXPECT_EQ(box.read_prog("voktkey.htm"), c.key);
    EXPECT_EQ(box.read_prog("voktdata.htm"), c.result);
    EXPECT_EQ(box.read_prog("vokt.htm"), "old frame");
    EXPECT_TRUE(box.browser_opens(500).empty());
  }
}

// A page that cannot be written in full (here: a file size limit, as with a
// full disk) fails its stage like a page that cannot be opened.
TEST(CheckEndToEnd, PageWriteFailureIsReported) {
  std::string many_matches;
  for (int i = 0; i < 50; ++i) many_matches += std::string(kExampleDirect) + " a match that fills the page\n";
  // Limits: below the key page; above it but below the long result page.
  for (const auto& [limit, page] : {std::pair{300UL, "voktkey.htm"}, std::pair{1500UL, "voktdata.htm"}}) {
    SCOPED_TRACE(page);
    Sandbox box;
    box.write_prog("vokt.dat", digest_file(many_matches));
    box.write_prog("vokt.htm", "old frame");
    box.write_work("p.kif", sjis(diagram(worked_example())));
    RunOptions options;
    options.file_size_limit = limit;
    const RunResult run = box.run({"p.kif"}, options);
    EXPECT_EQ(run.status, 1);
    // Under Wine the Linux file-size limit reaches the Windows program as a
    // failed write that msvcrt reports as EINVAL.
    const std::string error_text = Sandbox::launched() ? "Invalid argument" : "File too large";
    EXPECT_EQ(after_banner(run.err), page + (": " + error_text + "\n") + std::string(kPause));
    EXPECT_EQ(box.read_prog("vokt.htm"), "old frame");
    EXPECT_TRUE(box.browser_opens(500).empty());
  }
}

// The run does not wait for the browser, and succeeds without one.
TEST(CheckEndToEnd, BrowserLaunchNeverHoldsTheRun) {
  Sandbox box;
  box.write_prog("vokt.dat", digest_file(""));
  box.before_browser_open("sleep 5");
  const auto start = std::chrono::steady_clock::now();
  check(box, sjis(diagram(worked_example())));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));

  RunOptions no_launcher;
  no_launcher.env["PATH"] = (box.root() / "nowhere").string();
  check(box, sjis(diagram(worked_example())), no_launcher);
  EXPECT_TRUE(box.prog_has("vokt.htm"));
}

}  // namespace
}  // namespace vokt::e2e
