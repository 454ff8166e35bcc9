#include "harness.h"

#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
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

fs::path binary_under_test() { return env_or("VOKT_E2E_BINARY", VOKT_E2E_DEFAULT_BINARY); }

std::string launcher() { return env_or("VOKT_E2E_LAUNCHER", ""); }

std::string without_cr(std::string text) {
  std::erase(text, '\r');
  return text;
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The recording part of the browser launcher stub: appends its one argument
// to $OPEN_LOG as a line; a call with any other number of arguments is
// logged as "argc=N: ...".
constexpr std::string_view kOpenStubRecord =
    "if [ $# -eq 1 ]; then line=\"$1\"; else line=\"argc=$#: $*\"; fi\n"
    "printf '%s\\n' \"$line\" >> \"$OPEN_LOG\"\n";

// A Unix path as Wine's browser bridge writes it into a file URL: bytes
// outside this set become %XX (non-ASCII names are UTF-8 on the host).
std::string url_escaped(std::string_view path) {
  static constexpr std::string_view kKept = "/._~-+,=@$";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : path) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 && byte < 0x80) {
      out += c;
    } else if (kKept.find(c) != std::string_view::npos) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

}  // namespace

std::string sjis(std::string_view utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open CP932");
  std::string in(utf8);
  std::string out(in.size() * 2 + 16, '\0');
  char* src = in.data();
  std::size_t src_left = in.size();
  char* dst = out.data();
  std::size_t dst_left = out.size();
  const std::size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) throw std::runtime_error("text not representable in CP932");
  out.resize(out.size() - dst_left);
  return out;
}

std::string crlf(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

bool Sandbox::launched() { return !launcher().empty(); }

std::string Sandbox::host_name(std::string_view utf8) { return launched() ? std::string(utf8) : sjis(utf8); }

Sandbox::Sandbox() : Sandbox(SandboxOptions{}) {}

Sandbox::Sandbox(const SandboxOptions& options) {
  launcher_ = options.launcher ? *options.launcher : launcher();
  const fs::path base = env_or("VOKT_E2E_TMP", fs::temp_directory_path().string());
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = base / ("vokt-e2e-" + std::to_string(random()));
    if (fs::create_directory(candidate)) {
      root_ = fs::canonical(candidate);  // the tool sees its own path with links resolved
      break;
    }
  }
  if (root_.empty()) throw std::runtime_error("cannot create a scratch directory");
  prog_ = root_ / options.prog_dir_name;
  work_ = root_ / "work";
  stub_ = root_ / "stub";
  open_log_ = root_ / "open.log";
  fs::create_directories(prog_);
  fs::create_directories(work_);
  fs::create_directories(stub_);

  const fs::path binary = options.binary ? *options.binary : binary_under_test();
  program_ = prog_ / (options.program_name.empty() ? binary.filename() : fs::path(options.program_name));
  fs::copy_file(binary, program_);

  before_browser_open(":");
}

Sandbox::~Sandbox() {
  std::error_code ignored;
  if (std::getenv("VOKT_E2E_KEEP") == nullptr) fs::remove_all(root_, ignored);
}

void Sandbox::write_prog(std::string_view name, std::string_view bytes) const { write_file(prog_ / name, bytes); }
void Sandbox::write_work(std::string_view name, std::string_view bytes) const { write_file(work_ / name, bytes); }
std::string Sandbox::read_prog(std::string_view name) const { return read_file(prog_ / name); }
std::string Sandbox::read_work(std::string_view name) const { return read_file(work_ / name); }
bool Sandbox::prog_has(std::string_view name) const { return fs::exists(prog_ / name); }
bool Sandbox::work_has(std::string_view name) const { return fs::exists(work_ / name); }

pid_t Sandbox::start(const std::vector<std::string>& args, const RunOptions& options) const {
  std::vector<std::string> argv_text;
  if (runs_launched()) argv_text.push_back(launcher_);
  argv_text.push_back(program_.string());
  argv_text.insert(argv_text.end(), args.begin(), args.end());

  std::map<std::string, std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const std::size_t eq = text.find('=');
    if (eq != std::string_view::npos) env[std::string(text.substr(0, eq))] = std::string(text.substr(eq + 1));
  }
  env["PATH"] = stub_.string() + ":" + env_or("PATH", "/usr/bin:/bin");
  env["OPEN_LOG"] = open_log_.string();
  for (const auto& [key, value] : options.env) env[key] = value;

  std::vector<std::string> env_text;
  for (const auto& [key, value] : env) env_text.push_back(key + "=" + value);
  std::vector<char*> argv_ptrs;
  for (auto& arg : argv_text) argv_ptrs.push_back(arg.data());
  argv_ptrs.push_back(nullptr);
  std::vector<char*> env_ptrs;
  for (auto& entry : env_text) env_ptrs.push_back(entry.data());
  env_ptrs.push_back(nullptr);

  const std::string in_path = options.stdin_path ? options.stdin_path->string() : "/dev/null";
  const std::string out_path = (root_ / "stdout.txt").string();
  const std::string err_path = (root_ / "stderr.txt").string();
  const std::string cwd = work_.string();

  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int in = open(in_path.c_str(), O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(cwd.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (options.file_size_limit) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{*options.file_size_limit, *options.file_size_limit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execve(argv_ptrs[0], argv_ptrs.data(), env_ptrs.data());
    _exit(127);
  }
  return child;
}

RunResult Sandbox::finish(pid_t child, const RunOptions& options) const {
  RunResult result;
  int wait_status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout_seconds);
  for (;;) {
    const pid_t done = waitpid(child, &wait_status, WNOHANG);
    if (done == child) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &wait_status, 0);
      throw std::runtime_error("the tool did not finish in time");
    }
    sleep_ms(5);
  }
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  result.out = read_file(root_ / "stdout.txt");
  result.err = read_file(root_ / "stderr.txt");
  if (runs_launched() && !options.keep_cr) {
    result.out = without_cr(std::move(result.out));
    result.err = without_cr(std::move(result.err));
  }
  return result;
}

void Sandbox::kill_child(pid_t child) const {
  kill(child, SIGKILL);
  int wait_status = 0;
  waitpid(child, &wait_status, 0);
}

RunResult Sandbox::run(const std::vector<std::string>& args, const RunOptions& options) const {
  return finish(start(args, options), options);
}

std::vector<std::string> Sandbox::browser_opens(int wait_ms) const {
  for (int waited = 0; waited < wait_ms && !fs::exists(open_log_); waited += 20) sleep_ms(20);
  if (!fs::exists(open_log_)) return {};
  sleep_ms(300);  // a second, unwanted call would arrive by now
  std::vector<std::string> lines;
  std::istringstream log(read_file(open_log_));
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

void Sandbox::before_browser_open(std::string_view command) const {
  // The desktop launcher the Linux build calls, and that Wine's browser
  // bridge calls for the Windows build: it records its argument, one line per
  // call, and marks a call with any other number of arguments.
  const fs::path stub = stub_ / "xdg-open";
  write_file(stub, "#!/bin/sh\n" + std::string(command) + "\n" + std::string(kOpenStubRecord));
  fs::permissions(stub, fs::perms::owner_all);
}

std::string Sandbox::frame_page_open() const {
  const std::string path = (prog_ / "vokt.htm").string();
  return runs_launched() ? "file://" + url_escaped(path) : path;
}

}  // namespace vokt::e2e
