// The command line: banner, mode choice, the pause after failure and the
// exit status, seen from outside the process.
#include <gtest/gtest.h>

#include "harness.h"

namespace vokt::e2e {
namespace {

constexpr std::string_view kBannerStart = "Korvane 0.18\n";
constexpr std::string_view kPause = "\nEnter any key... \n";

// The banner is the title line, one notice line and an empty line.
std::string_view after_banner(std::string_view err) {
  EXPECT_TRUE(err.starts_with(kBannerStart)) << err;
  const std::size_t end = err.find("\n\n");
  EXPECT_NE(end, std::string_view::npos) << err;
  return end == std::string_view::npos ? err : err.substr(end + 2);
}

TEST(DriverEndToEnd, NoArgumentReportsAndPauses) {
  Sandbox box;
  const RunResult run = box.run({});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(after_banner(run.err), std::string("Kifu file not specified\n") + std::string(kPause));
}

TEST(DriverEndToEnd, PauseReturnsOnAnyInput) {
  Sandbox box;
  write_file(box.root() / "keys.txt", "x\nmore\n");
  RunOptions options;
  options.stdin_path = box.root() / "keys.txt";
  const RunResult run = box.run({}, options);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.ends_with(kPause)) << run.err;
}

TEST(DriverEndToEnd, ModeChoiceByArguments) {
  Sandbox box;
  // Build mode only for exactly "vokt" "vokt": it opens the export files.
  EXPECT_NE(box.run({"vokt", "vokt"}).err.find("mirzfile.txt: No such file or directory\n"), std::string::npos);
  // Every other argument list is check mode on the first argument.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"vokt"}, {"vokt", "VOKT"}, {"vokt", "x"}, {"vokt", "vokt", "vokt"}}) {
    const RunResult run = box.run(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(after_banner(run.err), "vokt: No such file or directory\n" + std::string(kPause));
  }
  const RunResult extra = box.run({"missing.kif", "vokt", "vokt"});
  EXPECT_EQ(after_banner(extra.err), "missing.kif: No such file or directory\n" + std::string(kPause));
}

}  // namespace
}  // namespace vokt::e2e
