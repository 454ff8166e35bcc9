#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "driver/driver.h"
#include "support.h"

namespace vokt {
namespace {

// Runs the program without arguments in a child process whose standard input
// is an empty file, so the pause after the failure must return at once.
TEST(VoktMainDeathTest, NoArgumentReportsAndPausesWithoutHanging) {
  test::TempDir dir;
  const std::string empty_input = dir.file("stdin", "");
  char program[] = "vokt";
  char* argv[] = {program, nullptr};
  EXPECT_EXIT(
      {
        if (std::freopen(empty_input.c_str(), "r", stdin) == nullptr) std::_Exit(99);
        std::_Exit(vokt_main(1, argv));
      },
      testing::ExitedWithCode(1),
      "^Korvane 0\\.18\n[^\n]+\n\nKifu file not specified\n\nEnter any key\\.\\.\\. \n$");
}

}  // namespace
}  // namespace vokt
