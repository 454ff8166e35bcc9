// Everything the tool asks of the operating system, implemented by
// os_posix.cpp and os_windows.cpp. A call that can fail returns the error
// number of its failure (an errno value, 0 for success).
//
// On Windows names are UTF-8 inside the tool (no character holds a 0x5C
// byte, so a 0x5C is always a separator) and UTF-16 at every system call;
// elsewhere they are the bytes the system gives.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vokt {

// The separators of a path; the tool writes the first.
#ifdef _WIN32
inline constexpr std::string_view kPathSeparators = "\\/";
#else
inline constexpr std::string_view kPathSeparators = "/";
#endif

// The directory part of `path`, without its last separator ("/" stays);
// "." (the current directory) where there is no separator.
inline std::string directory_of(std::string_view path) {
  const std::size_t last = path.find_last_of(kPathSeparators);
  if (last == std::string_view::npos) return ".";
  return std::string(path.substr(0, last == 0 ? 1 : last));
}

// `dir` and `name` joined with the platform's separator.
inline std::string join_path(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (path.empty() || kPathSeparators.find(path.back()) == std::string_view::npos) path += kPathSeparators.front();
  return path.append(name);
}

// The error of the C library call that just failed; EIO where it left none.
inline int last_error() { return errno != 0 ? errno : EIO; }

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` in binary mode with the C library's `mode`; a directory is
// refused with EACCES, as the target refuses it, and a name that cannot name
// a file (a file taken for a folder, a name too long) gives ENOENT.
int open_file(const std::string& path, const char* mode, FileHandle& file);

// Opens the regular file `path` for reading, never waiting for a writer:
// anything else (a FIFO, a device, a directory) is refused with EACCES, as
// the target refuses a directory.
int open_regular_file(const std::string& path, FileHandle& file);

// The file that `path` names, in `target`: a symbolic link followed (one
// link deep where its target is not there yet), so that a replacement takes
// the target's place. EACCES for a link of another user (not root) in a
// sticky folder that others may write.
int link_target(const std::string& path, std::string& target);

// 0 for a regular file that may be opened for writing, ENOENT for none, else
// the error an open for writing would give (EACCES for anything but a
// regular file, as the target refuses a directory).
int check_writable(const std::string& path);

// Creates `path` for writing, with the permission bits (and, where
// permitted, the group) of the file `like`; EEXIST when anything, a link
// included, has that name. It may be removed while it is open.
int create_new_file(const std::string& path, const std::string& like, FileHandle& file);

// Opens the regular file `path` for writing from its start, emptied; never
// waits for a reader, and refuses anything but a regular file with EACCES.
int open_for_rewrite(const std::string& path, FileHandle& file);

// Puts `from` in place of `to` in one step.
int replace_file(const std::string& from, const std::string& to);

// Removes the file `path`, if it is there; safe in an interruption's handler.
void remove_file(const char* path);

// Calls `handler`, which may do only what a signal handler may, when the run
// is interrupted (SIGINT, SIGTERM or SIGHUP unless ignored from the start;
// on Windows Ctrl-C, Ctrl-Break, closing the console); the interruption then
// ends the run as it would have.
void on_interruption(void (*handler)());

// Holds back interruptions while it lives (holds nest): one that comes
// meanwhile takes effect when the hold ends.
struct InterruptionHold {
  InterruptionHold();
  ~InterruptionHold();
  InterruptionHold(const InterruptionHold&) = delete;
  InterruptionHold& operator=(const InterruptionHold&) = delete;
};

// The full path of the running executable; `argv0` where the system cannot tell.
std::string executable_path(std::string_view argv0);

// A name as messages show it: on Windows in code page 932, "?" for a
// character it lacks; elsewhere as it is.
std::string shown_name(std::string_view name);

// Asks the desktop to open `document` with its associated program: 0, or -1
// when no launcher could be started or it failed (a launcher, xdg-open, has
// two seconds to report a failure by its exit status).
int open_document(const std::string& document);

// Gives a standard stream that is closed /dev/null (POSIX), makes the
// standard output fully buffered when it is not a terminal (on Windows, not
// a console: NUL and files are buffered alike), and lets a write to a closed
// pipe or past the file-size limit fail like any other write instead of
// ending the process, as on the target, which has no such signals.
void prepare_standard_streams();

// What a character without a code-page-932 form becomes: the default
// character of the Windows converter.
inline constexpr char kNoCp932Form = '?';

// Appends the code-page-932 form of the valid UTF-8 `utf8`, by the system's
// converter (iconv(3); on Windows its own), kNoCp932Form for a character
// without one; no character grows. False when the system has no converter.
bool append_cp932(std::string_view utf8, std::string& out);

// wmain's arguments, in UTF-16 so that every name arrives whole, in UTF-8.
std::vector<std::string> utf8_arguments(int argc, wchar_t** argv);

// An exclusive advisory lock on a file, created if missing and left in
// place, held until the object is destroyed.
class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { release(); }

  // Waits at most `timeout_ms` milliseconds for the lock of `path`: 0 when
  // held, ETIMEDOUT when another run held it all that time, else why the file
  // cannot serve (EACCES for anything but a regular file). Opened for reading
  // and writing, or reading only where writing is refused; never waits for a
  // writer.
  int acquire(const std::string& path, int timeout_ms);

 private:
  void release();

  std::intptr_t handle_ = -1;  // the system's handle of the open lock file
};

}  // namespace vokt
