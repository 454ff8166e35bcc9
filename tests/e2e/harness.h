// End-to-end test harness: runs the built tool as a separate process in a
// scratch directory and gives its exit status, console output and files.
//
// The binary under test is taken from VOKT_E2E_BINARY (default: the tool
// built with these tests). When VOKT_E2E_LAUNCHER is set, it is put in front
// of the binary (for example a script that runs a Windows build under Wine);
// the console output of such a run is compared with its CR bytes removed.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vokt::e2e {

namespace fs = std::filesystem;

// Readable UTF-8 converted to the Shift-JIS (CP932) bytes the tool reads.
std::string sjis(std::string_view utf8);
// Every LF preceded by CR, as text-mode files are written on disk.
std::string crlf(std::string_view text);

std::string read_file(const fs::path& path);
void write_file(const fs::path& path, std::string_view bytes);

struct RunResult {
  int status = -1;  // exit status; -1 when the tool did not exit normally
  std::string out;  // standard output
  std::string err;  // error stream
};

struct RunOptions {
  std::optional<fs::path> stdin_path;            // default: /dev/null
  std::optional<unsigned long> file_size_limit;  // RLIMIT_FSIZE, with SIGXFSZ ignored
  std::map<std::string, std::string> env;        // extra environment
  int timeout_seconds = 60;
  bool keep_cr = false;  // console output exactly as written, also when launched
};

// Where a Sandbox puts the tool and how it runs it. Names are host bytes:
// see Sandbox::host_name() for Japanese names.
struct SandboxOptions {
  std::optional<fs::path> binary;      // default: VOKT_E2E_BINARY, else the tool built with the tests
  std::optional<std::string> launcher; // default: VOKT_E2E_LAUNCHER; empty runs the binary directly
  std::string prog_dir_name = "prog";  // name of the program directory under the scratch root
  std::string program_name;            // file name of the copied tool; default: the binary's own
};

// A scratch directory with the tool copied into prog/ (its program directory)
// and an empty work/ as the current directory of every run. A stub browser
// launcher on PATH records each document it is asked to open.
class Sandbox {
 public:
  Sandbox();
  explicit Sandbox(const SandboxOptions& options);
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const fs::path& root() const { return root_; }
  const fs::path& prog_dir() const { return prog_; }
  const fs::path& work_dir() const { return work_; }
  const fs::path& program() const { return program_; }
  // True when the binary under test runs through a launcher (a Windows build).
  static bool launched();
  // True when this sandbox runs its tool through a launcher.
  bool runs_launched() const { return !launcher_.empty(); }

  // A file name, given in readable UTF-8, as the host must spell it so that
  // the tool under test sees it in Shift-JIS: the Shift-JIS bytes for the
  // native build, which takes names as bytes; the UTF-8 text for a Windows
  // build under Wine, which keeps Unix names in UTF-8 and hands the program
  // their code page 932 form.
  static std::string host_name(std::string_view utf8);

  // Files relative to the program directory and to the work directory.
  void write_prog(std::string_view name, std::string_view bytes) const;
  void write_work(std::string_view name, std::string_view bytes) const;
  std::string read_prog(std::string_view name) const;
  std::string read_work(std::string_view name) const;
  bool prog_has(std::string_view name) const;
  bool work_has(std::string_view name) const;

  // Runs the tool with `args` in the work directory and waits for it.
  RunResult run(const std::vector<std::string>& args, const RunOptions& options = {}) const;

  // Starts the tool without waiting; pair with finish() or kill_child().
  pid_t start(const std::vector<std::string>& args, const RunOptions& options = {}) const;
  RunResult finish(pid_t child, const RunOptions& options = {}) const;
  void kill_child(pid_t child) const;

  // The documents the stub launcher was asked to open, one per call. Waits up
  // to `wait_ms` for a first call, then briefly for any further ones.
  std::vector<std::string> browser_opens(int wait_ms = 10000) const;
  // What the stub records when the frame page in the program directory is
  // opened: its path, or under Wine the file URL that Wine's browser bridge
  // makes of it. The stub records a call with other than one argument in a
  // form that never equals this.
  std::string frame_page_open() const;
  // Makes the stub launcher run `command` (one /bin/sh line) before it records
  // a call, for example to see which files exist at that moment.
  void before_browser_open(std::string_view command) const;

 private:
  std::string launcher_;
  fs::path root_;
  fs::path prog_;
  fs::path work_;
  fs::path stub_;
  fs::path program_;
  fs::path open_log_;
};

}  // namespace vokt::e2e
