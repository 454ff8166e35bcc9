// Helpers shared by the fuzz targets: a quiet console, a scratch directory,
// whole-file reads and writes, the property check that stops the run, and the
// plain reading of the text mode.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "nasty_text.h"
#include "support.h"

namespace vokt::fuzz {

// The error stream as it was before quiet_console(): where failed checks go.
inline std::FILE*& real_error_stream() {
  static std::FILE* stream = stderr;
  return stream;
}

// Sends the tool's messages and listing to /dev/null. The fuzzing engine and
// the sanitizers keep the real error stream: the engine holds its own copy of
// the stream pointer, and the sanitizers write to descriptor 2 directly, so
// only the tool's writes through the C streams are silenced. In the GNU C
// library stdout and stderr are variables that may be assigned.
inline void quiet_console() {
  real_error_stream() = stderr;
  std::FILE* null_stream = std::fopen("/dev/null", "w");
  if (null_stream == nullptr) return;
  stdout = null_stream;
  stderr = null_stream;
}

// Aborts with a message on the real error stream when a property fails; the
// engine then saves the input that broke it.
#define VOKT_FUZZ_CHECK(condition, what)                                                      \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(::vokt::fuzz::real_error_stream(), "property failed: %s (%s:%d)\n", what, \
                   __FILE__, __LINE__);                                                       \
      std::fflush(::vokt::fuzz::real_error_stream());                                         \
      std::abort();                                                                           \
    }                                                                                         \
  } while (0)

// A directory of this process's own, removed with its files at exit.
inline void remove_scratch_dir();

inline const std::filesystem::path& scratch_dir() {
  static const std::filesystem::path dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "vokt-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    return std::filesystem::path(pattern);
  }();
  // Registered after the path is made, so it runs before the path is destroyed.
  static const bool cleanup_registered = (std::atexit(remove_scratch_dir), true);
  (void)cleanup_registered;
  return dir;
}

inline void remove_scratch_dir() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch_dir(), ignored);
}

using test::read_file;
using test::write_file;

// The pieces that the text mode's reading makes of raw bytes, worked out the
// plain way, as the unit tests have it.
using test::reference_pieces;

}  // namespace vokt::fuzz
