// Names and places the operating system hands the tool: Japanese names on the
// command line, the program directory found from the executable's own path,
// and the frame page handed to the browser launcher. Under Wine, names pass
// as UTF-16 and the browser is reached through ShellExecuteExW.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "harness.h"

namespace vokt::e2e {
namespace {

constexpr std::string_view kDigestFile = "#platform test database\r\n#second\r\n0000000000000000 a b c d\r\n#0001\r\n";

// Check mode on a problem named `problem_name` in the work
// directory: the pages land in the program directory and the browser gets
// the frame page.
void expect_check_in_prog_dir(const Sandbox& box, const std::string& problem_name,
                              const RunOptions& options = {}) {
  box.write_prog("vokt.dat", kDigestFile);
  box.write_work(problem_name, sjis(diagram(worked_board())));
  const RunResult run = box.run({problem_name}, options);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(after_banner(run.err), "");
  ASSERT_TRUE(box.prog_has("voktkey.htm") && box.prog_has("voktdata.htm") && box.prog_has("vokt.htm"));
  EXPECT_NE(box.read_prog("voktdata.htm").find("<pre>\r\nplatform test database\r\n"), std::string::npos);
  EXPECT_EQ(box.browser_opens(), std::vector<std::string>{box.frame_page_open()});
  for (const auto& entry : fs::directory_iterator(box.root())) {  // nothing beside the program directory
    EXPECT_TRUE(entry.is_directory() || !entry.path().string().ends_with(".htm")) << entry.path();
  }
}

TEST(PlatformEndToEnd, JapaneseProblemFileName) {
  Sandbox box;
  expect_check_in_prog_dir(box, Sandbox::host_name("詰将棋.kif"));
  const RunResult missing = box.run({Sandbox::host_name("無い表.kif")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(after_banner(missing.err), sjis("無い表.kif") + ": No such file or directory\n" + std::string(kPause));
}

// 「表」, 「ソ」 and 「十」 end in 5C in Shift-JIS: a search for the last 0x5C
// byte would cut the path inside a name. Spaces need quoting; "%VOKTX%" and
// "&" would be expanded or run by a command interpreter; a path beyond
// MAX_PATH (260) needs the long forms of the Windows calls.
TEST(PlatformEndToEnd, ProgramDirectoryFromTheExecutablePath) {
  const std::string long_dir = std::string(100, 'd') + "/" + std::string(100, 'e') + "/" + std::string(80, 'f');
  for (const auto& [dir, program] : std::vector<std::pair<std::string, std::string>>{
           {"program files", ""}, {"prog", "表.exe"}, {"表 ソフト", "表.exe"}, {"表", ""}, {"ソ", ""},
           {"一覧表", "十.exe"}, {"x%VOKTX%y", ""}, {"a&b", ""}, {long_dir, ""}}) {
    SCOPED_TRACE(dir);
    SandboxOptions options;
    options.prog_dir_name = Sandbox::host_name(dir);
    options.program_name = program.empty() ? "" : Sandbox::host_name(program);
    Sandbox box(options);
    RunOptions decoy;
    decoy.env["VOKTX"] = "decoy";
    expect_check_in_prog_dir(box, "a.kif", decoy);
  }
  // Under a single-byte code page (1252 under Wine here) the 0xE9 of "Café"
  // is a whole character, so the separator after it ends the directory.
  SandboxOptions options;
  options.prog_dir_name = "Café";
  Sandbox box(options);
  RunOptions western;
  western.env["VOKT_WINE_LOCALE"] = "C.UTF-8";
  expect_check_in_prog_dir(box, "a.kif", western);
}

// Started through a link, the program finds its own directory from the system,
// not from the name it was started by, also when its path takes 4095 bytes,
// the most the system gives (".<process id>.new" pages take 25 more).
TEST(PlatformEndToEnd, ProgramDirectoryThroughALinkFromADeepDirectory) {
  if (Sandbox::launched()) GTEST_SKIP() << "links and path lengths of the Linux build";
  Sandbox box;
  fs::path deep = box.root();
  while (deep.string().size() < 4070 - 256) deep /= std::string(200, 'd');
  deep /= std::string(4070 - deep.string().size() - 1, 'e');
  const fs::path program = deep / std::string(24, 'v');
  ASSERT_EQ(program.string().size(), 4095u);
  fs::create_directories(deep);
  fs::copy_file(box.prog_dir() / "vokt", program);
  fs::create_symlink(program, box.work_dir() / "vokt");
  write_file(deep / "vokt.dat", kDigestFile);
  box.write_work("a.kif", sjis(diagram(worked_board())));
  RunOptions through_link;
  through_link.program = box.work_dir() / "vokt";
  const RunResult run = box.run({"a.kif"}, through_link);
  EXPECT_EQ(after_banner(run.err), "");
  EXPECT_EQ(box.browser_opens(), std::vector<std::string>{(deep / "vokt.htm").string()});
}

// The name given is the name opened, also where code page 932 has no form
// for it: "café.kif" is not "cafe.kif". Messages show such a name in code
// page 932 on Windows, "?" for each character it lacks.
TEST(PlatformEndToEnd, ProblemNamesOutsideCodePage932) {
  Sandbox box;
  box.write_prog("vokt.dat", "#db\r\n#second\r\n" + std::string(kWorkedDirect) + " found\r\n#0001\r\n");
  box.write_work("cafe.kif", sjis(diagram(empty_board())));
  for (const std::string& name : {std::string("café.kif"), std::string("한국.kif"), Sandbox::host_name("表.kif")}) {
    SCOPED_TRACE(name);
    box.write_work(name, sjis(diagram(worked_board())));
    const RunResult run = box.run({name});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(box.read_prog("voktdata.htm").find(" found"), std::string::npos);
  }
  const RunResult missing = box.run({"없음.kif"});
  EXPECT_EQ(after_banner(missing.err),
            (Sandbox::launched() ? "??.kif" : "없음.kif") + std::string(": No such file or directory\n") +
                std::string(kPause));
}

// Opening a directory as a file gives "Permission denied" in both builds, and
// the run stops there.
TEST(PlatformEndToEnd, DirectoryInPlaceOfAFile) {
  struct Case {
    const char* what;
    bool in_prog_dir;
    std::string name;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"problem file", false, "folder.kif", {"folder.kif"}},
      {"key page", true, "voktkey.htm", {"a.kif"}},
      {"digest file in check mode", true, "vokt.dat", {"a.kif"}},
      {"digest file in build mode", false, "vokt.dat", {"vokt", "vokt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    box.write_work("a.kif", sjis(diagram(worked_board())));
    for (const char* name : {"mirzfile.txt", "mirzlist.htm", "mirzdata.htm"}) box.write_work(name, "");
    fs::create_directory((c.in_prog_dir ? box.prog_dir() : box.work_dir()) / c.name);
    const RunResult run = box.run(c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(after_banner(run.err), c.name + ": Permission denied\n" + std::string(kPause));
    EXPECT_FALSE(box.prog_has("vokt.htm"));
    EXPECT_FALSE(box.work_has("vokt.dat.new"));
  }
}

// A FIFO named vokt.dat beside the program is refused at once, as a
// directory is: the check opens it while it holds the lock of its pages, and
// waiting there for a writer would hold up every check after it. (The export
// files, read before a build takes its lock, may be FIFOs.)
TEST(PlatformEndToEnd, FifoInPlaceOfTheDigestFileIsRefusedAtOnce) {
  if (Sandbox::launched()) GTEST_SKIP() << "FIFOs of POSIX";
  Sandbox box;
  box.write_work("a.kif", sjis(diagram(worked_board())));
  const fs::path fifo = box.prog_dir() / "vokt.dat";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const fs::path wrapper = box.root() / "at-most-ten-seconds";
  write_file(wrapper, "#!/bin/sh\nexec timeout 10 '" + box.program().string() + "' \"$@\"\n");
  fs::permissions(wrapper, fs::perms::owner_all, fs::perm_options::add);
  RunOptions options;
  options.program = wrapper;
  const RunResult run = box.run({"a.kif"}, options);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(after_banner(run.err), "vokt.dat: Permission denied\n" + std::string(kPause));
  EXPECT_FALSE(box.prog_has("vokt.htm"));
}

// A run started with its error stream closed writes its messages nowhere,
// not into the file it opens first (the lock file), which would otherwise
// take the error stream's number.
TEST(PlatformEndToEnd, ClosedErrorStream) {
  if (Sandbox::launched()) GTEST_SKIP() << "descriptors of POSIX";
  Sandbox box;
  box.write_work("a.kif", sjis(diagram(worked_board())));  // no vokt.dat: fails under the lock
  const fs::path wrapper = box.root() / "closed-error-stream";
  write_file(wrapper, "#!/bin/sh\nexec '" + box.program().string() + "' \"$@\" 2>&-\n");
  fs::permissions(wrapper, fs::perms::owner_all, fs::perm_options::add);
  RunOptions options;
  options.program = wrapper;
  EXPECT_EQ(box.run({"a.kif"}, options).status, 1);
  EXPECT_EQ(box.read_prog("vokt.lock"), "");
}

}  // namespace
}  // namespace vokt::e2e
