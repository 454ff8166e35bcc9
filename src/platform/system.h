// The few operating-system services the tool needs beyond files.
#pragma once

#include <string>
#include <string_view>

namespace vokt {

// The separator between a directory and a file name on this platform.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The full path of the running executable, or `argv0` where the platform
// cannot tell.
std::string executable_path(std::string_view argv0);

// Cuts `path` at its last real separator: the directory part, without the
// separator. On Windows a 0x5C that is the second byte of a double-byte
// character of the active code page (Shift-JIS under code page 932, as in
// "\x95\x5C") is not a separator. A path without a separator
// gives "." (the current directory).
std::string directory_of(std::string_view path);

// Joins a directory and a file name with the platform's separator.
std::string join_path(std::string_view dir, std::string_view name);

// Asks the desktop to open `document` with its associated program and does
// not wait for that program; `title` names the window where the platform has
// one. Returns the launcher's status, or -1 when no launcher could be started.
int open_document(const std::string& title, const std::string& document);

// Puts `from` in place of `to` in one step. On failure returns false with
// errno set.
bool replace_file(const std::string& from, const std::string& to);

// Removes the file `path`, if it is there.
void remove_file(const std::string& path);

// Makes the standard output fully buffered when it is not a terminal.
void buffer_standard_output();

// Lets a write to a closed pipe fail like any other write instead of ending
// the process, as on the target, which has no such signal.
void ignore_broken_pipes();

// An exclusive lock that runs sharing a file take one after another: an
// advisory lock on the file `path`, which is created if missing and stays.
// Held until the object is destroyed.
class FileLock {
 public:
  enum class Outcome {
    held,       // this run holds the lock
    no_file,    // the lock file cannot be opened or locked; nothing is held
    timed_out,  // another run held it for the whole time allowed
  };

  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

  // Waits at most `timeout_ms` milliseconds for the lock.
  Outcome acquire(const std::string& path, int timeout_ms);

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace vokt
