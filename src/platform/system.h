// The few operating-system services the tool needs beyond files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// Names of files. On Linux they are the bytes the system gives. On Windows
// they are UTF-8 inside the tool, turned into UTF-16 for every system call,
// so that a name reaches the system whole, whatever its characters; and in
// UTF-8 no character holds a 0x5C byte, so a 0x5C is always a separator (not
// so in code page 932, where 「表」 is 95 5C).

// Cuts `path` at its last separator: the directory part, without the
// separator. A path without a separator gives "." (the current directory).
std::string directory_of(std::string_view path);

// Joins a directory and a file name with the platform's separator.
std::string join_path(std::string_view dir, std::string_view name);

// A name as messages show it: on Windows in code page 932, with "?" for each
// character that code page 932 lacks; elsewhere as it is.
std::string shown_name(std::string_view name);

#ifdef _WIN32
std::wstring wide_name(std::string_view utf8);
std::string utf8_name(std::wstring_view wide);
// The UTF-16 name for a file call, with the long-path prefix where it needs one.
std::wstring file_api_name(std::string_view utf8);
// The program's arguments (wmain's) in UTF-8.
std::vector<std::string> utf8_arguments(int argc, wchar_t** argv);
#endif

// Asks the desktop to open `document` with its associated program and does
// not wait for that program. Returns 0, or -1 when no launcher could be
// started.
int open_document(const std::string& document);

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
