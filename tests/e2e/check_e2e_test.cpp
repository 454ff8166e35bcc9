// The command line and check mode seen from outside: the lookup in the digest
// file beside the program, the three pages, the browser launch, and the runs
// that stop at a failing stage.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <ctime>
#include <optional>
#include <regex>
#include <thread>
#include <tuple>

#include "harness.h"

namespace vokt::e2e {
namespace {

std::string replaced(std::string text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string key_page(std::string_view shown) {
  return crlf(sjis("<html>\n<head>\n<title>vokt 0.18</title>\n</head>\n<body bgcolor=\"#ffffe0\">\n<pre>\n"
                   "vokt 0.18\n<hr>\n[検索データ]\n\n" + std::string(shown) + "\n<hr>\n</pre>\n</body>\n</html>\n"));
}

std::string result_page(const std::string& h1, const std::string& h2, const std::string& matches, int count) {
  return crlf(sjis("<html>\n<head>\n<title>" + h1 + "</title>\n</head>\n<body bgcolor=\"#ffffe0\">\n<pre>\n" + h1 +
                   "\n<hr>\n[検索結果]\n\n" + matches + (count != 0 ? "\n" : "") + "  検出件数: " +
                   std::to_string(count) + "件\n\n<hr>\n" + h2 + "\n</pre>\n</body>\n</html>\n"));
}

// Checks the frame page byte for byte and returns the date in its title.
std::string checked_frame_date(const std::string& frame) {
  std::smatch title;
  if (!std::regex_search(frame, title, std::regex("Korvane 0\\.18 - ([^<]*)</title>"))) {
    ADD_FAILURE() << frame;
    return {};
  }
  const std::string date = title[1];
  EXPECT_EQ(frame, crlf("<html>\n<head>\n<title>Korvane 0.18 - " + date +
                        "</title>\n</head>\n<frameset cols=\"300,*\" border=\"0\">\n"
                        "  <frame src=\"voktkey.htm\" scrolling=\"no\">\n  <frame src=\"voktdata.htm\">\n"
                        "</frameset>\n</html>\n"));
  return date;
}

// The date, read as UTC, is well formed (weekday and all, in English) and is
// now in a zone `offset` ahead of UTC.
void expect_now(const std::string& date, std::chrono::seconds offset) {
  std::tm parsed{};
  const char* end = strptime(date.c_str(), "%a %b %d %H:%M:%S %Y", &parsed);
  ASSERT_TRUE(end != nullptr && *end == '\0') << date;
  const std::time_t when = timegm(&parsed);
  char text[32];
  std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y", gmtime(&when));
  EXPECT_EQ(date, text);
  EXPECT_LE(std::fabs(std::difftime(std::time(nullptr) + offset.count(), when)), 60.0) << date;
}

std::string digest_file(std::string_view records) {
  return crlf(sjis("#作品集　第一巻\n#全3題\n" + std::string(records) + "#00003\n"));
}
std::string db_page(const std::string& matches, int count) {
  return result_page("作品集　第一巻", "全3題", matches, count);
}

RunResult check(const Sandbox& box, std::string_view problem, const RunOptions& options = {}) {
  box.write_work("p.kif", problem);
  RunResult run = box.run({"p.kif"}, options);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(after_banner(run.err), "");
  return run;
}

// The digest file that build mode writes for an export of the given problems.
std::string built_digest_file(const Sandbox& box, const std::vector<std::string>& problems) {
  std::string list, data;
  for (std::size_t i = 0; i < problems.size(); ++i) {
    char id[24];
    std::snprintf(id, sizeof id, "%05zu", i + 1);
    list += list_row(id, {"a b", "2", "3", "4"});
    data += record(id, problems[i] + "\n", false);
  }
  box.write_work("mirzfile.txt", "#one\n#two\n");
  box.write_work("mirzlist.htm", list);
  box.write_work("mirzdata.htm", data);
  EXPECT_EQ(box.run({"vokt", "vokt"}).status, 0);
  return box.read_work("vokt.dat");
}

// The direct digest that build mode writes for the diagram in `problem`.
std::string built_digest(const Sandbox& box, std::string_view problem) {
  const std::string built = built_digest_file(box, {std::string(problem)});
  const std::string digest = built.substr(built.find('\n', built.find('\n') + 1) + 1, 16);
  EXPECT_TRUE(std::regex_match(digest, std::regex("[0-9a-f]{16}")) && digest != kZero) << built;
  return digest;
}

// What a check of `problem`, written as `name`, answers: exit status, console
// output, key page and result page ("(absent)" for a page not written).
using Answer = std::tuple<int, std::string, std::string, std::string, std::string>;
Answer answer(const Sandbox& box, const std::string& name, std::string_view problem) {
  box.write_work(name, problem);
  std::string pages[] = {"voktkey.htm", "voktdata.htm"};
  for (const std::string& page : pages) fs::remove(box.prog_dir() / page);
  const RunResult run = box.run({name});
  for (std::string& page : pages) page = box.prog_has(page) ? box.read_prog(page) : "(absent)";
  return {run.status, run.out, run.err, pages[0], pages[1]};
}

constexpr const char* kPages[] = {"voktkey.htm", "voktdata.htm", "vokt.htm"};
const std::string kUnlocked =
    "vokt.lock: Permission denied\nGoing on without the lock: a check at the same moment may mix its pages with "
    "these\n";

void write_old_pages(const Sandbox& box) {
  for (const char* page : kPages) box.write_prog(page, "old");
}
// The worked problem as p.kif, and a digest file that lists it once,
// directly; the key page and the result page of a check of them.
void write_worked_check(const Sandbox& box) {
  box.write_prog("vokt.dat", digest_file(std::string(kWorkedDirect) + " direct\n"));
  box.write_work("p.kif", sjis(diagram(worked_board())));
}
std::string worked_key_page() { return key_page(diagram(worked_board(), "持駒：飛 角")); }
std::string worked_result_page() { return db_page("  direct\n", 1); }

bool old_pages(const Sandbox& box) {
  return std::all_of(std::begin(kPages), std::end(kPages),
                     [&](const char* page) { return box.read_prog(page) == "old"; });
}

// Takes the lock of the program directory as a check would (not the tool's).
int hold_lock(const Sandbox& box) {
  const int held = open((box.prog_dir() / "vokt.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  EXPECT_EQ(flock(held, LOCK_EX), 0);
  return held;
}

// Waits until the tool started as `child` has `path` open; the flags it has
// it open with (O_RDWR and so on), none when it never opens it. (Until the
// tool runs, the child is a copy of this process, with its files open.)
std::optional<int> wait_until_open(pid_t child, const fs::path& path) {
  const fs::path process = "/proc/" + std::to_string(child);
  for (int waited = 0; waited < 10000; waited += 5) {
    std::error_code error;
    const bool started = fs::read_symlink(process / "exe", error) != fs::read_symlink("/proc/self/exe");
    for (const auto& fd : fs::directory_iterator(process / "fd", error)) {
      if (!started) break;
      if (fs::read_symlink(fd, error) != path) continue;
      const std::string info = read_file(process / "fdinfo" / fd.path().filename());
      return std::stoi(info.substr(info.find("flags:") + 6), nullptr, 8);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return std::nullopt;
}

// The pause takes the keys waiting in a FIFO, which shows that it read one
// (Wine opens a FIFO without waiting for its writer: a file there).
TEST(CommandLine, ModeChoiceAndThePauseAfterFailure) {
  Sandbox box;
  RunOptions keys;
  keys.stdin_path = box.root() / "keys";
  int feed = -1, unread = -1;
  if (Sandbox::launched()) {
    write_file(*keys.stdin_path, "x\nmore\n");
  } else {
    ASSERT_EQ(mkfifo(keys.stdin_path->c_str(), 0600), 0);
    unread = open(keys.stdin_path->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    feed = open(keys.stdin_path->c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(write(feed, "x\nmore\n", 7), 7);
  }
  const RunResult none = box.run({}, keys);
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(after_banner(none.err), "Kifu file not specified\n" + std::string(kPause));
  if (unread >= 0) {
    char rest[8];
    EXPECT_EQ(read(unread, rest, sizeof rest), -1) << "the keys are still waiting";
    for (const int fd : {unread, feed}) close(fd);
  }
  // Build mode only for exactly "vokt" "vokt"; anything else checks argument one.
  EXPECT_NE(box.run({"vokt", "vokt"}).err.find("mirzfile.txt: No such file or directory\n"), std::string::npos);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"vokt"}, {"vokt", "VOKT"}, {"vokt", "x"}, {"vokt", "vokt", "vokt"}, {"missing.kif", "vokt", "vokt"}}) {
    const RunResult run = box.run(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(after_banner(run.err), args[0] + ": No such file or directory\n" + std::string(kPause));
  }
  // A name that cannot name a file names none, in both builds alike: a file
  // taken for a folder, with or without a name after it, and a name too long.
  box.write_work("p.kif", "");
  for (const std::string& name : {std::string("p.kif/x"), std::string("p.kif/"), std::string(300, 'n') + ".kif"}) {
    EXPECT_EQ(after_banner(box.run({name}).err), name + ": No such file or directory\n" + std::string(kPause));
  }
}

TEST(CheckEndToEnd, MatchesGiveAllThreePagesAndOneBrowserOpen) {
  Sandbox box;
  // The run neither waits for the launcher nor shows its output.
  box.before_browser_open("echo launcher output; echo launcher error >&2; sleep 10");
  box.write_prog("vokt.dat", digest_file(std::string(kWorkedDirect) + " 00001 <b>direct</b> a b\n" +
                                         "0123456789abcdef 00002 other\n" + std::string(kWorkedMirrored) +
                                         " 00003 mirrored\n"));
  RunOptions options;
  options.env = {{"TZ", "UTC"}, {"LC_ALL", "ja_JP.UTF-8"}, {"LANG", "ja_JP.UTF-8"}};
  const auto start = std::chrono::steady_clock::now();
  check(box, sjis("作品名：例題\n後手の持駒：なし\n" + diagram(worked_board()) + "まで1手で詰み\n"), options);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_EQ(box.read_prog("voktkey.htm"), worked_key_page());
  EXPECT_EQ(box.read_prog("voktdata.htm"), db_page("  00001 <b>direct</b> a b\n* 00003 mirrored\n", 2));
  expect_now(checked_frame_date(box.read_prog("vokt.htm")), std::chrono::seconds(0));
  EXPECT_EQ(box.browser_opens(12000), std::vector<std::string>{box.frame_page_open()});
  if (!Sandbox::launched()) {
    for (const auto& entry : fs::directory_iterator(box.root())) {  // the tool's console files
      if (entry.path().extension() == ".txt") {
        EXPECT_EQ(read_file(entry.path()).find("launcher"), std::string::npos);
      }
    }
  }
  // The date is local time. No launcher on PATH is no failure: the user is
  // told where the page is (Wine's own bridge fails silently).
  options.env["TZ"] = "JST-9";
  options.env["PATH"] = (box.root() / "nowhere").string();
  box.write_work("p.kif", sjis(diagram(worked_board())));
  const RunResult unopened = box.run({"p.kif"}, options);
  EXPECT_EQ(unopened.status, 0);
  const std::string by_hand = "The browser could not be started: open " + (box.prog_dir() / "vokt.htm").string() +
                              " by hand\n";
  EXPECT_EQ(after_banner(unopened.err), Sandbox::launched() ? "" : by_hand);
  expect_now(checked_frame_date(box.read_prog("vokt.htm")), std::chrono::hours(9));
  // A launcher that starts but fails gets the same words.
  if (Sandbox::launched()) return;  // Wine's bridge does not wait for it
  box.before_browser_open("exit 3");
  const RunResult failed = box.run({"p.kif"});
  EXPECT_EQ(failed.status, 0);
  EXPECT_EQ(after_banner(failed.err), by_hand);
}

// The browser is asked to open the frame page only when all three pages are
// in place: the kernel opens the launcher to run it while the tool waits for
// that, so in one inotify queue the opening comes after the three renames.
// The launcher also copies the pages it finds.
TEST(CheckEndToEnd, BrowserOpensOnlyAfterAllPagesAreWritten) {
  Sandbox box;
  box.write_prog("vokt.dat", digest_file(std::string(kWorkedDirect) + " direct\n"));
  const fs::path seen = box.root() / "seen";
  fs::create_directory(seen);
  box.before_browser_open("cp '" + box.prog_dir().string() + "'/*.htm '" + seen.string() + "'");
  const int events = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(events, box.prog_dir().c_str(), IN_MOVED_TO), 0);
  ASSERT_GE(inotify_add_watch(events, (box.root() / "stub/xdg-open").c_str(), IN_OPEN), 0);
  check(box, sjis(diagram(worked_board())));
  ASSERT_EQ(box.browser_opens().size(), 1u);
  std::string order;  // the pages put in place, "|" for each opening of the launcher
  alignas(inotify_event) char buffer[4096];
  const ssize_t got = read(events, buffer, sizeof buffer);
  for (ssize_t at = 0; at < got; at += static_cast<ssize_t>(sizeof(inotify_event) + reinterpret_cast<inotify_event*>(buffer + at)->len)) {
    const auto* event = reinterpret_cast<inotify_event*>(buffer + at);
    order += event->len > 0 ? std::string(event->name) + " " : "| ";
  }
  close(events);
  if (!Sandbox::launched()) { EXPECT_TRUE(order.starts_with("voktkey.htm voktdata.htm vokt.htm | ")) << order; }
  EXPECT_EQ(read_file(seen / "voktkey.htm"), worked_key_page());
  EXPECT_EQ(read_file(seen / "voktdata.htm"), worked_result_page());
  EXPECT_EQ(read_file(seen / "vokt.htm"), box.read_prog("vokt.htm"));
  checked_frame_date(read_file(seen / "vokt.htm"));
}

// Against the known digests of worked_board() and the digests that build mode
// writes for a position with dragons and for a symmetric one.
TEST(CheckEndToEnd, SpellingsMirrorImageAndFirstDiagramOnly) {
  Sandbox box;
  Board dragons = worked_board(), respelled = worked_board(), symmetric = empty_board();
  for (const auto& [r, c, cell, other] : {std::tuple{4, 2, " 龍", " 竜"}, {1, 6, "v龍", "v竜"}, {0, 7, "v玉", "v王"},
                                          {8, 8, " 王", " 玉"}}) {
    put(dragons, r, c, cell);
    put(respelled, r, c, other);
  }
  put(symmetric, 0, 4, "v玉");
  put(symmetric, 2, 3, " 金");
  put(symmetric, 2, 5, " 金");
  put(symmetric, 8, 4, " 王");
  box.write_prog("vokt.dat", digest_file(std::string(kWorkedDirect) + " direct\n" + std::string(kWorkedMirrored) +
                                         " mirrored\n" + built_digest(box, sjis(diagram(dragons, "持駒：飛 角"))) +
                                         " dragons\n" + built_digest(box, sjis(diagram(symmetric))) + " symmetric\n"));
  const std::string as_found = "  direct\n* mirrored\n";
  const std::string shown = diagram(worked_board(), "持駒：飛 角");
  const std::string worked = sjis(diagram(worked_board()));
  Board king = worked_board();
  put(king, 8, 8, " 玉");
  Board second = worked_board();
  put(second, 4, 4, " 歩");
  std::string junk;  // binary bytes without 0x1A
  for (int byte = 0; byte < 256; ++byte) junk += static_cast<char>(byte == 0x1A ? '?' : byte);
  const std::string marked = replaced(replaced(diagram(worked_board()), "１\n", "１ <i>&</i>\n"), "|五\n", "|五>\n");
  struct Case {
    const char* what;
    std::string problem;  // Shift-JIS
    std::string matches, shown;
    int count = 2;
  };
  const Case cases[] = {
      {"mirror image", sjis(diagram(mirror(worked_board()))), "* direct\n  mirrored\n",
       diagram(mirror(worked_board()), "持駒：飛 角")},
      {"other king spelling, reordered hand, CR LF", crlf(sjis(diagram(king, "先手の持駒：角　飛"))), as_found,
       diagram(worked_board(), "持駒：角 飛")},
      {"hand without side label", sjis(diagram(worked_board(), "持駒：飛 角")), as_found, shown},
      {"two diagrams", sjis(diagram(worked_board()) + "\n" + diagram(second)), as_found, shown},
      {"a board header line after a NUL is not seen", '\0' + sjis(diagram(second)) + worked, as_found, shown},
      {"binary and a 3 MB line before it, no line end after it",
       junk + "\n" + std::string(3 << 20, 'x') + "\r\n" + worked.substr(0, worked.size() - 1), as_found, shown},
      {"markup beside the diagram", sjis(marked), as_found,
       replaced(replaced(shown, "１\n", "１ &lt;i&gt;&amp;&lt;/i&gt;\n"), "|五\n", "|五&gt;\n")},
      {"dragons and kings respelled", sjis(diagram(respelled, "先手の持駒：角　飛")), "  dragons\n",
       diagram(dragons, "持駒：角 飛"), 1},
      {"a symmetric position is listed once", sjis(diagram(symmetric)), "  symmetric\n", diagram(symmetric, "持駒：飛 角"), 1},
      {"markup in the hand, another hand", sjis(diagram(worked_board(), "先手の持駒：飛　角　<&>")), "",
       diagram(worked_board(), "持駒：飛 角 &lt;&amp;&gt;"), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    check(box, c.problem);
    EXPECT_EQ(box.read_prog("voktkey.htm"), key_page(c.shown));
    EXPECT_EQ(box.read_prog("voktdata.htm"), db_page(c.matches, c.count));
  }
}

constexpr std::string_view kBom = "\xEF\xBB\xBF";


// Every problem file of the corpus saved in UTF-8, without and with a
// byte-order mark, with LF and with CR LF line ends, answers exactly as the
// Shift-JIS file does.
TEST(CheckEndToEnd, Utf8CopiesOfTheCorpusAnswerAsTheShiftJisFiles) {
  VOKT_SKIP_WITHOUT_CORPUS(fs::path(VOKT_CORPUS_DIR) / "kif");
  std::vector<fs::path> paths;
  for (const auto& entry : fs::directory_iterator(fs::path(VOKT_CORPUS_DIR) / "kif")) paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  ASSERT_GT(paths.size(), 40u) << "corpus missing at " << VOKT_CORPUS_DIR;
  std::vector<std::string> problems;
  for (const fs::path& path : paths) problems.push_back(read_file(path));
  Sandbox box;
  box.write_prog("vokt.dat", built_digest_file(box, problems));  // where the problems find themselves
  int found = 0;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(paths[i].filename().string());
    const Answer expected = answer(box, "p.kif", problems[i]);
    found += std::get<0>(expected) == 0 && std::get<4>(expected).find(sjis("検出件数: 0件")) == std::string::npos;
    std::string lf = from_sjis(problems[i]);
    std::erase(lf, '\r');
    const std::pair<const char*, std::string> copies[] = {
        {"LF", lf}, {"CR LF", crlf(lf)}, {"BOM, LF", std::string(kBom) + lf}, {"BOM, CR LF", std::string(kBom) + crlf(lf)}};
    for (const auto& [what, utf8] : copies) EXPECT_EQ(answer(box, "p.kifu", utf8), expected) << what;
  }
  EXPECT_GT(found, static_cast<int>(paths.size()) * 3 / 4);
}

// A problem file in UTF-8 answers as its conversion to code page 932 does, in
// both builds: every character of a diagram converts alike, and one that
// code page 932 lacks becomes "?".
TEST(CheckEndToEnd, Utf8ProblemAnswersAsItsShiftJisConversion) {
  Sandbox box;
  Board every = worked_board();
  const char* pieces[] = {"歩", "香", "桂", "銀", "金", "角", "飛", "玉", "王", "と", "杏", "圭", "全", "馬", "龍", "竜"};
  for (int i = 0; i < 16; ++i) put(every, 3 + i / 9, i % 9, std::string(i % 2 == 0 ? " " : "v") + pieces[i]);
  const std::string all = "後手の持駒：なし\n" + replaced(diagram(every, "先手の持駒：飛　角　金二　銀十八　桂十ニ　香∞　歩十"),
                                                    "|一\n", "|一 ０１２３４５６７８９ 一二三四五六七八九十 双方上手下手\n");
  const std::string worked = diagram(worked_board());
  box.write_prog("vokt.dat", digest_file(std::string(kWorkedDirect) + " worked\n" + built_digest(box, sjis(all)) + " all\n"));
  const std::pair<std::string, std::string> problems[] = {  // in UTF-8, and converted
      {all, sjis(all)},
      {replaced(worked, "角\n", "角　ｱé😀\uFEFF\n"), sjis(replaced(worked, "角\n", "角　ｱ???\n"))}};
  for (const auto& [utf8, cp932] : problems) {
    const Answer expected = answer(box, "p.kif", cp932);
    EXPECT_EQ(std::get<0>(expected), 0);
    EXPECT_EQ(answer(box, "p.kifu", utf8), expected);
  }
}

TEST(CheckEndToEnd, DigestFileOfAnyShape) {
  Sandbox box;
  const std::string d(kWorkedDirect), m(kWorkedMirrored), nul(1, '\0');
  std::string binary;
  for (int byte = 0; byte < 256; ++byte) {
    if (byte != '\n' && byte != '\r' && byte != 0x1A) binary += static_cast<char>(byte);
  }
  struct Case {
    const char* what;
    std::string digest_file, header_one, header_two, matches;
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
      {"empty file", "", "", "", "", 0},
      {"one line", "#one\n", "one", "", "", 0},
      {"matching lines shorter than 18 bytes", "#one\n#two\n" + d + "\n" + m, "one", "two", "  * ", 2},
      {"text after a NUL is not seen", "#one" + nul + "x\n#two\n" + d + " cut" + nul + m + "\n" + nul + d + "\n", "one",
       "two", "  cut", 1},
      {"binary and a 3 MB line, no line end after a match",
       "#one\n#two\n" + binary + "\n" + std::string(3 << 20, 'x') + "\n" + d + " last", "one", "two", "  last", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    box.write_prog("vokt.dat", c.digest_file);
    check(box, sjis(diagram(worked_board())));
    EXPECT_EQ(box.read_prog("voktdata.htm"), result_page(c.header_one, c.header_two, c.matches, c.count));
    EXPECT_EQ(box.read_prog("vokt.dat"), c.digest_file);
  }
}

// A page that cannot be written in full (a file-size limit, as on a full
// disk) fails its stage like one that cannot be opened. A failed check puts
// the pages of the stages before the failing one in place, and the empty
// result page of a lookup without a digest file; the later pages stay as
// they were, and no file of its own is left behind.
TEST(CheckEndToEnd, AFailingStageLeavesThePagesOfTheStagesBeforeIt) {
  std::string many_matches;
  for (int i = 0; i < 50; ++i) many_matches += std::string(kWorkedDirect) + " a match that fills the page\n";
  const std::string worked = sjis(diagram(worked_board())), full = ": " + full_disk_text() + "\n";
  const std::string key = worked_key_page();
  struct Case {
    const char* what;
    bool with_digest_file;
    std::string problem, message;
    unsigned long limit;
    std::string key_page, result_page;  // on disk after the check
  };
  const Case cases[] = {
      {"problem file missing", true, "", "missing.kif: No such file or directory\n", 0, "old key", "old result"},
      {"no diagram", true, sjis("持駒：飛\n+---------------------------+\n"), "Kifu data not specified\n", 0, "old key",
       "old result"},
      {"diagram after 0x1A", true, "#\n\x1A" + worked, "Kifu data not specified\n", 0, "old key", "old result"},
      {"digest file missing", false, worked, "vokt.dat: No such file or directory\n", 0, key, ""},
      {"key page not written in full", true, worked, "voktkey.htm" + full, 300, "old key", "old result"},
      {"result page not written in full", true, worked, "voktdata.htm" + full, 1500, key, "old result"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    box.write_prog("voktkey.htm", "old key");
    box.write_prog("voktdata.htm", "old result");
    box.write_prog("vokt.htm", "old frame");
    if (c.with_digest_file) box.write_prog("vokt.dat", digest_file(many_matches));
    if (!c.problem.empty()) box.write_work("p.kif", c.problem);
    RunOptions options;
    if (c.limit != 0) options.file_size_limit = c.limit;
    const RunResult run = box.run({c.problem.empty() ? "missing.kif" : "p.kif"}, options);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    if (Sandbox::launched() && c.limit == 300) {
      // Under Wine msvcrt reports this write over an existing page with a
      // stale error code ("File exists"): only the form is checked there.
      EXPECT_TRUE(after_banner(run.err).starts_with("voktkey.htm: ") && run.err.ends_with(kPause)) << run.err;
    } else {
      EXPECT_EQ(after_banner(run.err), c.message + std::string(kPause));
    }
    EXPECT_EQ(box.read_prog("voktkey.htm"), c.key_page);
    EXPECT_EQ(box.read_prog("voktdata.htm"), c.result_page);
    EXPECT_EQ(box.read_prog("vokt.htm"), "old frame");
    EXPECT_TRUE(temporary_files(box.prog_dir()).empty());
    EXPECT_TRUE(box.browser_opens(500).empty());
  }
  // In a new program folder the failed lookup leaves the key page and an
  // empty result page, and no frame page.
  Sandbox fresh;
  fresh.write_work("p.kif", worked);
  EXPECT_EQ(fresh.run({"p.kif"}).status, 1);
  EXPECT_EQ(fresh.read_prog("voktkey.htm"), key);
  EXPECT_TRUE(fresh.prog_has("voktdata.htm") && fresh.read_prog("voktdata.htm").empty());
  EXPECT_FALSE(fresh.prog_has("vokt.htm"));
}

// Checks that overlap in one program directory take turns: the pages on disk
// always come from one and the same run, each page whole, and none fails.
TEST(CheckEndToEnd, OverlappingChecksLeaveThePagesOfOneRun) {
  Sandbox box;
  std::string matches;  // a result page of some 600 KB for the worked board
  for (int i = 0; i < 20000; ++i) matches += std::string(kWorkedDirect) + " match " + std::to_string(i) + "\n";
  box.write_prog("vokt.dat", digest_file(matches));
  Board other = empty_board();
  put(other, 4, 4, " 玉");
  box.write_work("a.kif", sjis(diagram(worked_board())));
  box.write_work("b.kif", sjis(diagram(other)));
  const auto pages = [&] { return std::pair(box.read_prog("voktkey.htm"), box.read_prog("voktdata.htm")); };
  ASSERT_EQ(box.run({"a.kif"}).status, 0);
  const auto pages_a = pages();
  ASSERT_EQ(box.run({"b.kif"}).status, 0);
  const auto pages_b = pages();
  // Also as the first processes of containers, where both have the id 1.
  RunOptions contained;
  contained.program = in_own_pid_namespace(box);
  for (int round = 0; round < (contained.program ? 30 : 20); ++round) {
    SCOPED_TRACE(round);
    const RunOptions& options = round >= 20 ? contained : RunOptions{};
    const pid_t a = box.start({"a.kif"}, options);
    const pid_t b = box.start({"b.kif"}, options);
    EXPECT_EQ(box.finish(a).status, 0);
    EXPECT_EQ(box.finish(b).status, 0);
    const auto now = pages();
    EXPECT_TRUE(now == pages_a || now == pages_b);
    checked_frame_date(box.read_prog("vokt.htm"));
    EXPECT_TRUE(temporary_files(box.prog_dir()).empty());
  }
}

// A check, and a build, that another run keeps waiting for the lock of their
// folder give up after 30 seconds (how the wait itself goes is the lock's
// own unit test). A lock file that is a symbolic link is not followed: the
// check goes on unlocked.
TEST(CheckEndToEnd, ACheckOrBuildGivesUpAfter30Seconds) {
  if (Sandbox::launched()) GTEST_SKIP() << "Wine's file locks are its own";
  Sandbox box;
  write_worked_check(box);
  for (const char* name : {"mirzfile.txt", "mirzlist.htm", "mirzdata.htm"}) box.write_work(name, "");
  const int held = hold_lock(box);
  const int held_here = open((box.work_dir() / "vokt.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_EQ(flock(held_here, LOCK_SH), 0);
  const auto start = std::chrono::steady_clock::now();
  const pid_t check = box.start({"p.kif"}), build = box.start({"vokt", "vokt"});
  const RunResult checked = box.finish(check), built = box.finish(build);
  const auto waited = std::chrono::steady_clock::now() - start;
  close(held);
  close(held_here);
  // The holder may be a check or a build: the message names neither.
  for (const RunResult& run : {checked, built}) {
    EXPECT_EQ(after_banner(run.err), "vokt.lock: Another run still holds the lock after 30 seconds\n" + std::string(kPause));
  }
  EXPECT_FALSE(box.work_has("vokt.dat"));
  EXPECT_GE(waited, std::chrono::seconds(30));
  EXPECT_LT(waited, std::chrono::seconds(32));
  fs::remove(box.prog_dir() / "vokt.lock");
  fs::create_symlink("../planted", box.prog_dir() / "vokt.lock");
  EXPECT_EQ(after_banner(box.run({"p.kif"}).err), kUnlocked);
  EXPECT_FALSE(fs::exists(box.root() / "planted"));
}

// A problem given through a FIFO (or a pipe: "vokt <(iconv ...)"), which can
// be read only once, is read into memory once for both stages, in UTF-8 too
// (the byte-order mark just before the board header line is not text). Up
// to 16 MB is read, from a FIFO and from a file alike, and a byte more is
// refused in any form. The problem is read before the lock is taken: all
// the while a check waits for a problem that never comes (a FIFO without a
// writer), and holds up none of them.
TEST(CheckEndToEnd, AProblemThatCanBeReadOnlyOnce) {
  if (Sandbox::launched()) GTEST_SKIP() << "Wine opens a FIFO without waiting for its writer";
  std::signal(SIGPIPE, SIG_IGN);
  Sandbox box;
  box.write_prog("vokt.dat", digest_file(std::string(kWorkedDirect) + " direct\n"));
  ASSERT_EQ(mkfifo((box.work_dir() / "never.fifo").c_str(), 0600), 0);
  const pid_t never = box.start({"never.fifo"});
  const std::string problem = sjis(diagram(worked_board())), pad((16 << 20) - problem.size() - 1, '#');
  const std::string csa = "P-21OU\nP+23KI19OU\nP+00HI00KA\n", comments((16 << 20) - csa.size(), '\'');
  struct Case {
    const char* what;
    std::string bytes;
    std::string err;
  };
  const Case cases[] = {
      {"written once", problem, ""},
      {"in UTF-8", "\xEF\xBB\xBF" + from_sjis(problem), ""},
      {"16 MB", pad + "\n" + problem, ""},
      {"a byte over 16 MB", pad + "#\n" + problem, "File too large"},
      {"CSA and comments of 16 MB", csa + comments, ""},
      {"CSA and comments a byte over 16 MB", csa + comments + "'", "File too large"},
  };
  for (const Case& c : cases) {
    for (const std::string name : {"p.fifo", "p.kif"}) {
      SCOPED_TRACE(std::string(c.what) + " in " + name);
      const fs::path path = box.work_dir() / name;
      fs::remove(box.prog_dir() / "voktkey.htm");
      std::atomic<bool> finished = false;  // the tool, which may never open the FIFO
      std::jthread writer;
      if (name == "p.kif") {
        box.write_work(name, c.bytes);
      } else {
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        writer = std::jthread([&] {
          int feed = -1;
          while (!finished && (feed = open(path.c_str(), O_WRONLY | O_NONBLOCK)) < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
          if (feed >= 0) fcntl(feed, F_SETFL, 0);
          for (std::size_t done = 0; feed >= 0 && done < c.bytes.size();) {
            const ssize_t n = write(feed, c.bytes.data() + done, c.bytes.size() - done);
            if (n <= 0) break;  // the tool has stopped reading
            done += static_cast<std::size_t>(n);
          }
          if (feed >= 0) close(feed);
        });
      }
      const RunResult run = box.run({name});
      finished = true;
      if (writer.joinable()) writer.join();
      fs::remove(path);
      EXPECT_EQ(after_banner(run.err), c.err.empty() ? "" : name + ": " + c.err + "\n" + std::string(kPause));
      EXPECT_EQ(run.status, c.err.empty() ? 0 : 1);
      if (c.err.empty()) {
        if (!c.bytes.starts_with(csa)) {
          EXPECT_EQ(box.read_prog("voktkey.htm"), worked_key_page());
        }
        EXPECT_EQ(box.read_prog("voktdata.htm"), worked_result_page());
      } else {
        EXPECT_FALSE(box.prog_has("voktkey.htm"));
      }
    }
  }
  kill(never, SIGTERM);
  EXPECT_EQ(box.finish(never).status, -1);
}

// A check stopped while it waits for the lock leaves the old pages and no
// file of its own, whatever stops it. What a killed check left after it had
// the lock (its new files, here longer than the new text) is replaced by the
// next check that has it.
TEST(CheckEndToEnd, AStoppedCheckLeavesTheOldPages) {
  if (Sandbox::launched()) GTEST_SKIP() << "Wine's file locks are its own";
  Sandbox box;
  write_worked_check(box);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    SCOPED_TRACE(strsignal(signal_number));
    write_old_pages(box);
    const int held = hold_lock(box);
    const pid_t child = box.start({"p.kif"});
    ASSERT_TRUE(wait_until_open(child, box.prog_dir() / "vokt.lock"));
    kill(child, signal_number);
    EXPECT_EQ(box.finish(child).status, -1);
    close(held);
    EXPECT_TRUE(old_pages(box));
    EXPECT_TRUE(temporary_files(box.prog_dir()).empty());
  }
  for (const char* page : kPages) box.write_prog(std::string(page) + ".new", std::string(100000, 'x'));
  check(box, sjis(diagram(worked_board())));
  EXPECT_EQ(box.read_prog("voktkey.htm"), worked_key_page());
  EXPECT_EQ(box.read_prog("voktdata.htm"), worked_result_page());
  EXPECT_TRUE(temporary_files(box.prog_dir()).empty());
}

// The three renames cannot be split: an interruption that comes between
// them (here sent by a stand-in for rename(2) right after the first or the
// second) takes effect once all three pages are in place. A new file that
// has gone by the time it is to be renamed stops the check and leaves its
// page as it was, never emptied: the page is rewritten in place only from a
// new file that is there.
TEST(CheckEndToEnd, AnInterruptionWaitsUntilAllThreePagesAreInPlace) {
  if (Sandbox::launched()) GTEST_SKIP() << "preloads a library into the Linux build";
  Sandbox box;
  write_worked_check(box);
  const auto new_pages = [&] {
    return box.read_prog("voktkey.htm") == worked_key_page() &&
           box.read_prog("voktdata.htm") == worked_result_page() && !checked_frame_date(box.read_prog("vokt.htm")).empty();
  };
  RunOptions hooked;
  hooked.env = {{"LD_PRELOAD", VOKT_RENAME_HOOK_LIBRARY}, {"ASAN_OPTIONS", "verify_asan_link_order=0"}};
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    for (const int after : {1, 2}) {
      SCOPED_TRACE(std::string(strsignal(signal_number)) + " after rename " + std::to_string(after));
      write_old_pages(box);
      hooked.env["VOKT_RENAME_HOOK"] = std::to_string(after) + " " + std::to_string(signal_number);
      EXPECT_EQ(box.run({"p.kif"}, hooked).status, -1);
      EXPECT_TRUE(new_pages());
      EXPECT_TRUE(temporary_files(box.prog_dir()).empty());
    }
  }
  const std::string old_page(100000, 'x');
  for (const int vanishing : {1, 2, 3}) {
    SCOPED_TRACE("new file " + std::to_string(vanishing) + " gone");
    for (const char* page : kPages) box.write_prog(page, old_page);
    hooked.env["VOKT_RENAME_HOOK"] = std::to_string(vanishing) + " vanish";
    const RunResult run = box.run({"p.kif"}, hooked);
    EXPECT_EQ(run.status, 1);
    const char* page = kPages[vanishing - 1];
    EXPECT_EQ(after_banner(run.err), std::string(page) + ": No such file or directory\n" + std::string(kPause));
    EXPECT_EQ(box.read_prog(page), old_page);
    EXPECT_TRUE(temporary_files(box.prog_dir()).empty());
  }
}

// Only regular files serve as the lock file or are replaced by pages. A
// check that cannot lock says why, naming vokt.lock, and goes on; a page
// that is (or links to) anything else stops the check.
TEST(CheckEndToEnd, OnlyRegularFilesAreLockedOrReplaced) {
  Sandbox box;
  write_worked_check(box);
  const fs::path lock = box.prog_dir() / "vokt.lock", other = box.root() / "other";
  write_file(other, "a file");
  for (const std::string_view shape : {"a directory", "a FIFO", "a link to a file"}) {
    SCOPED_TRACE(shape);
    if (Sandbox::launched() && shape != "a directory") continue;  // Linux file types
    fs::remove_all(lock);
    if (shape == "a directory") fs::create_directory(lock);
    if (shape == "a FIFO") mkfifo(lock.c_str(), 0600);  // no writer ever comes
    if (shape == "a link to a file") fs::create_symlink(other, lock);
    const RunResult run = box.run({"p.kif"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(after_banner(run.err), kUnlocked);
    EXPECT_EQ(box.read_prog("voktkey.htm"), worked_key_page());
  }
  if (Sandbox::launched()) return;
  write_old_pages(box);
  fs::remove(box.prog_dir() / "voktdata.htm");
  fs::remove(other);
  ASSERT_EQ(mkfifo(other.c_str(), 0600), 0);
  fs::create_symlink(other, box.prog_dir() / "voktdata.htm");
  const RunResult run = box.run({"p.kif"});
  EXPECT_EQ(run.status, 1);
  // The lock file is still a link: that is said before the key page is put in place.
  EXPECT_EQ(after_banner(run.err), "voktdata.htm: Permission denied\n" + kUnlocked + std::string(kPause));
  EXPECT_TRUE(fs::is_fifo(other));
  EXPECT_EQ(box.read_prog("voktkey.htm"), worked_key_page());
  EXPECT_EQ(box.read_prog("vokt.htm"), "old");
  EXPECT_TRUE(temporary_files(box.prog_dir()).empty());
}

// Links of the user's own (or root's) are followed, from the folder they
// stand in, whatever the current folder: the file they name is replaced
// (made where it is not there yet) and the link stays. In a folder that is
// sticky and writable by others, another user's link is not followed: the
// file it names, root's, is never written.
TEST(CheckEndToEnd, LinksAreFollowedUnlessAnotherUserPutThemInASharedFolder) {
  if (Sandbox::launched()) GTEST_SKIP() << "symbolic links of the Linux build";
  Sandbox box;
  box.write_prog("vokt.dat", digest_file(std::string(kWorkedDirect) + " direct\n"));
  const fs::path key = box.prog_dir() / "voktkey.htm", named = box.prog_dir() / "pages" / "key.htm";
  fs::create_directory(box.prog_dir() / "pages");
  for (const bool there : {false, true}) {
    SCOPED_TRACE(there ? "a link to a page" : "a link to a page not there yet");
    fs::remove(key);
    fs::create_symlink("pages/key.htm", key);
    check(box, sjis(diagram(worked_board())));
    EXPECT_TRUE(fs::is_symlink(key));
    EXPECT_EQ(read_file(named), worked_key_page());
    EXPECT_TRUE(temporary_files(box.prog_dir() / "pages").empty());
  }
  if (geteuid() != 0) return;  // another user's link needs root to make
  const fs::path roots = box.root() / "roots";
  write_file(roots, "root's own file");
  fs::permissions(box.prog_dir(), fs::perms(01777));
  fs::remove(key);
  fs::create_symlink(roots, key);
  ASSERT_EQ(lchown(key.c_str(), 65534, 65534), 0);
  box.write_work("p.kif", sjis(diagram(worked_board())));
  const RunResult run = box.run({"p.kif"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(after_banner(run.err), "voktkey.htm: Permission denied\n" + std::string(kPause));
  EXPECT_EQ(read_file(roots), "root's own file");
  ASSERT_EQ(lchown(key.c_str(), 0, 0), 0);  // root's own link there is followed
  check(box, sjis(diagram(worked_board())));
  EXPECT_EQ(read_file(roots), worked_key_page());
}

// A long result page goes to its new file as it is written, also where the
// old page could be rewritten in place: no page is held in memory whole (a
// second check of a digest file with many matches once took 289 MB).
TEST(CheckEndToEnd, ALongResultPageIsNotHeldInMemory) {
#ifdef VOKT_E2E_SANITIZED
  GTEST_SKIP() << "the sanitizers reserve address space of their own";
#endif
  if (Sandbox::launched()) GTEST_SKIP() << "Wine's address space is its own";
  Sandbox box;
  std::string records;
  for (int i = 0; i < 250000; ++i) records += std::string(kWorkedDirect) + " " + std::string(150, 'x') + "\n";
  box.write_prog("vokt.dat", digest_file(records));
  write_old_pages(box);
  RunOptions options;
  options.memory_limit = 32 << 20;
  check(box, sjis(diagram(worked_board())), options);
  EXPECT_GT(box.read_prog("voktdata.htm").size(), std::size_t{32} << 20);
}

// Where no new file can be made beside a page that the user may write (a
// program folder where new files are refused, a sticky folder of another
// user's pages), the page is rewritten in place. A lock file the user may
// only read serves; one the user may not open is said. A page that is not
// there cannot be made there either, and that fails as it always did.
TEST(CheckEndToEnd, PagesAreRewrittenInPlaceWhereNoNewFileCanBeMade) {
  if (Sandbox::launched()) GTEST_SKIP() << "runs the tool as another user";
  if (geteuid() != 0) GTEST_SKIP() << "runs the tool as another user, which needs root";
  Sandbox box;
  box.write_prog("vokt.dat", digest_file(std::string(kWorkedDirect) + " direct\n"));
  box.write_prog("vokt.lock", "");  // root's, which the user may only read
  box.write_work("p.kif", sjis(diagram(worked_board())));
  RunOptions nobody;
  nobody.as_nobody = true;
  for (const bool sticky : {true, false}) {
    SCOPED_TRACE(sticky ? "a sticky folder of root's pages" : "a folder of root's with the user's pages");
    fs::permissions(box.prog_dir(), sticky ? fs::perms(01777) : fs::perms(0755));
    write_old_pages(box);
    for (const char* page : kPages) {
      if (sticky) {
        fs::permissions(box.prog_dir() / page, fs::perms(0666));
      } else {
        ASSERT_EQ(chown((box.prog_dir() / page).c_str(), 65534, 65534), 0);
      }
    }
    const int held = sticky ? -1 : hold_lock(box);  // the lock serves: the check waits
    const pid_t child = box.start({"p.kif"}, nobody);
    if (!sticky) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      EXPECT_TRUE(old_pages(box));
      close(held);
    }
    const RunResult run = box.finish(child);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(after_banner(run.err), "");
    EXPECT_EQ(box.read_prog("voktkey.htm"), worked_key_page());
    EXPECT_EQ(box.read_prog("voktdata.htm"), worked_result_page());
    EXPECT_TRUE(temporary_files(box.prog_dir()).empty());
  }
  fs::permissions(box.prog_dir() / "vokt.lock", fs::perms(0600));
  EXPECT_EQ(after_banner(box.run({"p.kif"}, nobody).err), kUnlocked);
  fs::remove(box.prog_dir() / "voktkey.htm");
  const RunResult missing = box.run({"p.kif"}, nobody);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(after_banner(missing.err), "voktkey.htm: Permission denied\n" + std::string(kPause));
}

// Windows refuses to replace a page that another program has open: after
// ten seconds the check writes it in place. Interrupted (Ctrl-C) while it
// waits, it still puts all three pages in place before it ends.
TEST(CheckEndToEnd, APageOpenInAnotherProgram) {
  if (!Sandbox::launched()) GTEST_SKIP() << "Windows keeps a file that is open from being replaced";
  Sandbox box;
  write_worked_check(box);
  write_old_pages(box);
  RunOptions helper;
  helper.program = fs::path(std::getenv("VOKT_E2E_BINARY")).parent_path() / "vokt_hold_open.exe";
  const pid_t holder = box.start({"../prog/voktkey.htm", "60"}, helper);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const pid_t interrupted = box.start({"p.kif"});
  for (int waited = 0; waited < 10000 && temporary_files(box.prog_dir()).empty(); waited += 5) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  kill(interrupted, SIGINT);
  box.finish(interrupted);
  EXPECT_EQ(box.read_prog("voktkey.htm"), worked_key_page());
  EXPECT_EQ(box.read_prog("voktdata.htm"), worked_result_page());
  EXPECT_TRUE(temporary_files(box.prog_dir()).empty());
  write_old_pages(box);
  const auto start = std::chrono::steady_clock::now();
  check(box, sjis(diagram(worked_board())));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(box.read_prog("voktkey.htm"), worked_key_page());
  EXPECT_EQ(box.read_prog("voktdata.htm"), worked_result_page());
  EXPECT_TRUE(temporary_files(box.prog_dir()).empty());
  kill(holder, SIGKILL);
  box.finish(holder);
}

// A position written as CSA or SFEN, and a KIF file saved as UTF-16 or as
// UTF-8 with a stray byte, answer exactly as the Shift-JIS KIF file of the
// same position, and the mirror image as its mirror; a KIF file's own
// diagram decides over an SFEN line in it; a damaged CSA or SFEN file says
// what is wrong and writes no page.
TEST(CheckEndToEnd, PositionsInOtherFormsAnswerAsTheirKifFile) {
  const fs::path set = fs::path(VOKT_CORPUS_DIR) / "generated/seed_corpus1";
  VOKT_SKIP_WITHOUT_CORPUS(set);
  const std::string kif = read_file(set / "p0001.kif"), utf8 = from_sjis(kif);
  const std::string sfen = "9/8S/3s1kp2/3L4+P/3Lp2s1/9/9/9/K8 b P2r2b4gs4n2l14p";  // p0001
  const std::string csa = "'p0001\nV2.2\nN+\nN-\nP+12GI64KY,P+14TO65KY99OU\nP-63GI43OU33FU55FU25GI\nP+00FU\n"
                          "P-00AL\n+\n+1222GI\nP-11KI\n";
  Sandbox box;
  box.write_prog("vokt.dat", built_digest_file(box, {kif}));
  const Answer expected = answer(box, "p.kif", kif);
  ASSERT_EQ(std::get<0>(expected), 0);
  ASSERT_NE(std::get<4>(expected).find(sjis("検出件数: 1件")), std::string::npos);
  const std::pair<const char*, std::string> forms[] = {
      {"p.sfen", "sfen " + sfen + " 1\n"},
      {"p.usi", "position sfen " + sfen + " 1 moves 2b2c 4c4d\r\n"},
      {"p.txt", "\xEF\xBB\xBF# p0001\n" + sfen + "\n"},
      {"p.csa", csa},
      {"p.csa", crlf(csa)},
      {"p.kif", "\xFF\xFE" + *test::iconv_text("UTF-16LE", "UTF-8", utf8)},
      {"p.kif", "\xFE\xFF" + *test::iconv_text("UTF-16BE", "UTF-8", utf8)},
      {"p.kifu", utf8 + "caf\xE9\n"},
      {"p.kifu", "\xE3\x81\n" + utf8 + "\xE3\x81"},
      {"p.kif", "sfen 9/9/9/9/9/9/9/9/k8 b - 1\n" + kif}};
  for (const auto& [name, text] : forms) EXPECT_EQ(answer(box, name, text), expected) << name << "\n" << text;

  const std::string mirrored_sfen = "9/S8/2pk1s3/+P4L3/1s2pL3/9/9/9/8K b P2r2b4gs4n2l14p 1";
  const Answer mirrored = answer(box, "m.kif", read_file(set / "p0001.mirror.kif"));
  EXPECT_NE(std::get<4>(mirrored).find(sjis("検出件数: 1件")), std::string::npos);
  EXPECT_EQ(answer(box, "m.sfen", "sfen " + mirrored_sfen + "\n"), mirrored);

  const std::pair<std::string, std::string> damaged[] = {
      {"P1" + replaced(std::string(8, '.'), ".", " * ") + "\n", "rank line P1 with 8 cells"},
      {"P+55XX\n", "unknown piece \"XX\" in \"P+55XX\""},
      {"P+00HI00HI\nP-00HI\n", "3 rooks, more than a set holds"},
      {"sfen 9/9/9/9/9/9/9/9 b - 1\n", "SFEN board with 8 ranks"}};
  for (const auto& [text, what] : damaged) {
    const Answer answered = answer(box, "d.csa", text);
    EXPECT_EQ(std::get<0>(answered), 1) << text;
    EXPECT_EQ(after_banner(std::get<2>(answered)), "d.csa: " + what + "\n" + std::string(kPause));
    EXPECT_EQ(std::get<3>(answered), "(absent)");
  }
}

// The problem file is opened once per check whatever its form, also one
// without a diagram: an editor that saves it between two readings cannot
// give the digests of one version and the key page of another.
TEST(CheckEndToEnd, TheProblemFileIsOpenedOnce) {
  if (Sandbox::launched()) GTEST_SKIP() << "Wine opens files in its own ways";
  Sandbox box;
  box.write_prog("vokt.dat", digest_file(std::string(kWorkedDirect) + " direct\n"));
  const std::string kif = sjis(diagram(worked_board()));
  const std::pair<const char*, std::string> forms[] = {
      {"KIF", kif},
      {"UTF-8", from_sjis(kif)},
      {"UTF-16", "\xFF\xFE" + *iconv_text("UTF-16LE", "UTF-8", from_sjis(kif))},
      {"CSA", "P-21OU\nP+23KI19OU\nP+00HI00KA\n"},
      {"SFEN", "sfen 7k1/9/7G1/9/9/9/9/9/8K b RB 1\n"},
      {"no diagram", "a mate in one\n"}};
  for (const auto& [what, bytes] : forms) {
    SCOPED_TRACE(what);
    box.write_work("p.kif", bytes);
    const int events = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // Readings and closings too: identical events in a row are merged.
    ASSERT_GE(inotify_add_watch(events, (box.work_dir() / "p.kif").c_str(), IN_OPEN | IN_ACCESS | IN_CLOSE), 0);
    const RunResult run = box.run({"p.kif"});
    alignas(inotify_event) char buffer[4096];
    const ssize_t got = read(events, buffer, sizeof buffer);
    close(events);
    int opened = 0;
    for (ssize_t at = 0; at < got; at += static_cast<ssize_t>(sizeof(inotify_event))) {
      opened += (reinterpret_cast<inotify_event*>(buffer + at)->mask & IN_OPEN) != 0;
    }
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(run.status, what == std::string_view("no diagram") ? 1 : 0) << run.err;
    if (run.status == 0) {
      EXPECT_EQ(box.read_prog("voktdata.htm"), worked_result_page());
    }
  }
}

// The characters that the systems' converters map differently give the same
// bytes in both builds, from UTF-8 and from UTF-16. In the hand line they
// enter the digest, which the digest file must hold.
TEST(CheckEndToEnd, CharactersTheConvertersDifferOnGiveTheSameBytes) {
  std::string utf8_hand = "先手の持駒：飛　角　", cp932_hand = sjis(utf8_hand);
  for (const auto& [utf8, cp932] : kConverterDifferences) {
    utf8_hand += utf8;
    cp932_hand += cp932;
  }
  const std::string utf8 = diagram(worked_board(), utf8_hand);
  const std::string cp932 = replaced(sjis(diagram(worked_board(), "HAND")), "HAND", cp932_hand);
  Sandbox box;
  box.write_prog("vokt.dat", digest_file(built_digest(box, cp932) + " hand\n"));
  const Answer expected = answer(box, "p.kif", cp932);
  ASSERT_NE(std::get<4>(expected).find(sjis("検出件数: 1件")), std::string::npos);
  EXPECT_EQ(answer(box, "p.kifu", utf8), expected);
  EXPECT_EQ(answer(box, "p.kif", "\xFF\xFE" + *iconv_text("UTF-16LE", "UTF-8", utf8)), expected);
}

// A position of 16 MB in any form is refused in little more address space
// than the 16 MB the problem file may take (a long SFEN rank once took 1.8
// GB). A message quotes at most 40 bytes of the damaged text, with control
// bytes written out.
TEST(CheckEndToEnd, LargeAndHostilePositionsTakeLittleMemoryAndShortMessages) {
  const std::size_t size = 16 << 20;
  const auto repeated = [](std::string_view unit, std::size_t times) {
    std::string text;
    for (text.reserve(unit.size() * times); times > 0; --times) text += unit;
    return text;
  };
  const std::pair<std::string, std::string> cases[] = {
      {"sfen " + std::string(size - 40, '9') + "/9/9/9/9/9/9/9/9 b -\n", "SFEN rank 1 with more than 9 files"},
      {"sfen 9/9/9/9/9/9/9/9/9 b " + repeated("\x1B]0;x\x07", size / 6 - 5),
       R"(bad SFEN hand "\x1b]0;x\x07\x1b]0;x\x07\x1b]0;x\x07\x1b]0;x\x07\x1b]0;x\x07\x1b]0;x\x07\x1b]0;...")"},
      {"P+" + repeated("00FU", size / 4 - 1), "4194303 pawns, more than a set holds"},
      {"P1" + repeated(" * ", size / 3 - 1) + "\n", "rank line P1 with 5592404 cells"},
      {std::string("sfen 9/9/9/9/9/9/9/9/9 \0\a -\n", 28), R"(bad SFEN side "\x00\x07")"}};
  Sandbox box;
  box.write_prog("vokt.dat", digest_file(""));
  for (const auto& [bytes, what] : cases) {
    SCOPED_TRACE(what);
    box.write_work("p.kif", bytes);
    RunOptions options;
    // Not for Wine, nor for the sanitizers, which reserve address space of
    // their own.
#ifndef VOKT_E2E_SANITIZED
    if (!Sandbox::launched()) options.memory_limit = size + (8 << 20);
#endif
    const RunResult run = box.run({"p.kif"}, options);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(after_banner(run.err), "p.kif: " + what + "\n" + std::string(kPause));
  }
}

}  // namespace
}  // namespace vokt::e2e
