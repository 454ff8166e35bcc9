#include "platform/system.h"

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#include <shellapi.h>
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

// Waits the 10 ms between two tries of a call that another process may
// hold up (a lock, a file in use).
void pause_between_tries() {
#ifdef _WIN32
  Sleep(10);
#else
  usleep(10 * 1000);
#endif
}

#ifdef _WIN32
// UTF-16 in the code page `code_page`; `no_form` stands for a character that
// has none there (null: the converter's own choice).
std::string narrow_name(std::wstring_view wide, UINT code_page, DWORD flags, const char* no_form) {
  if (wide.empty()) return {};
  std::string narrow(3 * wide.size(), '\0');  // at most three bytes per UTF-16 unit
  narrow.resize(static_cast<std::size_t>(WideCharToMultiByte(code_page, flags, wide.data(),
                                                             static_cast<int>(wide.size()), narrow.data(),
                                                             static_cast<int>(narrow.size()), no_form, nullptr)));
  return narrow;
}
#endif

bool is_separator(char byte) {
#ifdef _WIN32
  return byte == '\\' || byte == '/';
#else
  return byte == '/';
#endif
}

}  // namespace

std::string directory_of(std::string_view path) {
  std::size_t cut = path.size();
  while (cut > 0 && !is_separator(path[cut - 1])) --cut;
  if (cut == 0) return ".";
  if (cut == 1) return std::string(path.substr(0, 1));  // a file in the root directory
  return std::string(path.substr(0, cut - 1));
}

std::string join_path(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (path.empty() || !is_separator(path.back())) path += kPathSeparator;
  path += name;
  return path;
}

#ifdef _WIN32

std::wstring wide_name(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  std::wstring wide(utf8.size(), L'\0');  // never more UTF-16 units than UTF-8 bytes
  wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), size)));
  return wide;
}

std::string utf8_name(std::wstring_view wide) { return narrow_name(wide, CP_UTF8, 0, nullptr); }

std::wstring file_api_name(std::string_view utf8) {
  std::wstring wide = wide_name(utf8);
  // A full path beyond MAX_PATH needs the prefix that lifts the limit; it
  // turns off the system's own tidying of the path, so only a plain
  // absolute path (drive and backslashes, as the tool makes them) gets it.
  const bool drive_path = wide.size() > 3 && wide[1] == L':' && wide[2] == L'\\';
  if (wide.size() >= MAX_PATH && drive_path && wide.find(L'/') == std::wstring::npos) wide.insert(0, L"\\\\?\\");
  return wide;
}

std::vector<std::string> utf8_arguments(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(utf8_name(argv[i]));
  return arguments;
}

#endif

std::string shown_name(std::string_view name) {
#ifdef _WIN32
  // In code page 932, with "?" for what it cannot show (no look-alikes).
  return narrow_name(wide_name(name), 932, WC_NO_BEST_FIT_CHARS, "?");
#else
  return std::string(name);
#endif
}

std::string executable_path(std::string_view argv0) {
#ifdef _WIN32
  // The buffer grows until the whole path fits: it may exceed MAX_PATH.
  for (std::wstring module(MAX_PATH, L'\0'); module.size() <= 65536; module.resize(2 * module.size())) {
    const DWORD length = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    if (length == 0) break;
    if (length < module.size()) return utf8_name(std::wstring_view(module.data(), length));
  }
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

int open_document(const std::string& document) {
#ifdef _WIN32
  // What the command interpreter's "start" does for a document, without the
  // interpreter, so that nothing in the path is expanded or runs. Wine expands
  // "%NAME%" in the name even so, and its browser bridge fails on a path
  // beyond MAX_PATH: such a path is handed over in its short form.
  std::wstring file = file_api_name(document);
  if (file.find(L'%') != std::wstring::npos || file.size() >= MAX_PATH) {
    // A short name may be longer than its long one ("x.y.z" is "XY~1.Z").
    std::wstring short_form(GetShortPathNameW(file.c_str(), nullptr, 0), L'\0');
    const DWORD length = GetShortPathNameW(file.c_str(), short_form.data(), static_cast<DWORD>(short_form.size()));
    if (length > 0 && length < short_form.size()) file.assign(short_form.data(), length);
    if (file.starts_with(L"\\\\?\\")) file.erase(0, 4);  // short enough now without the prefix
  }
  SHELLEXECUTEINFOW open{};
  open.cbSize = sizeof open;
  open.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;  // done before the tool exits; no dialogs
  open.lpVerb = L"open";
  open.lpFile = file.c_str();
  open.nShow = SW_SHOWNORMAL;
  return ShellExecuteExW(&open) ? 0 : -1;
#else
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
    if (MoveFileExW(file_api_name(from).c_str(), file_api_name(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = GetLastError();
    const bool in_use = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    if (!in_use || waited_ms >= 10 * 1000) {
      errno = in_use ? EACCES : EIO;
      return false;
    }
    pause_between_tries();
  }
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void remove_file(const std::string& path) {
#ifdef _WIN32
  DeleteFileW(file_api_name(path).c_str());
#else
  std::remove(path.c_str());
#endif
}

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
  // Polled rather than blocking, so that the wait has a limit everywhere.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
#ifdef _WIN32
  // Read access is enough to lock, and lets a lock file of another user serve.
  const HANDLE handle = CreateFileW(file_api_name(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Outcome::no_file;
  handle_ = handle;
  for (;;) {
    OVERLAPPED whole{};
    if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) return Outcome::held;
    if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) return Outcome::no_file;
#else
  fd_ = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd_ < 0) return Outcome::no_file;
  for (;;) {
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return Outcome::held;
    if (errno != EWOULDBLOCK && errno != EINTR) return Outcome::no_file;
#endif
    if (std::chrono::steady_clock::now() >= deadline) return Outcome::timed_out;
    pause_between_tries();
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
