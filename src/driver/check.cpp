#include <cstdio>
#include <cstring>

#include "database/database.h"
#include "digest/digest.h"
#include "driver/driver.h"
#include "platform/console.h"
#include "platform/replacement.h"
#include "report/report.h"
#include "report/report_text.h"

namespace vokt {

namespace {

// Checks that share the program directory share its three pages: each writes
// and puts them in place while it holds the folder's lock, so that the pages
// on disk always come from one run.
constexpr std::string_view kWithoutTheLock =
    "Going on without the lock: a check at the same moment may mix its pages with these";

// The directory of the running executable, without a trailing separator.
std::string program_dir(std::string_view argv0) { return directory_of(executable_path(argv0)); }

// Check mode: digests the problem file, writes the three report pages beside
// the program and opens them in the browser. Returns 0 or 1.
int run_check(std::string_view argv0, const std::string& problem_path) {
  const std::string dir = program_dir(argv0);
  // The problem file is read once, before the stages, without the lock, so
  // that a problem file that is slow to come holds up no other check; the
  // two stages that read it read that text.
  std::string problem;
  PositionDigest direct;
  PositionDigest mirrored;
  if (read_problem_file(problem_path, problem) != 0 || digest_problem_file(problem, direct, mirrored) != 0) return 1;
  {
    // Each page goes to its new file. The pages of the stages that complete
    // are put in place, and so is the empty result page of a lookup that
    // found no digest file; a stage that fails stops the ones after it, whose
    // pages of the last check stay as they were.
    FolderLock lock;
    if (!lock.take(dir, kWithoutTheLock)) return 1;
    TextWriter key_page, result_page, frame_page;
    if (write_key_page(dir, problem, lock.held(), key_page) != 0) return 1;
    const bool complete = write_result_page(dir, direct, mirrored, lock.held(), result_page) == 0 &&
                          write_frame_page(dir, lock.held(), frame_page) == 0;
    lock.say_if_not_held();
    // An interruption waits until the pages are in place.
    InterruptionHold hold;
    if (key_page.put_in_place() != 0 || result_page.put_in_place() != 0 || frame_page.put_in_place() != 0) return 1;
    if (!complete) return 1;
  }
  open_in_browser(dir);
  return 0;
}

// Waits for one key (or the end of the standard input) after a failed run.
void pause_for_key() {
  write_error("\nEnter any key... ");
  std::getchar();
  write_error("\n");
}

}  // namespace

int vokt_main(int argc, char** argv) {
  prepare_standard_streams();
  remove_new_files_when_interrupted();
  std::string banner(report_text::kLongTitle);
  banner += ' ';
  banner += report_text::kVersion;
  banner += "\nFinds a shogi problem and its mirror image in the problem database.\n\n";
  write_error(banner);

  int result = 1;
  if (argc <= 1) {
    write_error("Kifu file not specified\n");
  } else if (argc == 3 && std::strcmp(argv[1], "vokt") == 0 && std::strcmp(argv[2], "vokt") == 0) {
    result = build_digest_file();
  } else {
    result = run_check(argv[0] != nullptr ? argv[0] : "", argv[1]);
  }
  if (result == 1) pause_for_key();
  std::fflush(stdout);
  return result;
}

}  // namespace vokt
