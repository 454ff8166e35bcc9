// End-to-end harness: runs the tool (VOKT_E2E_BINARY, default the one built
// with these tests) as a process in a scratch directory. With
// VOKT_E2E_LAUNCHER set (a Windows build under Wine) the launcher is put in
// front and console output is compared with its CR bytes removed.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../support.h"

namespace vokt::e2e {

namespace fs = std::filesystem;
using namespace test;

inline constexpr std::string_view kPause = "\nEnter any key... \n";
std::string after_banner(std::string_view err);
std::string full_disk_text();  // a write stopped by RLIMIT_FSIZE; EINVAL under Wine
std::vector<std::string> temporary_files(const fs::path& dir);  // names ending in ".new", sorted

struct RunResult {
  int status = -1;  // -1 when the tool did not exit normally
  std::string out, err;
};

struct RunOptions {
  std::optional<fs::path> stdin_path;            // default /dev/null
  std::optional<unsigned long> file_size_limit;  // RLIMIT_FSIZE (SIGXFSZ ignored only under Wine)
  std::optional<unsigned long> memory_limit;     // RLIMIT_AS: the most address space the tool may take
  std::map<std::string, std::string> env;
  bool keep_cr = false;  // console output exactly as written, also when launched
  bool unread_stdout = false;   // the standard output a pipe that nobody reads (closed)
  bool null_stdout = false;     // the standard output /dev/null, a character device
  std::optional<mode_t> umask;  // the tool's file-creation mask
  bool as_nobody = false;       // run as user and group 65534 (the tests must run as root)
  std::optional<fs::path> program;  // run this in place of the copy in prog/ (a link to it, another program)
};

struct SandboxOptions {
  std::optional<fs::path> binary;
  std::optional<std::string> launcher;  // empty runs the binary directly
  std::string prog_dir_name = "prog";
  std::string program_name;  // default: the binary's own
};

// A scratch root with the tool copied into prog/ and work/ as the current
// directory. A stub xdg-open on PATH logs each document it is asked to open.
class Sandbox {
 public:
  explicit Sandbox(const SandboxOptions& options = {});
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const fs::path& root() const { return root_; }
  const fs::path& prog_dir() const { return prog_; }
  const fs::path& work_dir() const { return work_; }
  const fs::path& program() const { return program_; }
  static bool launched();
  // A UTF-8 name as the host spells it so that the tool sees Shift-JIS:
  // the CP932 bytes natively, UTF-8 under Wine (which converts it).
  static std::string host_name(std::string_view utf8);

  void write_prog(std::string_view name, std::string_view bytes) const { write_file(prog_ / name, bytes); }
  void write_work(std::string_view name, std::string_view bytes) const { write_file(work_ / name, bytes); }
  std::string read_prog(std::string_view name) const { return read_file(prog_ / name); }
  std::string read_work(std::string_view name) const { return read_file(work_ / name); }
  bool prog_has(std::string_view name) const { return fs::exists(prog_ / name); }
  bool work_has(std::string_view name) const { return fs::exists(work_ / name); }

  RunResult run(const std::vector<std::string>& args, const RunOptions& options = {}) const;
  pid_t start(const std::vector<std::string>& args, const RunOptions& options = {}) const;
  RunResult finish(pid_t child, const RunOptions& options = {}) const;

  // The documents the stub was asked to open; waits up to `wait_ms` for the
  // first call, then briefly for further ones.
  std::vector<std::string> browser_opens(int wait_ms = 10000) const;
  // What the stub logs for the frame page: its path, or under Wine the file
  // URL that Wine's browser bridge makes of it.
  std::string frame_page_open() const;
  // A /bin/sh line the stub runs before it logs a call.
  void before_browser_open(std::string_view command) const;

 private:
  std::string launcher_;
  fs::path root_, prog_, work_, stub_, program_;
  mutable int runs_ = 0;                   // runs started, which number their console files
  mutable std::map<pid_t, int> run_ids_;  // the number of each started run
};

// A program that runs the tool of `box` as the first process of a PID
// namespace of its own (process id 1), as in a container; none where the
// system does not allow it (or the tool runs under Wine).
std::optional<fs::path> in_own_pid_namespace(const Sandbox& box);

}  // namespace vokt::e2e
