// Build mode seen from outside: "vokt vokt" in a directory holding an export
// of the problem database rebuilds vokt.dat there.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>

#include "harness.h"

namespace vokt::e2e {
namespace {

const Fields kF1 = {"詰将棋 1", "作者一", "教本", "2024/01"};
const Fields kF2 = {"詰将棋 2", "作者二", "教本", "2024/02"};
const Fields kF3 = {"詰将棋 3", "作者三", "教本", "2024/03"};
const std::string kHeaderLines = "#Test collection\r\n#Twelve problems, 2024\r\n";

// The three export files, UTF-8 turned into Shift-JIS with CR LF. The list
// has a heading row with class= that never counts as a row.
void write_export(const Sandbox& box, std::string_view rows, std::string_view records) {
  box.write_work("mirzfile.txt", crlf("*Test collection\n*Twelve problems, 2024\n"));
  box.write_work("mirzlist.htm", crlf(sjis("<html><body><table>\n<tr class=\"head\"><td nowrap>番号</td></tr>\n" +
                                           std::string(rows) + "</table></body></html>\n")));
  box.write_work("mirzdata.htm", crlf(sjis("<html><body><pre>\n" + std::string(records) + "</pre></body></html>\n")));
}

std::string record_line(std::string_view digest, const Fields& f) {
  return crlf(std::string(digest) + " " + sjis(f[0] + " " + f[1] + " " + f[2] + " " + f[3]) + "\n");
}

std::string listing(std::string_view id, std::string_view hand = "持駒：飛 角") {
  std::string text = "[";
  text += id;
  return text.append("]\n").append(sjis(hand)).append("*\n");
}

// An export of `count` rows "10000", "10001", ..., every `every`th record
// with a diagram.
void write_large_export(const Sandbox& box, int count, int every = 50) {
  std::string rows, records;
  for (int i = 0; i < count; ++i) {
    const std::string id = std::to_string(10000 + i);
    rows += list_row(id, {"problem " + id, "a", "b", "c"});
    records += record(id, i % every == 0 ? diagram(worked_board()) : "no diagram\n");
  }
  write_export(box, rows, records);
}

// Bytes of every value from a fixed seed, optionally without 0x1A.
std::string random_bytes(std::size_t size, unsigned seed, bool allow_eof = true) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& b : bytes) b = static_cast<char>(generator() & 0xFF);
  if (!allow_eof) std::replace(bytes.begin(), bytes.end(), '\x1A', '?');
  return bytes;
}

TEST(BuildEndToEnd, PairsRowsWithRecordsAndDigestsTheirDiagrams) {
  Board respelled = worked_board();
  put(respelled, 0, 7, "v王");
  put(respelled, 8, 8, " 玉");
  const std::string rows = list_row("00001", kF1) + list_row("00002", kF2) + list_row("00003", kF3);
  const Fields no_space = {"詰将棋1", "作者一", "教本", "2024/01"};
  struct Case {
    const char* what;
    std::string rows, records, digest_file, listing;
  };
  const Case cases[] = {
      {"three rows", rows,
       record("00001", diagram(worked_board())) + record("00002", diagram(mirror(worked_board()))) +
           record("00003", diagram(respelled, "持駒：角 飛")),
       record_line(kWorkedDirect, kF1) + record_line(kWorkedMirrored, kF2) + record_line(kWorkedDirect, kF3),
       listing("00001") + listing("00002") + listing("00003", "持駒：角 飛")},
      // Row 1 has no space in its first field; record 2 has no diagram before
      // its separator (a line holding both counts as the separator). Rows
      // with class= and lines without cells do not count.
      {"zero digests", list_row("00001", no_space) + "<tr class=\"odd\"><td nowrap>x y</td></tr>\n<tr>\n" +
           list_row("00002", kF2) + list_row("00003", kF3),
       record("00001", diagram(worked_board())) +
           record("00002", "<a name=\"s\"><hr></a>  ９ ８ ７ ６ ５ ４ ３ ２ １\n") +
           record("00003", diagram(mirror(worked_board()))),
       record_line(kZero, no_space) + record_line(kZero, kF2) + record_line(kWorkedMirrored, kF3), listing("00003")},
      // Record 1 runs on into record 2's diagram; row 2 gets record 3's, and
      // row 3 finds the data page at its end.
      {"a record with neither separator nor diagram", rows,
       record("00001", "解説のみ\n", false) + record("00002", diagram(worked_board())) +
           record("00003", diagram(mirror(worked_board()))),
       record_line(kWorkedDirect, kF1) + record_line(kWorkedMirrored, kF2) + record_line(kZero, kF3),
       listing("00001") + listing("00002")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    box.write_work("vokt.dat", "old database\r\n");
    // What a killed build left, longer than the new text: replaced whole.
    box.write_work("vokt.dat.new", std::string(100000, 'x'));
    write_export(box, c.rows, c.records);
    const RunResult run = box.run({"vokt", "vokt"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(box.read_work("vokt.dat"), kHeaderLines + c.digest_file + "#00003\r\n");
    EXPECT_EQ(run.out, c.listing);
    EXPECT_EQ(after_banner(run.err), "00003: Processed data\n");
    EXPECT_TRUE(temporary_files(box.work_dir()).empty());
  }
}

TEST(BuildEndToEnd, HeaderLinesAlwaysEndWithALineEnd) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\n*Second\n", "#\n#Second\n"},
      {"*First\n\n", "#First\n#\n"},
      {"*First\n*Second", "#First\n#Second\n"},
      {"*Only", "#Only\n#\n"},
      {"*Only\n", "#Only\n#\n"},
      {"", "#\n#\n"},
      {"*First\r\n*Second\r\n*Third\r\n", "#First\n#Second\n"},
  };
  for (const auto& [source, headers] : cases) {
    SCOPED_TRACE(source);
    Sandbox box;
    write_export(box, list_row("00001", kF1), record("00001", "解説のみ\n"));
    box.write_work("mirzfile.txt", source);
    ASSERT_EQ(box.run({"vokt", "vokt"}).status, 0);
    EXPECT_EQ(box.read_work("vokt.dat"), crlf(headers) + record_line(kZero, kF1) + "#00001\r\n");
  }
}

TEST(BuildEndToEnd, MalformedListRowsGiveEmptyTexts) {
  Sandbox box;
  const std::string cell = "<td>" + std::string(kIdMarkup);
  const std::string rows =
      "<tr><td nowrap>a b</td><td nowrap>c</td><td nowrap>d</td><td nowrap>e</td></tr>\n"  // no identifier cell
      + cell + "00002</td><td nowrap>p q</td><td nowrap>r</td></tr>\n"                       // two cells missing
      + cell + "00003</td><td nowrap>s t<td nowrap>u</td><td nowrap>v</td><td nowrap>w</td>\n"  // runs into the next
      + cell + "00004</td><td nowrap>x y</td><td nowrap>1</td><td nowrap>2</td><td nowrap>3\n"  // ends at the row end
      + "<td>short</td><td nowrap>z</td>\n"  // identifier cell shorter than its markup
      + cell + "00005</td><td nowrap>g h</td><td nowrap>i" + '\0' + "</td><td nowrap>j</td>\n"  // a NUL ends the row
      + cell + "00006</td><td nowrap>";     // empty last cell at the end of the file
  write_export(box, "", "");
  box.write_work("mirzlist.htm", crlf(rows));
  const RunResult run = box.run({"vokt", "vokt"});
  EXPECT_EQ(run.status, 0);
  const std::string z(kZero);
  EXPECT_EQ(box.read_work("vokt.dat"),
            kHeaderLines + crlf(z + " a b c d e\n" + z + " p q r  \n" + z + " s t<td nowrap>u u v w\n" + z +
                                " x y 1 2 3\n" + z + "    \n" + z + " g h i  \n" + z + "    \n#00006\n"));
  EXPECT_EQ(after_banner(run.err), "00006: Processed data\n");
}

// Odd export files never stop a build; each loses only what it held.
TEST(BuildEndToEnd, OddExportFiles) {
  const std::string huge = std::string(6 << 20, 'x');
  const std::string good_list = crlf(sjis(list_row("00001", kF1) + list_row("00002", kF2)));
  const std::string good_data = crlf(sjis(record("00001", diagram(worked_board())) + record("00002", "図なし\n")));
  const std::string good_records = record_line(kWorkedDirect, kF1) + record_line(kZero, kF2) + "#00002\r\n";
  const std::string zero_records = record_line(kZero, kF1) + record_line(kZero, kF2) + "#00002\r\n";
  struct Case {
    const char* what;
    std::string file, bytes, records;
    bool cut_list = false;
  };
  std::string cut_data = crlf(sjis(record("00001", "図なし\n") + "[00002]\n" + diagram(worked_board())));
  cut_data.resize(cut_data.size() - 2);
  const Case cases[] = {
      {"empty header", "mirzfile.txt", "", good_records},
      {"binary header", "mirzfile.txt", random_bytes(64 << 10, 5), good_records},
      {"huge header", "mirzfile.txt", huge, good_records},
      {"empty list", "mirzlist.htm", "", "#(null)\r\n"},
      {"binary list", "mirzlist.htm", random_bytes(256 << 10, 6), "#(null)\r\n"},
      {"huge list", "mirzlist.htm", huge, "#(null)\r\n"},
      {"empty data", "mirzdata.htm", "", zero_records},
      {"binary data", "mirzdata.htm", random_bytes(256 << 10, 7), zero_records},
      {"huge data", "mirzdata.htm", huge, zero_records},
      {"huge line before the rows", "mirzlist.htm", huge + "\r\n" + good_list, good_records},
      {"binary before the rows", "mirzlist.htm", random_bytes(64 << 10, 8, false) + "\r\n" + good_list,
       good_records},
      {"huge line before the records", "mirzdata.htm", huge + "\r\n" + good_data, good_records},
      {"no line end after the last row and hand line", "mirzdata.htm", cut_data,
       record_line(kZero, kF1) + record_line(kWorkedDirect, kF2) + "#00002\r\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    write_export(box, list_row("00001", kF1) + list_row("00002", kF2),
                 record("00001", diagram(worked_board())) + record("00002", "図なし\n"));
    if (c.cut_list) box.write_work("mirzlist.htm", good_list.substr(0, good_list.size() - 2));
    box.write_work(c.file, c.bytes);
    const RunResult run = box.run({"vokt", "vokt"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.ends_with(": Processed data\n")) << run.err;
    const std::string built = box.read_work("vokt.dat");
    if (c.file == "mirzfile.txt") {
      EXPECT_TRUE(built.starts_with("#") && built.ends_with("\r\n" + c.records)) << built.substr(0, 200);
    } else {
      EXPECT_EQ(built, kHeaderLines + c.records);
    }
  }
}

TEST(BuildEndToEnd, AMissingExportFileLeavesTheOldDatabase) {
  for (const std::string_view name : {"mirzfile.txt", "mirzlist.htm", "mirzdata.htm"}) {
    SCOPED_TRACE(name);
    Sandbox box;
    write_export(box, list_row("00001", kF1), record("00001", diagram(worked_board())));
    box.write_work("vokt.dat", "old database\r\n");
    fs::remove(box.work_dir() / name);
    const RunResult run = box.run({"vokt", "vokt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(after_banner(run.err), std::string(name) + ": No such file or directory\n" + std::string(kPause));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(box.read_work("vokt.dat"), "old database\r\n");
    EXPECT_TRUE(temporary_files(box.work_dir()).empty());
  }
}

// A full disk at any point of the write (limits also apply to the console
// files, so never below what the error stream needs) keeps the old database.
TEST(BuildEndToEnd, AFullDiskLeavesTheOldDatabase) {
  for (const unsigned long limit : {512ul, 4096ul, 100000ul, 180000ul}) {
    SCOPED_TRACE(limit);
    Sandbox box;
    write_large_export(box, 5000);
    box.write_work("vokt.dat", "old database\r\n");
    RunOptions options;
    options.file_size_limit = limit;
    const RunResult run = box.run({"vokt", "vokt"}, options);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.ends_with("\n14999: Processed data\nvokt.dat: " + full_disk_text() + "\n" +
                                  std::string(kPause)))
        << run.err.substr(run.err.size() > 300 ? run.err.size() - 300 : 0);
    EXPECT_EQ(box.read_work("vokt.dat"), "old database\r\n");
    EXPECT_TRUE(temporary_files(box.work_dir()).empty());
  }
}

// A build stopped halfway leaves the old database. Interrupted (SIGINT,
// SIGTERM, SIGHUP), it removes its new file and ends by the signal; killed
// (SIGKILL), it leaves the file, which the next build replaces.
TEST(BuildEndToEnd, AnInterruptedOrKilledBuildLeavesTheOldDatabase) {
  // Wine opens a FIFO without waiting for its writer.
  if (Sandbox::launched()) GTEST_SKIP() << "the data page is fed through a FIFO";
  std::signal(SIGPIPE, SIG_IGN);
  constexpr int kRows = 20000;
  std::string rows;
  std::string records;
  for (int i = 0; i < kRows; ++i) {
    char id[8];
    std::snprintf(id, sizeof id, "%05d", i);
    rows += list_row(id, kF1);
    records += record(id, diagram(worked_board()));
  }
  Sandbox box;
  write_export(box, rows, records);
  const std::string data = box.read_work("mirzdata.htm");
  const fs::path fifo = box.work_dir() / "mirzdata.htm";
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    SCOPED_TRACE(strsignal(signal_number));
    box.write_work("vokt.dat", "old database\r\n");
    // The data page is a FIFO fed with half the records and then held open,
    // so the build is surely in the middle of its work when it is stopped.
    fs::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const pid_t child = box.start({"vokt", "vokt"});
    const int feed = open(fifo.c_str(), O_WRONLY);  // waits for the build to open it
    ASSERT_GE(feed, 0);
    for (std::size_t written = 0; written < data.size() / 2;) {
      const ssize_t n = write(feed, data.data() + written, data.size() / 2 - written);
      ASSERT_GT(n, 0) << "the build stopped reading the data page";
      written += static_cast<std::size_t>(n);
    }
    const fs::path temporary = box.work_dir() / "vokt.dat.new";
    for (int waited = 0; waited < 10000 && (!fs::exists(temporary) || fs::file_size(temporary) == 0); ++waited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(child, signal_number);
    const RunResult stopped = box.finish(child);
    close(feed);
    EXPECT_EQ(stopped.status, -1);
    EXPECT_EQ(box.read_work("vokt.dat"), "old database\r\n");
    if (signal_number != SIGKILL) {
      EXPECT_TRUE(temporary_files(box.work_dir()).empty());
      continue;
    }
    const std::string leftover = read_file(temporary);
    ASSERT_FALSE(leftover.ends_with("#19999\r\n")) << "the build was not stopped halfway";
    fs::remove(fifo);
    box.write_work("mirzdata.htm", data);
    const RunResult run = box.run({"vokt", "vokt"});
    EXPECT_EQ(run.status, 0);
    const std::string digest_file = box.read_work("vokt.dat");
    EXPECT_EQ(std::count(digest_file.begin(), digest_file.end(), '\n'), kRows + 3);
    EXPECT_TRUE(digest_file.ends_with(record_line(kWorkedDirect, kF1) + "#19999\r\n"));
    EXPECT_TRUE(temporary_files(box.work_dir()).empty());
  }
}

// Builds that overlap in one directory take turns, each putting a whole
// database in place: the last one wins, and none reports a false error.
TEST(BuildEndToEnd, OverlappingBuildsEachPutAWholeDatabaseInPlace) {
  Sandbox box;
  write_large_export(box, 20000);
  const RunResult single = box.run({"vokt", "vokt"});
  ASSERT_EQ(single.status, 0) << single.err;
  const std::string expected = box.read_work("vokt.dat");
  RunOptions contained;  // also where every build has the id 1, as in containers
  contained.program = in_own_pid_namespace(box);
  for (int round = 0; round < (contained.program ? 6 : 4); ++round) {
    SCOPED_TRACE(round);
    std::vector<pid_t> builds;
    for (int i = 0; i < 3; ++i) builds.push_back(box.start({"vokt", "vokt"}, round >= 4 ? contained : RunOptions{}));
    for (const pid_t build : builds) {
      const RunResult run = box.finish(build);
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(run.err, single.err);
    }
    EXPECT_TRUE(box.read_work("vokt.dat") == expected);
    EXPECT_TRUE(temporary_files(box.work_dir()).empty());
  }
}

// Links and permission bits: a "vokt.dat.new" link left in the folder is
// removed, never written through; a "vokt.dat" link keeps pointing at the new database; the new
// file keeps the old one's permission bits whatever the umask; only a
// regular file is ever replaced.
TEST(BuildEndToEnd, LinksAndPermissionsOfTheDigestFile) {
  if (Sandbox::launched()) GTEST_SKIP() << "symbolic links and permission bits of the Linux build";
  struct Case {
    const char* what;
    const char* new_link;  // where a planted vokt.dat.new points, if anywhere
    bool dat_link;         // vokt.dat a link to ../prog/vokt.dat
  };
  for (const Case& c : {Case{"vokt.dat.new a link to another file", "../other.txt", false},
                        Case{"vokt.dat.new a link to vokt.dat", "vokt.dat", false},
                        Case{"vokt.dat a link into the program directory", nullptr, true}}) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    write_export(box, list_row("00001", kF1), record("00001", diagram(worked_board())));
    write_file(box.root() / "other.txt", "other\n");
    const fs::path old_file = c.dat_link ? box.prog_dir() / "vokt.dat" : box.work_dir() / "vokt.dat";
    write_file(old_file, "old database\r\n");
    fs::permissions(old_file, fs::perms(0664));
    if (c.dat_link) fs::create_symlink("../prog/vokt.dat", box.work_dir() / "vokt.dat");
    if (c.new_link) fs::create_symlink(c.new_link, box.work_dir() / "vokt.dat.new");
    RunOptions options;
    options.umask = 077;
    EXPECT_EQ(box.run({"vokt", "vokt"}, options).status, 0);
    EXPECT_EQ(read_file(old_file), kHeaderLines + record_line(kWorkedDirect, kF1) + "#00001\r\n");
    EXPECT_EQ(fs::status(old_file).permissions(), fs::perms(0664));
    EXPECT_EQ(fs::is_symlink(box.work_dir() / "vokt.dat"), c.dat_link);
    EXPECT_EQ(read_file(box.root() / "other.txt"), "other\n");
    EXPECT_TRUE(temporary_files(box.work_dir()).empty());
    EXPECT_TRUE(temporary_files(box.prog_dir()).empty());
  }
  // A link to a database not built yet: the build makes the file it names.
  Sandbox box;
  write_export(box, list_row("00001", kF1), record("00001", diagram(worked_board())));
  fs::create_symlink("../prog/vokt.dat", box.work_dir() / "vokt.dat");
  EXPECT_EQ(box.run({"vokt", "vokt"}).status, 0);
  EXPECT_TRUE(fs::is_symlink(box.work_dir() / "vokt.dat"));
  EXPECT_EQ(box.read_prog("vokt.dat"), kHeaderLines + record_line(kWorkedDirect, kF1) + "#00001\r\n");
  // Nothing but a regular file is replaced: a vokt.dat that is, or links
  // to, a FIFO is refused before the build begins.
  for (const bool through_link : {false, true}) {
    SCOPED_TRACE(through_link ? "a link to a FIFO" : "a FIFO");
    const fs::path fifo = box.work_dir() / (through_link ? "fifo" : "vokt.dat");
    fs::remove(box.work_dir() / "vokt.dat");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    if (through_link) fs::create_symlink("fifo", box.work_dir() / "vokt.dat");
    const RunResult run = box.run({"vokt", "vokt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(after_banner(run.err), "vokt.dat: Permission denied\n" + std::string(kPause));
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(temporary_files(box.work_dir()).empty());
    fs::remove(fifo);
  }
}

// A build that cannot lock goes on, but never touches a new file that is
// already there: another run may be writing it. Another user's link to
// vokt.dat in a sticky folder open to all is not followed.
TEST(BuildEndToEnd, WithoutTheLockANewFileThereIsLeftAlone) {
  Sandbox box;
  write_export(box, list_row("00001", kF1), record("00001", diagram(worked_board())));
  box.write_work("vokt.dat", "old database\r\n");
  fs::create_directory(box.work_dir() / "vokt.lock");
  box.write_work("vokt.dat.new", "another build's");
  const RunResult refused = box.run({"vokt", "vokt"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(after_banner(refused.err), "vokt.dat.new: File exists\n" + std::string(kPause));
  EXPECT_EQ(box.read_work("vokt.dat.new"), "another build's");
  EXPECT_EQ(box.read_work("vokt.dat"), "old database\r\n");
  fs::remove(box.work_dir() / "vokt.dat.new");
  const RunResult unlocked = box.run({"vokt", "vokt"});
  EXPECT_EQ(unlocked.status, 0);
  EXPECT_EQ(after_banner(unlocked.err), "00001: Processed data\nvokt.lock: Permission denied\n"
                                        "Going on without the lock: of two builds at the same moment, one may be refused\n");
  EXPECT_EQ(box.read_work("vokt.dat"), kHeaderLines + record_line(kWorkedDirect, kF1) + "#00001\r\n");
  if (Sandbox::launched() || geteuid() != 0) return;
  write_file(box.root() / "roots", "root's own file");
  fs::permissions(box.work_dir(), fs::perms(01777));
  fs::remove(box.work_dir() / "vokt.dat");
  fs::create_symlink(box.root() / "roots", box.work_dir() / "vokt.dat");
  ASSERT_EQ(lchown((box.work_dir() / "vokt.dat").c_str(), 65534, 65534), 0);
  EXPECT_EQ(after_banner(box.run({"vokt", "vokt"}).err).substr(0, 27), "vokt.dat: Permission denied");
  EXPECT_EQ(read_file(box.root() / "roots"), "root's own file");
}

// A listing that cannot be written (a closed pipe, as after "| head -1")
// neither stops the build nor changes its result. One sent to a character
// device (/dev/null; NUL on Windows, whose C library counts every character
// device as a terminal) is written in large blocks, as fast as to a file.
TEST(BuildEndToEnd, AListingNobodyReadsLeavesTheBuildAsItIs) {
  Sandbox box;
  write_large_export(box, 20000, 1);  // every record listed
  const auto timed_build = [&](const RunOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    const RunResult run = box.run({"vokt", "vokt"}, options);
    return std::pair(run, std::chrono::steady_clock::now() - start);
  };
  const auto [expected, to_file] = timed_build({});
  ASSERT_EQ(expected.status, 0);
  const std::string database = box.read_work("vokt.dat");
  RunOptions unread, to_null;
  unread.unread_stdout = true;
  to_null.null_stdout = true;
  for (const RunOptions& options : {unread, to_null}) {
    box.write_work("vokt.dat", "old database\r\n");
    const auto [run, took] = timed_build(options);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, expected.err);
    EXPECT_TRUE(box.read_work("vokt.dat") == database);
    if (options.null_stdout) {
      EXPECT_LT(took, 2 * to_file + std::chrono::seconds(1));
    }
  }
}

}  // namespace
}  // namespace vokt::e2e
