// Faults seen from outside the process: inputs that are not what the tool
// expects, a full disk, and a build killed halfway. Every failure is reported
// in the tool's own words and ends with exit status 1; nothing good is lost.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"

namespace vokt::e2e {
namespace {

constexpr std::string_view kPause = "\nEnter any key... \n";
constexpr std::string_view kWorkedDirect = "b87da5c8ec2be054";
constexpr std::string_view kWorkedMirrored = "2c369db0e0897f14";
// Larger than any buffer of the tool, so the line arrives in many pieces.
constexpr std::size_t kHugeLine = 6 * 1024 * 1024;

// The error stream after the banner (title line, notice line, empty line).
std::string after_banner(std::string_view err) {
  const std::size_t end = err.find("\n\n");
  EXPECT_NE(end, std::string_view::npos) << err;
  return std::string(end == std::string_view::npos ? err : err.substr(end + 2));
}

// The worked example's diagram block: direct digest kWorkedDirect, mirrored
// digest kWorkedMirrored.
std::string worked_diagram() {
  return sjis(
      "  ９ ８ ７ ６ ５ ４ ３ ２ １\n"
      "+---------------------------+\n"
      "| ・ ・ ・ ・ ・ ・ ・v玉 ・|一\n"
      "| ・ ・ ・ ・ ・ ・ ・ ・ ・|二\n"
      "| ・ ・ ・ ・ ・ ・ ・ 金 ・|三\n"
      "| ・ ・ ・ ・ ・ ・ ・ ・ ・|四\n"
      "| ・ ・ ・ ・ ・ ・ ・ ・ ・|五\n"
      "| ・ ・ ・ ・ ・ ・ ・ ・ ・|六\n"
      "| ・ ・ ・ ・ ・ ・ ・ ・ ・|七\n"
      "| ・ ・ ・ ・ ・ ・ ・ ・ ・|八\n"
      "| ・ ・ ・ ・ ・ ・ ・ ・ 王|九\n"
      "+---------------------------+\n"
      "先手の持駒：飛　角\n");
}

std::string worked_problem() { return crlf(sjis("# 詰将棋\n") + worked_diagram() + sjis("まで\n")); }

const std::string kFieldsOne = "詰将棋 1 作者一 教本 2024/01";
const std::string kFieldsTwo = "詰将棋 2 作者二 教本 2024/02";

// A digest file holding the worked example (record one) and its mirror image
// (record two) between two other problems.
std::string database() {
  return crlf("#Test collection\n#Four problems\n"
              "0123456789abcdef " + sjis("他 作者 教本 2023/12") + "\n" +
              std::string(kWorkedDirect) + " " + sjis(kFieldsOne) + "\n" +
              std::string(kWorkedMirrored) + " " + sjis(kFieldsTwo) + "\n"
              "fedcba9876543210 " + sjis("他 作者 教本 2024/03") + "\n#00004\n");
}

std::string count_line(int count) { return sjis("  検出件数: " + std::to_string(count) + "件") + "\r\n"; }

// Bytes of every value, from a fixed seed so a failure can be repeated.
std::string random_bytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(size, '\0');
  for (char& b : bytes) b = static_cast<char>(byte(generator));
  return bytes;
}

// The same without the byte that ends text input, so what follows is read.
std::string random_bytes_without_eof(std::size_t size, unsigned seed) {
  std::string bytes = random_bytes(size, seed);
  for (char& b : bytes) {
    if (b == '\x1A') b = '?';
  }
  return bytes;
}

constexpr std::string_view kPages[] = {"voktkey.htm", "voktdata.htm", "vokt.htm"};

// Report pages of an earlier run, which a failed run must not touch.
void write_old_pages(const Sandbox& box) {
  for (const auto page : kPages) box.write_prog(page, "earlier " + std::string(page));
}

void expect_old_page(const Sandbox& box, std::string_view page) {
  EXPECT_EQ(box.read_prog(page), "earlier " + std::string(page)) << page;
}

// A failed check: its message after the banner, the pause, no listing, the
// earlier pages kept and no browser started.
void expect_failed_check(const Sandbox& box, const RunResult& run, std::string_view message) {
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(after_banner(run.err), std::string(message) + std::string(kPause));
  EXPECT_TRUE(box.browser_opens(300).empty());
}

// A successful check's result page, after the frame page was opened.
std::string result_page_of_check(const Sandbox& box, const RunResult& run) {
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(after_banner(run.err), "");
  EXPECT_EQ(box.browser_opens(), std::vector<std::string>{box.frame_page_open()});
  const std::string page = box.read_prog("voktdata.htm");
  EXPECT_TRUE(page.starts_with("<html>\r\n")) << page.substr(0, 200);
  EXPECT_TRUE(page.ends_with("</pre>\r\n</body>\r\n</html>\r\n")) << page.substr(0, 200);
  return page;
}

// ---- Problem files ------------------------------------------------------------

TEST(FaultEndToEnd, AProblemPathThatIsADirectoryIsReported) {
  Sandbox box;
  write_old_pages(box);
  box.write_prog("vokt.dat", database());
  fs::create_directory(box.work_dir() / "problems");
  // The target refuses to open a directory as a file; both builds say so.
  expect_failed_check(box, box.run({"problems"}), "problems: Permission denied\n");
  for (const auto page : kPages) expect_old_page(box, page);
  EXPECT_EQ(box.read_prog("vokt.dat"), database());
}

TEST(FaultEndToEnd, ProblemFilesWithoutADiagramAreReported) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"empty", ""},
      {"no line end", sjis("# 詰将棋 持駒：なし まで")},
      {"binary", random_bytes(64 * 1024, 1)},
      {"only 0x1A bytes", std::string(4096, '\x1A')},
      {"one line of several megabytes", std::string(kHugeLine, 'x')},
      {"a diagram after 0x1A", sjis("# 詰将棋\n") + "\x1A" + worked_diagram()},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    Sandbox box;
    write_old_pages(box);
    box.write_prog("vokt.dat", database());
    box.write_work("problem.kif", bytes);
    const RunResult run = box.run({"problem.kif"});
    expect_failed_check(box, run, "Kifu data not specified\n");
    for (const auto page : kPages) expect_old_page(box, page);
  }
}

TEST(FaultEndToEnd, ADiagramAmongOddLinesIsStillFound) {
  const std::string diagram_lf = sjis("# 詰将棋\n") + worked_diagram();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"binary bytes before the diagram", random_bytes_without_eof(64 * 1024, 2) + "\n" + worked_problem()},
      {"a line of several megabytes before the diagram", std::string(kHugeLine, 'x') + "\r\n" + worked_problem()},
      {"no line end after the hand line", diagram_lf.substr(0, diagram_lf.size() - 1)},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    Sandbox box;
    box.write_prog("vokt.dat", database());
    box.write_work("problem.kif", bytes);
    const std::string page = result_page_of_check(box, box.run({"problem.kif"}));
    EXPECT_NE(page.find("  " + sjis(kFieldsOne) + "\r\n* " + sjis(kFieldsTwo) + "\r\n\r\n" + count_line(2)),
              std::string::npos)
        << page;
  }
}

// ---- Digest files -------------------------------------------------------------

TEST(FaultEndToEnd, OddDigestFilesGiveAPageWithoutMatches) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"empty", ""},
      {"only 0x1A bytes", std::string(4096, '\x1A')},
      {"no line end", "#Only a header"},
      {"binary", random_bytes(256 * 1024, 3)},
      {"one line of several megabytes", std::string(kHugeLine, 'x')},
      {"records after 0x1A", "#h1\r\n#h2\r\n\x1A" + database()},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    Sandbox box;
    box.write_prog("vokt.dat", bytes);
    box.write_work("problem.kif", worked_problem());
    const std::string page = result_page_of_check(box, box.run({"problem.kif"}));
    EXPECT_NE(page.find(sjis("[検索結果]") + "\r\n\r\n" + count_line(0)), std::string::npos) << page.substr(0, 300);
    EXPECT_EQ(box.read_prog("vokt.dat"), bytes);
  }
}

TEST(FaultEndToEnd, MatchesAmongOddLinesOfTheDigestFileAreFound) {
  // A line of several megabytes and a binary line between the records, and
  // the last record without its line end.
  std::string file = database();
  const std::string tail = std::string(kWorkedMirrored) + " " + sjis(kFieldsTwo);
  file.erase(file.find(tail));
  file += std::string(kHugeLine, 'x') + "\r\n" + random_bytes_without_eof(4096, 4) + "\r\n" + tail;
  Sandbox box;
  box.write_prog("vokt.dat", file);
  box.write_work("problem.kif", worked_problem());
  const std::string page = result_page_of_check(box, box.run({"problem.kif"}));
  EXPECT_NE(page.find("  " + sjis(kFieldsOne) + "\r\n"), std::string::npos);
  EXPECT_NE(page.find("* " + sjis(kFieldsTwo) + "\r\n" + count_line(2)), std::string::npos) << page.substr(0, 300);
}

// ---- Export files -------------------------------------------------------------

// The 43 bytes of opening markup of an identifier cell.
constexpr std::string_view kIdMarkup = "<a name=\"x\"></a><img src=\"p.gif\" width=\"8\">";
static_assert(kIdMarkup.size() == 43);

std::string list_row(std::string_view id, std::string_view fields) {
  return "<tr><td>" + std::string(kIdMarkup) + std::string(id) + "</td><td nowrap>" + std::string(fields) +
         "</td><td nowrap>a</td><td nowrap>b</td><td nowrap>c</td></tr>\n";
}

std::string data_record(std::string_view id, std::string_view body) {
  std::string record = "[";
  record.append(id).append("]\n").append(body);
  record.append("<a name=\"").append(id).append("\"><hr></a>\n");
  return record;
}

struct Export {
  std::string header = crlf("*Test collection\n*Two problems\n");
  std::string list = crlf(list_row("00001", "p 1") + list_row("00002", "p 2"));
  std::string data = crlf(data_record("00001", worked_diagram()) + data_record("00002", "no diagram\n"));
};

void write_export(const Sandbox& box, const Export& export_files) {
  box.write_work("mirzfile.txt", export_files.header);
  box.write_work("mirzlist.htm", export_files.list);
  box.write_work("mirzdata.htm", export_files.data);
}

const std::string kHeaderLines = "#Test collection\r\n#Two problems\r\n";
const std::string kRecordLines = std::string(kWorkedDirect) + " p 1 a b c\r\n0000000000000000 p 2 a b c\r\n#00002\r\n";

// A successful build: the closing message, no pause, no temporary file left.
std::string digest_file_of_build(const Sandbox& box, const RunResult& run) {
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.err.ends_with(": Processed data\n")) << run.err;
  EXPECT_FALSE(box.work_has("vokt.dat.new"));
  return box.read_work("vokt.dat");
}

TEST(FaultEndToEnd, OddHeaderFilesKeepTheRecords) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"empty", ""},
      {"binary", random_bytes(64 * 1024, 5)},
      {"one line of several megabytes", std::string(kHugeLine, 'x')},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    Sandbox box;
    Export export_files;
    export_files.header = bytes;
    write_export(box, export_files);
    const std::string digest_file = digest_file_of_build(box, box.run({"vokt", "vokt"}));
    EXPECT_TRUE(digest_file.starts_with("#"));
    EXPECT_TRUE(digest_file.ends_with("\r\n" + kRecordLines)) << digest_file.substr(0, 200);
  }
}

TEST(FaultEndToEnd, OddListPagesGiveNoRecords) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"empty", ""},
      {"binary", random_bytes(256 * 1024, 6)},
      {"one line of several megabytes", std::string(kHugeLine, 'x')},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    Sandbox box;
    Export export_files;
    export_files.list = bytes;
    write_export(box, export_files);
    EXPECT_EQ(digest_file_of_build(box, box.run({"vokt", "vokt"})), kHeaderLines + "#(null)\r\n");
  }
}

TEST(FaultEndToEnd, OddDataPagesGiveZeroDigests) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"empty", ""},
      {"binary", random_bytes(256 * 1024, 7)},
      {"one line of several megabytes", std::string(kHugeLine, 'x')},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    Sandbox box;
    Export export_files;
    export_files.data = bytes;
    write_export(box, export_files);
    EXPECT_EQ(digest_file_of_build(box, box.run({"vokt", "vokt"})),
              kHeaderLines + "0000000000000000 p 1 a b c\r\n0000000000000000 p 2 a b c\r\n#00002\r\n");
  }
}

TEST(FaultEndToEnd, OddLinesAroundAGoodExportChangeNothing) {
  const std::string huge = std::string(kHugeLine, 'x') + "\r\n";
  const std::string junk = random_bytes_without_eof(64 * 1024, 8) + "\r\n";
  const Export good;
  std::vector<std::pair<std::string, Export>> cases;
  cases.push_back({"a line of several megabytes before the list rows", good});
  cases.back().second.list = huge + good.list;
  cases.push_back({"binary bytes before the list rows", good});
  cases.back().second.list = junk + good.list;
  cases.push_back({"a line of several megabytes before the records", good});
  cases.back().second.data = huge + good.data;
  cases.push_back({"no line end after the last row and the last hand line", good});
  cases.back().second.list.resize(good.list.size() - 2);
  cases.back().second.data = crlf(data_record("00001", "no diagram\n") + "[00002]\n" + worked_diagram());
  cases.back().second.data.resize(cases.back().second.data.size() - 2);
  const std::vector<std::string> expected = {kRecordLines, kRecordLines, kRecordLines,
                                             "0000000000000000 p 1 a b c\r\n" + std::string(kWorkedDirect) +
                                                 " p 2 a b c\r\n#00002\r\n"};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].first);
    Sandbox box;
    write_export(box, cases[i].second);
    EXPECT_EQ(digest_file_of_build(box, box.run({"vokt", "vokt"})), kHeaderLines + expected[i]);
  }
}

// ---- A full disk ----------------------------------------------------------------

// The Windows program reports a write that the file-size limit stops as
// "Invalid argument".
std::string full_disk_text() { return Sandbox::launched() ? "Invalid argument" : "File too large"; }

TEST(FaultEndToEnd, AFullDiskDuringABuildLeavesTheOldDatabase) {
  // About 190 KB of digest file, more than one write buffer of the tool. The
  // limit applies to the console output files of the run as well, so it is
  // never below what the error stream needs.
  Export export_files;
  std::string rows;
  std::string records;
  for (int i = 0; i < 5000; ++i) {
    const std::string id = std::to_string(10000 + i);
    rows += list_row(id, "problem " + id);
    records += data_record(id, i % 50 == 0 ? worked_diagram() : "no diagram\n");
  }
  export_files.list = crlf(rows);
  export_files.data = crlf(records);
  for (const unsigned long limit : {512ul, 4096ul, 100000ul, 180000ul}) {
    SCOPED_TRACE(limit);
    Sandbox box;
    write_export(box, export_files);
    box.write_work("vokt.dat", database());
    RunOptions options;
    options.file_size_limit = limit;
    const RunResult run = box.run({"vokt", "vokt"}, options);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.ends_with("\n14999: Processed data\nvokt.dat: " + full_disk_text() + "\n" + std::string(kPause)))
        << run.err.substr(run.err.size() > 300 ? run.err.size() - 300 : 0);
    EXPECT_EQ(box.read_work("vokt.dat"), database());
    EXPECT_FALSE(box.work_has("vokt.dat.new"));
  }
}

TEST(FaultEndToEnd, AFullDiskDuringTheCheckPagesStopsTheRun) {
  // Long header lines make the result page larger than the key page, so a
  // limit can let the key page through and stop the result page.
  const std::string long_headers = crlf("#" + std::string(1000, 'h') + "\n#" + std::string(1000, 'i') + "\n");
  const std::string digest_file = long_headers + database().substr(database().find("0123"));
  std::uintmax_t key_size = 0;
  {
    Sandbox box;
    box.write_prog("vokt.dat", digest_file);
    box.write_work("problem.kif", worked_problem());
    result_page_of_check(box, box.run({"problem.kif"}));
    key_size = fs::file_size(box.prog_dir() / "voktkey.htm");
    ASSERT_GT(fs::file_size(box.prog_dir() / "voktdata.htm"), key_size);
  }
  struct Case {
    unsigned long limit;
    std::string_view failing_page;
  };
  // The limit applies to the console output files too: 256 bytes hold the
  // error stream of the run.
  for (const Case& c : {Case{512, "voktkey.htm"}, Case{static_cast<unsigned long>(key_size), "voktdata.htm"}}) {
    SCOPED_TRACE(c.limit);
    Sandbox box;
    write_old_pages(box);
    box.write_prog("vokt.dat", digest_file);
    box.write_work("problem.kif", worked_problem());
    RunOptions options;
    options.file_size_limit = c.limit;
    const RunResult run = box.run({"problem.kif"}, options);
    if (Sandbox::launched() && c.failing_page == "voktkey.htm") {
      // Under Wine this limited write of the key page comes back from msvcrt
      // with an unrelated error code ("File exists"); only the page's name
      // and the form of the report are checked there.
      EXPECT_EQ(run.status, 1);
      EXPECT_TRUE(after_banner(run.err).starts_with("voktkey.htm: ")) << run.err;
      EXPECT_TRUE(run.err.ends_with(kPause)) << run.err;
      EXPECT_TRUE(box.browser_opens(300).empty());
    } else {
      expect_failed_check(box, run, std::string(c.failing_page) + ": " + full_disk_text() + "\n");
    }
    expect_old_page(box, "vokt.htm");
    if (c.failing_page == "voktdata.htm") {
      EXPECT_EQ(fs::file_size(box.prog_dir() / "voktkey.htm"), key_size);
    }
    EXPECT_EQ(box.read_prog("vokt.dat"), digest_file);
    EXPECT_EQ(box.read_work("problem.kif"), worked_problem());
  }
}

// ---- A killed build -----------------------------------------------------------

// Waits up to ten seconds for `ready`.
template <typename Condition>
bool wait_for(Condition ready) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

TEST(FaultEndToEnd, AKilledBuildLeavesTheOldDatabaseAndTheNextBuildSucceeds) {
  // Wine opens a FIFO without waiting for the other end.
  if (Sandbox::launched()) GTEST_SKIP() << "the data page is fed through a FIFO";
  signal(SIGPIPE, SIG_IGN);  // a tool that dies early must fail the test, not end it
  // 20000 rows; the first hundred records have the worked example's diagram.
  constexpr int kRows = 20000;
  std::string rows;
  std::string records;
  for (int i = 0; i < kRows; ++i) {
    char id[8];
    std::snprintf(id, sizeof id, "%05d", i);
    rows += list_row(id, "problem " + std::string(id));
    records += crlf(data_record(id, i < 100 ? worked_diagram() : "no diagram\n"));
  }
  Export export_files;
  export_files.list = crlf(rows);
  export_files.data = records;

  Sandbox box;
  box.write_work("mirzfile.txt", export_files.header);
  box.write_work("mirzlist.htm", export_files.list);
  box.write_work("vokt.dat", database());
  // The data page is a FIFO fed with half the records and then held open, so
  // the build is certain to be in the middle of its work when it is killed.
  const fs::path fifo = box.work_dir() / "mirzdata.htm";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const pid_t child = box.start({"vokt", "vokt"});
  int feed = -1;
  ASSERT_TRUE(wait_for([&] { return (feed = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; }))
      << "the build never opened the data page";
  ASSERT_EQ(fcntl(feed, F_SETFL, 0), 0);
  const std::string_view half = std::string_view(records).substr(0, records.size() / 2);
  for (std::size_t written = 0; written < half.size();) {
    const ssize_t n = write(feed, half.data() + written, half.size() - written);
    ASSERT_GT(n, 0) << "the build stopped reading the data page";
    written += static_cast<std::size_t>(n);
  }
  const fs::path temporary = box.work_dir() / "vokt.dat.new";
  ASSERT_TRUE(wait_for([&] { return fs::exists(temporary) && fs::file_size(temporary) > 0; }));
  box.kill_child(child);
  close(feed);

  EXPECT_EQ(box.read_work("vokt.dat"), database());
  const std::string leftover = box.read_work("vokt.dat.new");
  ASSERT_FALSE(leftover.ends_with("#19999\r\n")) << "the build was not stopped halfway";
  ASSERT_NE(leftover.find(kWorkedDirect), std::string::npos);

  // A check run beside the old database and the leftover reads only the old
  // database: the leftover's records of the worked example are not found.
  const std::string old_without_worked = crlf("#Old\n#One problem\n0123456789abcdef x\n#00001\n");
  box.write_prog("vokt.dat", old_without_worked);
  box.write_prog("vokt.dat.new", leftover);
  box.write_work("problem.kif", worked_problem());
  const std::string page = result_page_of_check(box, box.run({"problem.kif"}));
  EXPECT_NE(page.find("<title>Old</title>"), std::string::npos);
  EXPECT_NE(page.find(count_line(0)), std::string::npos);

  // The next build, with the whole data page, replaces the leftover and the
  // old database.
  fs::remove(fifo);
  box.write_work("mirzdata.htm", export_files.data);
  const RunResult run = box.run({"vokt", "vokt"});
  const std::string digest_file = digest_file_of_build(box, run);
  EXPECT_TRUE(digest_file.starts_with(kHeaderLines + std::string(kWorkedDirect) + " problem 00000 a b c\r\n"));
  EXPECT_TRUE(digest_file.ends_with("0000000000000000 problem 19999 a b c\r\n#19999\r\n"));
  EXPECT_EQ(std::count(digest_file.begin(), digest_file.end(), '\n'), kRows + 3);
}

}  // namespace
}  // namespace vokt::e2e
