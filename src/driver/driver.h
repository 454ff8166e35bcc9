// The command-line driver: mode choice, the check run and the pause.
#pragma once

#include <string>
#include <string_view>

namespace vokt {

// The directory of the running executable, without a trailing separator.
std::string program_dir(std::string_view argv0);

// Check mode: digests the problem file, writes the three report pages beside
// the program and opens them in the browser. Returns 0 or 1.
int run_check(std::string_view argv0, const std::string& problem_path);

// Waits for one key (or the end of the standard input) after a failed run.
void pause_for_key();

// The whole program: banner, mode choice, pause and exit status.
int vokt_main(int argc, char** argv);

}  // namespace vokt
