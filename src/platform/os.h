// Everything the tool asks of the operating system. os_posix.cpp and
// os_windows.cpp implement it; the build compiles the one for its target.
//
// A call that can fail returns the error number of its failure (an errno
// value, 0 for success), so that whoever reports it has it in hand.
//
// Names of files are UTF-8 inside the tool on Windows (UTF-16 at every
// system call, so that a name reaches the system whole whatever its
// characters; and in UTF-8 no character holds a 0x5C byte, so a 0x5C is
// always a separator) and the bytes the system gives elsewhere.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vokt {

// The separators between a directory and a file name; the first is the one
// the tool writes.
#ifdef _WIN32
inline constexpr std::string_view kPathSeparators = "\\/";
#else
inline constexpr std::string_view kPathSeparators = "/";
#endif

// The error of the C library call that just failed; EIO where it left none.
inline int last_error() { return errno != 0 ? errno : EIO; }

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` in binary mode with the C library's `mode`. A directory is
// refused with EACCES, as the target reports it.
int open_file(const std::string& path, const char* mode, FileHandle& file);

// The file that `path` names, in `target`: a symbolic link is followed (one
// link deep where the target is not there yet), so that a replacement takes
// the target's place and the link stays. A link that another user (not
// this run's, not root) has put in a folder that is sticky and writable by
// others is not followed: EACCES.
int link_target(const std::string& path, std::string& target);

// 0 when `path` is a regular file that may be opened for writing, ENOENT
// when nothing has that name; else the error that opening it for writing
// would give. Anything but a regular file (a directory, a FIFO, a device, a
// socket, a link) gives EACCES, as the target reports a directory.
int check_writable(const std::string& path);

// Creates `path` for writing; EEXIST when anything, a link included, already
// has that name. The new file gets the permission bits (and, where
// permitted, the group) of the existing file `like`. An interrupted run can
// remove it while it is open.
int create_new_file(const std::string& path, const std::string& like, FileHandle& file);

// Opens the regular file `path` for writing from its start, emptied; never
// waits for a reader, and refuses anything but a regular file with EACCES.
int open_for_rewrite(const std::string& path, FileHandle& file);

// Puts `from` in place of `to` in one step.
int replace_file(const std::string& from, const std::string& to);

// Removes the file `path`, if it is there.
void remove_file(const std::string& path);
// The same from an interruption's handler: safe there.
void remove_file_now(const char* path);

// Calls `handler` when the run is interrupted: SIGINT, SIGTERM and SIGHUP on
// POSIX systems (a signal the run was started to ignore stays ignored);
// Ctrl-C, Ctrl-Break and closing the console on Windows. The run then ends
// as the interruption would have ended it. `handler` may do only what a
// signal handler may.
void on_interruption(void (*handler)());

// Holds back the interruptions while in effect: one that comes meanwhile
// takes effect when the hold ends. Holds may nest.
void hold_interruptions();
void release_interruptions();
struct InterruptionHold {
  InterruptionHold() { hold_interruptions(); }
  ~InterruptionHold() { release_interruptions(); }
  InterruptionHold(const InterruptionHold&) = delete;
  InterruptionHold& operator=(const InterruptionHold&) = delete;
};

// The full path of the running executable, or `argv0` where the system
// cannot tell.
std::string executable_path(std::string_view argv0);

// A name as messages show it: on Windows in code page 932, with "?" for
// each character that code page 932 lacks; elsewhere as it is.
std::string shown_name(std::string_view name);

// Asks the desktop to open `document` with its associated program. A
// launcher (xdg-open) is given two seconds to report a failure by its exit
// status, never waited for longer. Returns 0, or -1 when no launcher could
// be started or it failed.
int open_document(const std::string& document);

// Makes the standard output fully buffered when it is not a terminal (on
// Windows, not a console: NUL and files are buffered alike).
void buffer_standard_output();

// Lets a write to a closed pipe fail like any other write instead of ending
// the process, as on the target, which has no such signal.
void ignore_broken_pipes();

// What a character without a code-page-932 form becomes: the default
// character of the Windows converter.
inline constexpr char kNoCp932Form = '?';

// The system's converter from UTF-8 to code page 932 (iconv(3) on POSIX
// systems; on Windows its own, which needs nothing opened), open while the
// object lives.
class Cp932Converter {
 public:
  Cp932Converter();
  Cp932Converter(const Cp932Converter&) = delete;
  Cp932Converter& operator=(const Cp932Converter&) = delete;
  ~Cp932Converter();

  // False when the system has no such converter.
  bool available() const { return handle_ != -1; }

  // Appends to `out` the code-page-932 form of the valid UTF-8 `utf8`, a
  // character without one becoming kNoCp932Form. No character is longer in code page
  // 932 than in UTF-8.
  void append(std::string_view utf8, std::string& out);

 private:
  std::intptr_t handle_ = -1;
};

// wmain's arguments in UTF-8: the Windows program takes its command line in
// UTF-16 (elsewhere the arguments are bytes, and main takes them as they are).
std::vector<std::string> utf8_arguments(int argc, wchar_t** argv);

// An exclusive lock that runs sharing a file take one after another: an
// advisory lock on the file `path`, which is created if missing and stays.
// Held until the object is destroyed.
class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { release(); }

  // Waits at most `timeout_ms` milliseconds for the lock, polling. Returns 0
  // when this run holds it, ETIMEDOUT when another run held it for the whole
  // time, else the error that keeps the file from serving as a lock (EACCES
  // for anything but a regular file in its place); nothing is held then.
  // The file is opened for reading and writing, or for reading only where
  // writing is refused, and never waits for a writer.
  int acquire(const std::string& path, int timeout_ms);

 private:
  void release();

  std::intptr_t handle_ = -1;  // the system's handle of the open lock file
};

}  // namespace vokt
