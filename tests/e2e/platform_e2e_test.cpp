// File names and places that the operating system hands the tool: Japanese
// names on the command line, the program directory found from the
// executable's own path, and the frame page handed to the browser launcher.
// The same tests run against the Windows build under Wine, where names pass
// through code page 932 and the browser is reached through the command
// interpreter's start command.
#include <gtest/gtest.h>

#include "harness.h"

namespace vokt::e2e {
namespace {

constexpr std::string_view kPause = "\nEnter any key... \n";
constexpr std::string_view kProblem = VOKT_CORPUS_DIR "/kif/tsm_1te_01.kif";
constexpr std::string_view kDigestFile =
    "#platform test database\r\n#second header\r\n"
    "0000000000000000 a b c d\r\n#0001\r\n";

std::string_view after_banner(std::string_view err) {
  const std::size_t end = err.find("\n\n");
  EXPECT_NE(end, std::string_view::npos) << err;
  return end == std::string_view::npos ? err : err.substr(end + 2);
}

// Runs check mode on the corpus problem, given to the tool under the name
// `problem_name` in the work directory, and expects the three pages in the
// program directory and one browser call for the frame page.
void expect_check_in_prog_dir(const Sandbox& box, const std::string& problem_name) {
  box.write_prog("vokt.dat", kDigestFile);
  box.write_work(problem_name, read_file(fs::path(kProblem)));
  const RunResult run = box.run({problem_name});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(after_banner(run.err), "");
  ASSERT_TRUE(box.prog_has("voktkey.htm") && box.prog_has("voktdata.htm") && box.prog_has("vokt.htm"))
      << "pages missing in " << box.prog_dir();
  EXPECT_NE(box.read_prog("voktkey.htm").find(sjis("  ９ ８ ７ ６ ５ ４ ３ ２ １")), std::string::npos);
  EXPECT_NE(box.read_prog("voktdata.htm").find("<pre>\r\nplatform test database\r\n"), std::string::npos);
  EXPECT_EQ(box.browser_opens(), std::vector<std::string>{box.frame_page_open()});
  // Nothing lands beside the program directory, as a wrong cut would put it.
  for (const auto& entry : fs::directory_iterator(box.root())) {
    EXPECT_TRUE(entry.is_directory() || !entry.path().string().ends_with(".htm")) << entry.path();
  }
}

TEST(PlatformEndToEnd, JapaneseProblemFileName) {
  Sandbox box;
  // 詰将棋.kif: its Shift-JIS name reaches the tool through the command line.
  expect_check_in_prog_dir(box, Sandbox::host_name("詰将棋.kif"));
  // A missing one is reported with the name's Shift-JIS bytes.
  const RunResult missing = box.run({Sandbox::host_name("無い表.kif")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(after_banner(missing.err), sjis("無い表.kif") + ": No such file or directory\n" + std::string(kPause));
}

TEST(PlatformEndToEnd, ProgramDirectoryWithSpaces) {
  SandboxOptions options;
  options.prog_dir_name = "program files";
  Sandbox box(options);
  expect_check_in_prog_dir(box, "a.kif");
}

// 「表」 is 95 5C in Shift-JIS: a search for the last 0x5C byte would cut the
// executable's path inside its name and miss the program directory.
TEST(PlatformEndToEnd, ExecutableNameEndingInByte5C) {
  SandboxOptions options;
  options.program_name = Sandbox::host_name("表.exe");
  Sandbox box(options);
  expect_check_in_prog_dir(box, "a.kif");

  // Also in a Japanese-named program directory with a space.
  SandboxOptions nested;
  nested.prog_dir_name = Sandbox::host_name("表 ソフト");
  nested.program_name = Sandbox::host_name("表.exe");
  Sandbox nested_box(nested);
  expect_check_in_prog_dir(nested_box, "a.kif");
}

// Under a single-byte code page (1252 under Wine here) the byte 0xE9 of
// "Café" is a whole character, not the first half of one, so the separator
// after it still ends the program directory.
TEST(PlatformEndToEnd, ProgramDirectoryEndingInHighByte) {
  SandboxOptions options;
  options.prog_dir_name = "Café";
  Sandbox box(options);
  box.write_prog("vokt.dat", kDigestFile);
  box.write_work("a.kif", read_file(fs::path(kProblem)));
  RunOptions western;
  western.env["VOKT_WINE_LOCALE"] = "C.UTF-8";
  const RunResult run = box.run({"a.kif"}, western);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(box.prog_has("vokt.htm"));
  EXPECT_FALSE(fs::exists(box.root() / "voktkey.htm"));
}

// The target refuses to open a directory as a file with "Permission denied";
// both builds say so, for the problem file and for a page.
TEST(PlatformEndToEnd, DirectoryInPlaceOfAFile) {
  Sandbox box;
  fs::create_directory(box.work_dir() / "folder.kif");
  const RunResult problem = box.run({"folder.kif"});
  EXPECT_EQ(problem.status, 1);
  EXPECT_EQ(after_banner(problem.err), "folder.kif: Permission denied\n" + std::string(kPause));

  box.write_work("a.kif", read_file(fs::path(kProblem)));
  fs::create_directory(box.prog_dir() / "voktkey.htm");
  const RunResult page = box.run({"a.kif"});
  EXPECT_EQ(page.status, 1);
  EXPECT_EQ(after_banner(page.err), "voktkey.htm: Permission denied\n" + std::string(kPause));
  EXPECT_FALSE(box.prog_has("voktdata.htm"));
}

}  // namespace
}  // namespace vokt::e2e
