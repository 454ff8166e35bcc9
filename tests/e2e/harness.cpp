#include "harness.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace vokt::e2e {
namespace {

std::string env_or(const char* name, std::string_view fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::string(value) : std::string(fallback);
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
}  // namespace

// The title line that opens the tool's error stream, its first act.
constexpr std::string_view kTitle = "Korvane 0.18";

// The error stream after the banner (title line, notice line, empty line).
std::string after_banner(std::string_view err) {
  EXPECT_TRUE(err.starts_with(std::string(kTitle) + "\n")) << err;
  const std::size_t end = err.find("\n\n");
  EXPECT_NE(end, std::string_view::npos) << err;
  return std::string(end == std::string_view::npos ? err : err.substr(end + 2));
}

std::vector<std::string> temporary_files(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().string().ends_with(".new")) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<fs::path> in_own_pid_namespace(const Sandbox& box) {
  if (Sandbox::launched() || std::system("unshare -p -f true >/dev/null 2>&1") != 0) return std::nullopt;
  const fs::path wrapper = box.root() / "own-pid-namespace";
  write_file(wrapper, "#!/bin/sh\nexec unshare -p -f '" + box.program().string() + "' \"$@\"\n");
  fs::permissions(wrapper, fs::perms::owner_all);
  return wrapper;
}

std::string full_disk_text() { return Sandbox::launched() ? "Invalid argument" : "File too large"; }

bool Sandbox::launched() { return !env_or("VOKT_E2E_LAUNCHER", "").empty(); }

std::string Sandbox::host_name(std::string_view utf8) { return launched() ? std::string(utf8) : sjis(utf8); }

Sandbox::Sandbox(const SandboxOptions& options) {
  launcher_ = options.launcher ? *options.launcher : env_or("VOKT_E2E_LAUNCHER", "");
  const fs::path base = env_or("VOKT_E2E_TMP", fs::temp_directory_path().string());
  std::random_device random;
  for (int attempt = 0; attempt < 100 && root_.empty(); ++attempt) {
    const fs::path candidate = base / ("vokt-e2e-" + std::to_string(random()));
    if (fs::create_directory(candidate)) root_ = fs::canonical(candidate);  // the tool sees links resolved
  }
  if (root_.empty()) throw std::runtime_error("cannot create a scratch directory");
  prog_ = root_ / options.prog_dir_name;
  work_ = root_ / "work";
  stub_ = root_ / "stub";
  for (const fs::path& dir : {prog_, work_, stub_}) fs::create_directories(dir);
  const fs::path binary = options.binary.value_or(env_or("VOKT_E2E_BINARY", VOKT_E2E_DEFAULT_BINARY));
  program_ = prog_ / (options.program_name.empty() ? binary.filename() : fs::path(options.program_name));
  fs::copy_file(binary, program_);
  before_browser_open(":");
}

Sandbox::~Sandbox() {
  std::error_code ignored;
  if (std::getenv("VOKT_E2E_KEEP") == nullptr) fs::remove_all(root_, ignored);
}

pid_t Sandbox::start(const std::vector<std::string>& args, const RunOptions& options) const {
  std::vector<std::string> argv_text;
  if (!launcher_.empty()) argv_text.push_back(launcher_);
  argv_text.push_back(options.program.value_or(program_).string());
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::map<std::string, std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (const std::size_t eq = text.find('='); eq != std::string_view::npos) {
      env[std::string(text.substr(0, eq))] = std::string(text.substr(eq + 1));
    }
  }
  env["PATH"] = stub_.string() + ":" + env_or("PATH", "/usr/bin:/bin");
  env["OPEN_LOG"] = (root_ / "open.log").string();
  for (const auto& [key, value] : options.env) env[key] = value;
  std::vector<std::string> env_text;
  for (const auto& [key, value] : env) env_text.push_back(key + "=" + value);
  std::vector<char*> argv_ptrs, env_ptrs;
  for (auto& arg : argv_text) argv_ptrs.push_back(arg.data());
  for (auto& entry : env_text) env_ptrs.push_back(entry.data());
  argv_ptrs.push_back(nullptr);
  env_ptrs.push_back(nullptr);
  const std::string in_path = options.stdin_path.value_or("/dev/null").string();
  // Console files of their own, so that runs at the same time keep theirs.
  const std::string id = std::to_string(++runs_) + ".txt";
  const std::string out_path = (root_ / ("stdout-" + id)).string(), err_path = (root_ / ("stderr-" + id)).string();
  const std::string cwd = work_.string();
  if (options.as_nobody) fs::permissions(root_, fs::perms::all);  // for the stub's log and the console files

  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int in = open(in_path.c_str(), O_RDONLY);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (int ends[2]; options.unread_stdout && pipe(ends) == 0) {
      close(ends[0]);
      close(out);
      out = ends[1];
    }
    if (options.null_stdout) dup2(open("/dev/null", O_WRONLY), out);
    if (options.umask) umask(*options.umask);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(cwd.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (options.as_nobody && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(127);
    if (options.file_size_limit) {
      // The tool itself turns SIGXFSZ into a failed write; only Wine's
      // loader, which is not the tool, has it ignored for it.
      if (!launcher_.empty()) signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{*options.file_size_limit, *options.file_size_limit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.memory_limit) {
      const rlimit limit{*options.memory_limit, *options.memory_limit};
      setrlimit(RLIMIT_AS, &limit);
    }
    execve(argv_ptrs[0], argv_ptrs.data(), env_ptrs.data());
    _exit(127);
  }
  run_ids_[child] = runs_;
  return child;
}

RunResult Sandbox::finish(pid_t child, const RunOptions& options) const {
  int wait_status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (waitpid(child, &wait_status, WNOHANG) != child) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &wait_status, 0);
      throw std::runtime_error("the tool did not finish in time");
    }
    sleep_ms(5);
  }
  const std::string id = std::to_string(run_ids_[child]) + ".txt";
  RunResult result{WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1, read_file(root_ / ("stdout-" + id)),
                   read_file(root_ / ("stderr-" + id))};
  if (!launcher_.empty() && !options.keep_cr) {
    std::erase(result.out, '\r');
    std::erase(result.err, '\r');
  }
  return result;
}

RunResult Sandbox::run(const std::vector<std::string>& args, const RunOptions& options) const {
  RunResult result = finish(start(args, options), options);
  // The tool's first act is its title on the error stream. Wine, loaded
  // down, now and then fails to start a program at all (exit 1, nothing
  // written) or crashes in its loader: such a run never reached the tool and
  // changed nothing, so it is run again, and the skip is logged. A fault of
  // the tool's own start would fail every time and still be caught.
  const auto never_started = [&] {
    return !launcher_.empty() && result.status != 0 && !result.err.starts_with(kTitle);
  };
  for (int again = 0; again < 2 && never_started(); ++again) {
    std::cerr << "[ harness  ] the Windows program did not start (exit " << result.status << ", error stream \""
              << result.err.substr(0, 200) << "\"): running it again\n";
    result = finish(start(args, options), options);
  }
  return result;
}

std::vector<std::string> Sandbox::browser_opens(int wait_ms) const {
  const fs::path log = root_ / "open.log";
  for (int waited = 0; waited < wait_ms && !fs::exists(log); waited += 20) sleep_ms(20);
  if (!fs::exists(log)) return {};
  sleep_ms(300);  // a second, unwanted call would arrive by now
  std::vector<std::string> lines;
  std::istringstream in(read_file(log));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void Sandbox::before_browser_open(std::string_view command) const {
  // The launcher the Linux build calls and Wine's browser bridge calls for the
  // Windows build. A call with other than one argument is logged as "argc=N".
  const fs::path stub = stub_ / "xdg-open";
  write_file(stub, "#!/bin/sh\n" + std::string(command) +
                       "\nif [ $# -eq 1 ]; then line=\"$1\"; else line=\"argc=$#: $*\"; fi\n"
                       "printf '%s\\n' \"$line\" >> \"$OPEN_LOG\"\n");
  fs::permissions(stub, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
}

std::string Sandbox::frame_page_open() const {
  const std::string path = (prog_ / "vokt.htm").string();
  if (launcher_.empty()) return path;
  // Wine's bridge writes the path into a file URL, escaping bytes outside this set.
  static constexpr std::string_view kKept = "/._~-+,=@$&";
  std::string url = "file://";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x80 && std::isalnum(byte) != 0) || kKept.find(c) != std::string_view::npos) {
      url += c;
    } else {
      url += '%';
      url += "0123456789ABCDEF"[byte >> 4];
      url += "0123456789ABCDEF"[byte & 0x0F];
    }
  }
  return url;
}

}  // namespace vokt::e2e
