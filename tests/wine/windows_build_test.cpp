// The Windows executable under Wine (VOKT_E2E_BINARY, VOKT_E2E_LAUNCHER)
// against the Linux build of the same tree: the target's console, the same
// file bytes for the same inputs, and the distribution zip. The executable is
// the shipped 32-bit one, or the 64-bit build where no 32-bit program runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <regex>

#include "harness.h"

namespace vokt::e2e {
namespace {

const fs::path kCorpus = VOKT_CORPUS_DIR;

Sandbox linux_sandbox() {
  SandboxOptions options;
  options.binary = VOKT_E2E_DEFAULT_BINARY;
  options.launcher = "";
  return Sandbox(options);
}

void add_files(std::vector<fs::path>& files, const fs::path& dir, std::string_view suffix = "") {
  const std::size_t first = files.size();
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().string().ends_with(suffix)) files.push_back(entry.path());
  }
  std::sort(files.begin() + static_cast<std::ptrdiff_t>(first), files.end());
}

// Writes an export of the given problem files into both sandboxes: every
// seventh row's first field has no ASCII space, and one record has no diagram.
void write_export(const std::vector<fs::path>& problems, const Sandbox& a, const Sandbox& b) {
  std::string list = "<html><body><table>\r\n<tr class=\"head\"><td nowrap>ID</td></tr>\r\n", data;
  int number = 0;
  auto add = [&](const std::string& first_field, const std::string& body) {
    char id[16];
    std::snprintf(id, sizeof id, "%05d", ++number);
    list += list_row(id, {first_field, std::to_string(number % 5 + 1), sjis("詰将棋 第") + id, "a &amp; b"});
    data += record(id, body);
  };
  for (const fs::path& problem : problems) {
    std::string body = read_file(problem);
    if (!body.ends_with('\n')) body += "\r\n";
    add((number + 1) % 7 == 0 ? problem.stem().string() : sjis("作品 ") + problem.stem().string(), body);
    if (number == 3) add(sjis("図 なし"), sjis("盤面図のない作品") + "\r\n");
  }
  for (const Sandbox* box : {&a, &b}) {
    box->write_work("mirzfile.txt", "*" + sjis("比較用データベース") + "\r\n*problems\r\n");
    box->write_work("mirzlist.htm", list + "</table></body></html>\r\n");
    box->write_work("mirzdata.htm", data);
  }
}

// The frame page with its date, checked for its layout, taken out.
std::string frame_without_date(const std::string& page) {
  static const std::regex date(R"(<title>Korvane 0\.18 - [A-Z][a-z]{2} [A-Z][a-z]{2} \d{2} \d{2}:\d{2}:\d{2} \d{4}</title>)");
  EXPECT_TRUE(std::regex_search(page, date)) << page;
  return std::regex_replace(page, date, "DATE");
}

// Whether the Wine fixture chose the shipped 32-bit executable.
bool runs_the_32_bit_program() {
  return read_file(VOKT_WINE_CHOICE).find("WINEARCH=win32\n") != std::string::npos;
}

// Lines of a command's standard output, without their line ends.
std::vector<std::string> output_lines(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::vector<std::string> lines;
  if (!pipe) return lines;
  for (char line[4096]; std::fgets(line, sizeof line, pipe.get()) != nullptr;) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    lines.push_back(text);
  }
  return lines;
}

// The zip unpacked into a scratch directory.
fs::path unpack_zip(const Sandbox& scratch) {
  const fs::path unpacked = scratch.root() / "unzipped";
  fs::create_directory(unpacked);
  const std::string extract = "cd '" + unpacked.string() + "' && '" VOKT_CMAKE_COMMAND "' -E tar xf '" VOKT_WINDOWS_ZIP "'";
  EXPECT_EQ(std::system(extract.c_str()), 0);
  return unpacked;
}

std::string file_or_absent(const Sandbox& box, std::string_view name) {
  return box.prog_has(name) ? box.read_prog(name) : "(absent)";
}

TEST(WindowsBuild, RunsWithTheTargetConsole) {
  ASSERT_TRUE(Sandbox::launched()) << "VOKT_E2E_LAUNCHER must name the Wine launcher";
  RunOptions raw;
  raw.keep_cr = true;
  const RunResult run = Sandbox().run({}, raw);
  // A program under a Wine that cannot run its architecture exits 0 without
  // running; whichever executable the fixture chose must print the banner.
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.starts_with("Korvane 0.18\r\n")) << run.err;
  EXPECT_EQ(run.err, crlf(linux_sandbox().run({}).err));  // text mode: LF arrives as CR LF
  EXPECT_EQ(run.out, "");
}

TEST(WindowsBuild, WritesTheSameFilesAsTheLinuxBuild) {
  ASSERT_TRUE(Sandbox::launched()) << "VOKT_E2E_LAUNCHER must name the Wine launcher";
  VOKT_SKIP_WITHOUT_CORPUS(kCorpus);
  std::vector<fs::path> database;
  add_files(database, kCorpus / "kif");
  add_files(database, kCorpus / "kif_odd");
  std::vector<fs::path> problems = database;
  add_files(database, kCorpus / "generated/seed_corpus1", ".bod.kif");
  add_files(problems, kCorpus / "generated/seed_corpus1", ".mirror.kif");
  ASSERT_GT(problems.size(), 60u) << "corpus missing at " << kCorpus;
  Sandbox windows;
  Sandbox native = linux_sandbox();
  write_export(database, windows, native);
  const RunResult built = windows.run({"vokt", "vokt"});
  const RunResult expected_build = native.run({"vokt", "vokt"});
  ASSERT_EQ(expected_build.status, 0) << expected_build.err;
  EXPECT_EQ(built.status, 0) << built.err;
  EXPECT_EQ(built.out, expected_build.out);
  EXPECT_EQ(built.err, expected_build.err);
  const std::string digest_file = native.read_work("vokt.dat");
  ASSERT_EQ(windows.read_work("vokt.dat"), digest_file);
  ASSERT_TRUE(digest_file.starts_with("#" + sjis("比較用データベース") + "\r\n#")) << digest_file.substr(0, 80);

  windows.write_prog("vokt.dat", digest_file);
  native.write_prog("vokt.dat", digest_file);
  int found = 0;
  for (const fs::path& problem : problems) {
    const std::string name = problem.filename().string();
    SCOPED_TRACE(name);
    windows.write_work(name, read_file(problem));
    native.write_work(name, read_file(problem));
    const RunResult run = windows.run({name});
    const RunResult expected = native.run({name});
    EXPECT_EQ(run.status, expected.status);
    EXPECT_EQ(run.out, expected.out);
    EXPECT_EQ(run.err, expected.err);
    for (const std::string_view page : {"voktkey.htm", "voktdata.htm"}) {
      EXPECT_EQ(file_or_absent(windows, page), file_or_absent(native, page)) << page;
    }
    if (expected.status == 0) {
      EXPECT_EQ(frame_without_date(windows.read_prog("vokt.htm")), frame_without_date(native.read_prog("vokt.htm")));
      if (native.read_prog("voktdata.htm").find(sjis("検出件数: 0件")) == std::string::npos) ++found;
    }
  }
  EXPECT_GT(found, static_cast<int>(problems.size()) * 3 / 4);  // the mirrored ones as mirror images
}

// What the zip holds, and that its vokt.exe is the 32-bit console program
// importing only KERNEL32, msvcrt and SHELL32: checked on every machine.
TEST(WindowsPackage, ZipHoldsThe32BitConsoleProgramAndTheExamples) {
  const fs::path zip = VOKT_WINDOWS_ZIP;
  ASSERT_TRUE(fs::exists(zip)) << zip << " missing: cmake --build --preset windows";
  std::vector<std::string> expected{"readme.txt", "vokt.exe"}, entries;
  const fs::path examples = fs::path(VOKT_SOURCE_DIR) / "examples";
  for (const fs::path& part : {examples / "export", examples / "problems"}) {
    for (const auto& entry : fs::directory_iterator(part)) {
      expected.push_back("examples/" + fs::relative(entry.path(), examples).string());
    }
  }
  std::sort(expected.begin(), expected.end());
  for (std::string& name : output_lines("'" VOKT_CMAKE_COMMAND "' -E tar tf '" + zip.string() + "'")) {
    if (!name.empty() && !name.ends_with('/')) entries.push_back(name);
  }
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, expected);

  Sandbox scratch;
  const fs::path unpacked = unpack_zip(scratch);
  const std::string readme = read_file(unpacked / "readme.txt");  // Shift-JIS with CR LF
  EXPECT_NE(readme.find(sjis("詰将棋")), std::string::npos);
  std::string lf_only = readme;
  std::erase(lf_only, '\r');
  EXPECT_EQ(readme, crlf(lf_only));

  std::vector<std::string> dlls;
  bool pe32 = false, console = false, i386 = false;
  for (const std::string& line : output_lines("'" VOKT_OBJDUMP32 "' -p '" + (unpacked / "vokt.exe").string() + "'")) {
    i386 = i386 || line.ends_with("file format pei-i386");
    pe32 = pe32 || (line.starts_with("Magic") && line.ends_with("(PE32)"));
    console = console || (line.starts_with("Subsystem") && line.ends_with("(Windows CUI)"));
    if (const auto at = line.find("DLL Name: "); at != std::string::npos) dlls.push_back(line.substr(at + 10));
  }
  EXPECT_TRUE(i386 && pe32 && console) << "not a PE32 Intel 80386 console program";
  EXPECT_EQ(dlls, (std::vector<std::string>{"KERNEL32.dll", "msvcrt.dll", "SHELL32.dll"}));
}

// The shipped executable on the shipped examples, as the readme tells a user.
TEST(WindowsPackage, ZippedExecutableRunsTheExamples) {
  ASSERT_TRUE(Sandbox::launched()) << "VOKT_E2E_LAUNCHER must name the Wine launcher";
  if (!runs_the_32_bit_program()) {
    GTEST_SKIP() << "no 32-bit program runs under Wine here; the 64-bit build runs the other wine.* tests";
  }
  Sandbox scratch;
  const fs::path unpacked = unpack_zip(scratch);
  SandboxOptions options;
  options.binary = unpacked / "vokt.exe";
  Sandbox box(options);
  for (const auto& entry : fs::directory_iterator(unpacked / "examples/export")) {
    box.write_work(entry.path().filename().string(), read_file(entry.path()));
  }
  ASSERT_EQ(box.run({"vokt", "vokt"}).status, 0);
  box.write_prog("vokt.dat", box.read_work("vokt.dat"));
  for (const auto& entry : fs::directory_iterator(unpacked / "examples/problems")) {
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    box.write_work(name, read_file(entry.path()));
    EXPECT_EQ(box.run({name}).status, 0);
    EXPECT_EQ(box.read_prog("voktdata.htm").find(sjis("検出件数: 0件")) == std::string::npos,
              !name.starts_with("not-"));
  }
}

}  // namespace
}  // namespace vokt::e2e
