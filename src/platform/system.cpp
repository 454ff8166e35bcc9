#include "platform/system.h"

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <unistd.h>

extern char** environ;
#endif

#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif

namespace vokt {

namespace {

// True for the first byte of a double-byte character in the code page of the
// program's file names. On Windows that is the active code page: Shift-JIS
// lead bytes under code page 932, none under a single-byte code page such as
// 1252, where for example 0xE9 (e with acute accent) is a whole character.
bool is_lead_byte(unsigned char byte) {
#ifdef _WIN32
  return IsDBCSLeadByte(byte) != 0;
#else
  (void)byte;
  return false;  // file names are plain bytes; only '/' separates
#endif
}

bool is_separator(unsigned char byte) {
#ifdef _WIN32
  return byte == '\\' || byte == '/';
#else
  return byte == '/';
#endif
}

}  // namespace

std::string directory_of(std::string_view path) {
  std::size_t cut = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(path[i]);
    if (is_lead_byte(byte) && i + 1 < path.size()) {
      ++i;  // the second byte may be 0x5C without being a separator
      continue;
    }
    if (is_separator(byte)) cut = i;
  }
  if (cut == std::string_view::npos) return ".";
  if (cut == 0) return std::string(1, path[0]);  // a file in the root directory
  return std::string(path.substr(0, cut));
}

std::string join_path(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
  path += name;
  return path;
}

std::string executable_path(std::string_view argv0) {
#ifdef _WIN32
  char module[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
  if (length > 0 && length < MAX_PATH) return std::string(module, length);
#elif defined(__APPLE__)
  char module[4096] = {};
  uint32_t size = sizeof module;
  if (_NSGetExecutablePath(module, &size) == 0) return std::string(module);
#else
  std::string module(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", module.data(), module.size());
  if (length > 0 && static_cast<std::size_t>(length) < module.size()) {
    module.resize(static_cast<std::size_t>(length));
    return module;
  }
#endif
  return std::string(argv0);
}

int open_document(const std::string& title, const std::string& document) {
#ifdef _WIN32
  // The command interpreter's start command returns at once; its first
  // quoted argument is the window title.
  const std::string command = "start \"" + title + "\" \"" + document + "\"";
  return std::system(command.c_str());
#else
  (void)title;
#ifdef __APPLE__
  const char* launcher = "open";
#else
  const char* launcher = "xdg-open";
#endif
  // The launcher runs detached from our console streams so that whatever it
  // prints cannot mix with the tool's own messages, and the path is passed as
  // one argument with no shell in between.
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  for (int stream = 0; stream <= 2; ++stream) {
    posix_spawn_file_actions_addopen(&actions, stream, "/dev/null", stream == 0 ? O_RDONLY : O_WRONLY, 0);
  }
  pid_t child = 0;
  char* const argv[] = {const_cast<char*>(launcher), const_cast<char*>(document.c_str()), nullptr};
  const int status = posix_spawnp(&child, launcher, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  return status == 0 ? 0 : -1;
#endif
}

bool replace_file(const std::string& from, const std::string& to) {
#ifdef _WIN32
  // Windows refuses to replace a file that another process has open (a check
  // reading vokt.dat, another build replacing it): such a refusal is waited
  // out for up to 10 seconds.
  for (int waited_ms = 0;; waited_ms += 10) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    const DWORD error = GetLastError();
    const bool in_use = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    if (!in_use || waited_ms >= 10 * 1000) {
      errno = in_use ? EACCES : EIO;
      return false;
    }
    Sleep(10);
  }
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void remove_file(const std::string& path) { std::remove(path.c_str()); }

void buffer_standard_output() {
#ifdef _WIN32
  const bool terminal = _isatty(_fileno(stdout)) != 0;
#else
  const bool terminal = isatty(fileno(stdout)) != 0;
#endif
  if (!terminal) std::setvbuf(stdout, nullptr, _IOFBF, 64 * 1024);
}

void ignore_broken_pipes() {
#ifndef _WIN32
  signal(SIGPIPE, SIG_IGN);
#endif
}

FileLock::Outcome FileLock::acquire(const std::string& path, int timeout_ms) {
  // Polled every 10 ms rather than blocking, so that the wait has a limit
  // everywhere.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
#ifdef _WIN32
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Outcome::no_file;
  handle_ = handle;
  for (;;) {
    OVERLAPPED whole{};
    if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) return Outcome::held;
    if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) return Outcome::no_file;
#else
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd_ < 0) return Outcome::no_file;
  for (;;) {
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return Outcome::held;
    if (errno != EWOULDBLOCK && errno != EINTR) return Outcome::no_file;
#endif
    if (std::chrono::steady_clock::now() >= deadline) return Outcome::timed_out;
#ifdef _WIN32
    Sleep(10);
#else
    usleep(10 * 1000);
#endif
  }
}

FileLock::~FileLock() {
  // Closing the file releases the lock.
#ifdef _WIN32
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
#else
  if (fd_ >= 0) ::close(fd_);
#endif
}

}  // namespace vokt
