#include <cerrno>
#include <cstdio>
#include <cstring>

#include "database/database.h"
#include "digest/digest.h"
#include "driver/driver.h"
#include "platform/text_file.h"
#include "report/report.h"
#include "report/report_text.h"

namespace vokt {

namespace {

// Checks that share the program directory share its three pages: each puts
// its pages in place while it holds this lock file's lock, so that the
// pages on disk always come from one run. A check that cannot lock (a
// read-only directory, anything but a file under that name) says so and
// goes on.
constexpr const char* kLockFile = "vokt.lock";
constexpr int kLockWaitSeconds = 30;

}  // namespace

std::string program_dir(std::string_view argv0) { return directory_of(executable_path(argv0)); }

int run_check(std::string_view argv0, const std::string& problem_path) {
  const std::string dir = program_dir(argv0);
  // The stages run without the lock, so that a problem file that is slow to
  // come holds up no other check. The problem file is read once, before
  // them, and the two stages that read it read that text. Each page goes to
  // a file of its own; a failing stage drops them all, and the pages of the
  // last check stay as they were.
  std::string problem;
  PositionDigest direct;
  PositionDigest mirrored;
  if (read_problem_file(problem_path, problem) != 0 || digest_problem_file(problem, direct, mirrored) != 0) return 1;
  TextWriter key_page, result_page, frame_page;
  if (write_key_page(dir, problem, key_page) != 0) return 1;
  if (write_result_page(dir, direct, mirrored, result_page) != 0) return 1;
  if (write_frame_page(dir, frame_page) != 0) return 1;
  {
    FileLock lock;
    const int error = lock.acquire(join_path(dir, kLockFile), kLockWaitSeconds * 1000);
    if (error == ETIMEDOUT) {
      write_error(std::string(kLockFile) + ": Another check still holds the pages after " +
                  std::to_string(kLockWaitSeconds) + " seconds\n");
      return 1;
    }
    if (error != 0) {
      report_file_error(kLockFile, error);
      write_error("Going on without the lock: a check at the same moment may mix its pages with these\n");
    }
    // One right after the other: only the instant between two renames sees
    // pages of two runs.
    if (put_page_in_place(key_page, report_text::kKeyPage) != 0 ||
        put_page_in_place(result_page, report_text::kResultPage) != 0 ||
        put_page_in_place(frame_page, report_text::kFramePage) != 0) {
      return 1;
    }
  }
  open_in_browser(dir);
  return 0;
}

void pause_for_key() {
  write_error("\nEnter any key... ");
  std::getchar();
  write_error("\n");
}

int vokt_main(int argc, char** argv) {
  buffer_standard_output();
  ignore_broken_pipes();
  remove_temporaries_when_interrupted();
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
