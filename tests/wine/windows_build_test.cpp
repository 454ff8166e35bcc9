// The Windows executable under Wine against the Linux build of the same
// tree: the console as the target has it, the same file bytes for the same
// inputs, and the distribution zip. Run with VOKT_E2E_BINARY naming vokt.exe
// and VOKT_E2E_LAUNCHER the Wine launcher; the Linux build is the tool built
// with these tests.
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

std::vector<fs::path> files_in(const fs::path& dir, std::string_view suffix = "") {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name.ends_with(suffix) && name != "index.tsv") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// An export of the database search tool holding the given problem files, in
// the layout that build mode reads: list rows with a 43-byte opening markup
// before the identifier and four "<td nowrap>" fields, data records opened by
// "[nnnnn]" and closed by the "<hr>" anchor. Every seventh row's first field
// has no ASCII space (its digest stays zero), and one record has no diagram.
struct Export {
  std::string header;
  std::string list;
  std::string data;
};

Export make_export(const std::vector<fs::path>& problems) {
  Export out;
  out.header = "*" + sjis("比較用データベース") + "\r\n*" + std::to_string(problems.size()) + " problems\r\n";
  out.list = "<html><body><table>\r\n<tr class=\"head\"><td nowrap>ID</td><td nowrap>" + sjis("作者") +
             "</td></tr>\r\n";
  int number = 0;
  auto add = [&](const std::string& first_field, const std::string& body) {
    char id[16];
    std::snprintf(id, sizeof id, "%05d", ++number);
    std::string markup = std::string("<a href=\"mirzdata.htm#") + id + "\" target=\"d\">";
    markup.resize(43, ' ');
    out.list += "<tr><td>" + markup + id + "</td><td nowrap>" + first_field + "</td><td nowrap>" +
                std::to_string(number % 5 + 1) + "</td><td nowrap>" + sjis("詰将棋 第") + id +
                "</td><td nowrap>a &amp; b</td></tr>\r\n";
    out.data += std::string("[") + id + "]\r\n" + body + "<a name=\"e" + id + "\"><hr></a>\r\n";
  };
  for (const fs::path& problem : problems) {
    std::string body = read_file(problem);
    if (!body.ends_with('\n')) body += "\r\n";
    const std::string stem = problem.stem().string();
    add((number + 1) % 7 == 0 ? stem : sjis("作品 ") + stem, body);
    if (number == 3) add(sjis("図 なし"), sjis("盤面図のない作品") + "\r\n");
  }
  out.list += "</table></body></html>\r\n";
  return out;
}

// The frame page with the run's date taken out of its title, after checking
// that the date has the fixed layout.
std::string frame_without_date(const std::string& page) {
  static const std::regex date(R"(<title>Korvane 0\.18 - [A-Z][a-z]{2} [A-Z][a-z]{2} \d{2} \d{2}:\d{2}:\d{2} \d{4}</title>)");
  EXPECT_TRUE(std::regex_search(page, date)) << page;
  return std::regex_replace(page, date, "<title>Korvane 0.18 - DATE</title>");
}

std::string file_or_absent(const Sandbox& box, std::string_view name) {
  return box.prog_has(name) ? box.read_prog(name) : std::string("(absent)");
}

TEST(WindowsBuild, RunsWithTheTargetConsole) {
  ASSERT_TRUE(Sandbox::launched()) << "VOKT_E2E_LAUNCHER must name the Wine launcher";
  Sandbox windows;
  Sandbox native = linux_sandbox();
  RunOptions raw;
  raw.keep_cr = true;
  const RunResult run = windows.run({}, raw);
  const RunResult expected = native.run({});
  // A 32-bit program under a 64-bit-only Wine exits 0 without running: the
  // banner shows that the program itself ran.
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.starts_with("Korvane 0.18\r\n")) << run.err;
  // The console streams are in text mode: every line feed arrives as CR LF.
  EXPECT_EQ(run.err, crlf(expected.err));
  EXPECT_EQ(run.out, "");
}

TEST(WindowsBuild, WritesTheSameFilesAsTheLinuxBuild) {
  ASSERT_TRUE(Sandbox::launched()) << "VOKT_E2E_LAUNCHER must name the Wine launcher";
  std::vector<fs::path> database = files_in(kCorpus / "kif");
  for (const auto& file : files_in(kCorpus / "kif_odd")) database.push_back(file);
  for (const auto& file : files_in(kCorpus / "generated/seed_corpus1", ".bod.kif")) database.push_back(file);
  std::vector<fs::path> problems = files_in(kCorpus / "kif");
  for (const auto& file : files_in(kCorpus / "kif_odd")) problems.push_back(file);
  for (const auto& file : files_in(kCorpus / "generated/seed_corpus1", ".mirror.kif")) problems.push_back(file);
  ASSERT_GT(problems.size(), 60u) << "corpus missing at " << kCorpus;

  Sandbox windows;
  Sandbox native = linux_sandbox();
  const Export source = make_export(database);
  for (const Sandbox* box : {&windows, &native}) {
    box->write_work("mirzfile.txt", source.header);
    box->write_work("mirzlist.htm", source.list);
    box->write_work("mirzdata.htm", source.data);
  }

  // Build mode: the digest file and the console.
  const RunResult built = windows.run({"vokt", "vokt"});
  const RunResult expected_build = native.run({"vokt", "vokt"});
  ASSERT_EQ(expected_build.status, 0) << expected_build.err;
  EXPECT_EQ(built.status, 0) << built.err;
  EXPECT_EQ(built.out, expected_build.out);
  EXPECT_EQ(built.err, expected_build.err);
  const std::string digest_file = native.read_work("vokt.dat");
  ASSERT_EQ(windows.read_work("vokt.dat"), digest_file);
  ASSERT_TRUE(digest_file.starts_with("#" + sjis("比較用データベース") + "\r\n#")) << digest_file.substr(0, 80);

  // Check mode on every problem against that digest file.
  windows.write_prog("vokt.dat", digest_file);
  native.write_prog("vokt.dat", digest_file);
  int found = 0;
  for (const fs::path& problem : problems) {
    const std::string name = problem.filename().string();
    SCOPED_TRACE(name);
    const std::string bytes = read_file(problem);
    windows.write_work(name, bytes);
    native.write_work(name, bytes);
    const RunResult run = windows.run({name});
    const RunResult expected = native.run({name});
    EXPECT_EQ(run.status, expected.status);
    EXPECT_EQ(run.out, expected.out);
    EXPECT_EQ(run.err, expected.err);
    EXPECT_EQ(file_or_absent(windows, "voktkey.htm"), file_or_absent(native, "voktkey.htm"));
    EXPECT_EQ(file_or_absent(windows, "voktdata.htm"), file_or_absent(native, "voktdata.htm"));
    if (expected.status == 0) {
      EXPECT_EQ(frame_without_date(windows.read_prog("vokt.htm")), frame_without_date(native.read_prog("vokt.htm")));
      if (native.read_prog("voktdata.htm").find(sjis("検出件数: 0件")) == std::string::npos) ++found;
    }
  }
  // Most problems are in the database (the mirrored ones as mirror images).
  EXPECT_GT(found, static_cast<int>(problems.size()) * 3 / 4);
}

// Names of the files in a zip, as the archive lists them.
std::vector<std::string> zip_entries(const fs::path& zip) {
  const std::string command = "'" VOKT_CMAKE_COMMAND "' -E tar tf '" + zip.string() + "'";
  std::vector<std::string> names;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return names;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    std::string name(line);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    if (!name.empty() && !name.ends_with('/')) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(WindowsPackage, ZipHoldsARunnableExecutable) {
  ASSERT_TRUE(Sandbox::launched()) << "VOKT_E2E_LAUNCHER must name the Wine launcher";
  const fs::path zip = VOKT_WINDOWS_ZIP;
  ASSERT_TRUE(fs::exists(zip)) << zip << " missing: cmake --build --preset windows";

  std::vector<std::string> expected{"readme.txt", "vokt.exe"};
  const fs::path examples = fs::path(VOKT_SOURCE_DIR) / "examples";
  for (const fs::path& part : {examples / "export", examples / "problems"}) {
    ASSERT_TRUE(fs::is_directory(part)) << part;
    for (const auto& entry : fs::directory_iterator(part)) {
      expected.push_back("examples/" + fs::relative(entry.path(), examples).string());
    }
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(zip_entries(zip), expected);

  Sandbox unpacked_root;
  const fs::path unpacked = unpacked_root.root() / "unzipped";
  fs::create_directory(unpacked);
  const std::string command =
      "cd '" + unpacked.string() + "' && '" VOKT_CMAKE_COMMAND "' -E tar xf '" + zip.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);

  // The readme is Shift-JIS text with CR LF line ends.
  const std::string readme = read_file(unpacked / "readme.txt");
  EXPECT_NE(readme.find(sjis("詰将棋")), std::string::npos);
  std::string lf_only = readme;
  std::erase(lf_only, '\r');
  EXPECT_EQ(readme, crlf(lf_only));

  SandboxOptions options;
  options.binary = unpacked / "vokt.exe";
  Sandbox box(options);
  const RunResult run = box.run({});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.starts_with("Korvane 0.18\n")) << run.err;
  EXPECT_NE(run.err.find("Kifu file not specified\n"), std::string::npos) << run.err;

  // The shipped executable on the shipped example, as the readme tells a
  // user to use it, gives what the Linux build gives.
  Sandbox native = linux_sandbox();
  for (const auto& entry : fs::directory_iterator(unpacked / "examples/export")) {
    for (const Sandbox* target : {&box, &native}) {
      target->write_work(entry.path().filename().string(), read_file(entry.path()));
    }
  }
  const RunResult built = box.run({"vokt", "vokt"});
  EXPECT_EQ(built.status, 0) << built.err;
  ASSERT_EQ(native.run({"vokt", "vokt"}).status, 0);
  ASSERT_EQ(box.read_work("vokt.dat"), native.read_work("vokt.dat"));
  box.write_prog("vokt.dat", box.read_work("vokt.dat"));
  native.write_prog("vokt.dat", native.read_work("vokt.dat"));
  int found = 0;
  for (const auto& entry : fs::directory_iterator(unpacked / "examples/problems")) {
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    box.write_work(name, read_file(entry.path()));
    native.write_work(name, read_file(entry.path()));
    EXPECT_EQ(box.run({name}).status, 0);
    ASSERT_EQ(native.run({name}).status, 0);
    EXPECT_EQ(box.read_prog("voktdata.htm"), native.read_prog("voktdata.htm"));
    if (native.read_prog("voktdata.htm").find(sjis("検出件数: 0件")) == std::string::npos) ++found;
  }
  EXPECT_GT(found, 0);
}

}  // namespace
}  // namespace vokt::e2e
