// The operating system's services on POSIX systems (Linux).
#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "platform/os.h"

extern char** environ;

namespace vokt {

namespace {

// A failed open's error as the target reports it: a name that cannot name a
// file there (a file taken for a folder, a name too long) names none; what
// an open meets instead of a regular file (a link under O_NOFOLLOW, a
// directory, a socket) is refused as the target refuses a directory.
int target_error(int error) {
  if (error == ENOTDIR || error == ENAMETOOLONG) return ENOENT;
  return error == ELOOP || error == EISDIR || error == ENXIO ? EACCES : error;
}

// `fd` as `file` when it is a regular file; else EACCES, and `fd` is closed.
int adopt_regular_file(int fd, const char* mode, FileHandle& file) {
  struct stat info {};
  int error = fstat(fd, &info) != 0 ? last_error() : S_ISREG(info.st_mode) ? 0 : EACCES;
  if (error == 0) {
    file.reset(fdopen(fd, mode));
    if (file) return 0;
    error = last_error();
  }
  ::close(fd);
  return error;
}

// What an interruption calls, and how many holds are in effect.
void (*g_interruption_handler)() = nullptr;
int g_holds = 0;
sigset_t g_mask_before_hold;

constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};

// The handler runs, and the signal, its handler reset by now, ends the run.
void end_by_interruption(int signal_number) {
  if (g_interruption_handler != nullptr) g_interruption_handler();
  raise(signal_number);
}

}  // namespace

int open_file(const std::string& path, const char* mode, FileHandle& file) {
  errno = 0;
  file.reset(std::fopen(path.c_str(), mode));
  if (!file) return target_error(last_error());
  // The target refuses a directory, also for reading: so do we.
  struct stat info {};
  if (fstat(fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode)) {
    file.reset();
    return EACCES;
  }
  return 0;
}

int open_regular_file(const std::string& path, FileHandle& file) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);  // reads of a file never block
  if (fd < 0) return target_error(last_error());
  return adopt_regular_file(fd, "rb", file);
}

int link_target(const std::string& path, std::string& target) {
  target = path;
  struct stat link {}, folder {};
  if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return 0;
  // As the kernel protects links in sticky folders (which a link resolved
  // here would escape): another user's link there is not ours to follow.
  const bool shared = stat(directory_of(path).c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) != 0 &&
                      (folder.st_mode & S_IWOTH) != 0;
  if (shared && link.st_uid != geteuid() && link.st_uid != 0) return EACCES;
  const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
  if (real) {
    target = real.get();
    return 0;
  }
  // A link to a file not there yet: the file it names, one link deep.
  std::string named(4096, '\0');
  const ssize_t length = readlink(path.c_str(), named.data(), named.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= named.size()) return 0;
  named.resize(static_cast<std::size_t>(length));
  target = named.front() == '/' ? named : join_path(directory_of(path), named);
  return 0;
}

int check_writable(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return target_error(last_error());
  if (!S_ISREG(info.st_mode)) return EACCES;
  // "r+" opens for writing without creating or truncating the file.
  FileHandle file;
  return open_file(path, "rb+", file);
}

int create_new_file(const std::string& path, const std::string& like, FileHandle& file) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return last_error();
  struct stat old {};
  if (stat(like.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    // The group first: changing it may clear the set-group-ID bit. Where
    // either is not permitted the new file keeps the default.
    (void)!fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    (void)!fchmod(fd, old.st_mode & 07777);
  }
  const int error = adopt_regular_file(fd, "wb", file);
  if (error != 0) remove_file(path.c_str());
  return error;
}

int open_for_rewrite(const std::string& path, FileHandle& file) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return target_error(last_error());
  const int error = adopt_regular_file(fd, "wb", file);
  if (error != 0) return error;
  if (ftruncate(fileno(file.get()), 0) == 0) return 0;
  const int truncate_error = last_error();
  file.reset();
  return truncate_error;
}

int replace_file(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : last_error();
}

void remove_file(const char* path) { unlink(path); }

void on_interruption(void (*handler)()) {
  g_interruption_handler = handler;
  struct sigaction action {};
  action.sa_handler = end_by_interruption;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND | SA_NODEFER;
  for (const int signal_number : kInterruptions) sigaddset(&action.sa_mask, signal_number);
  for (const int signal_number : kInterruptions) {
    struct sigaction old {};
    if (sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
      sigaction(signal_number, &action, nullptr);
    }
  }
}

InterruptionHold::InterruptionHold() {
  if (g_holds++ > 0) return;
  sigset_t held;
  sigemptyset(&held);
  for (const int signal_number : kInterruptions) sigaddset(&held, signal_number);
  sigprocmask(SIG_BLOCK, &held, &g_mask_before_hold);
}

InterruptionHold::~InterruptionHold() {
  if (--g_holds == 0) sigprocmask(SIG_SETMASK, &g_mask_before_hold, nullptr);
}

std::string executable_path(std::string_view argv0) {
  std::string module(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", module.data(), module.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= module.size()) return std::string(argv0);
  module.resize(static_cast<std::size_t>(length));
  return module;
}

std::string shown_name(std::string_view name) { return std::string(name); }

int open_document(const std::string& document) {
  // Detached from our console streams, so that nothing it prints mixes with
  // the tool's messages; the path is one argument, with no shell.
  const char* launcher = "xdg-open";
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  for (int stream = 0; stream <= 2; ++stream) {
    posix_spawn_file_actions_addopen(&actions, stream, "/dev/null", stream == 0 ? O_RDONLY : O_WRONLY, 0);
  }
  pid_t child = 0;
  char* const argv[] = {const_cast<char*>(launcher), const_cast<char*>(document.c_str()), nullptr};
  const int status = posix_spawnp(&child, launcher, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (status != 0) return -1;
  // A launcher that fails says so at once by its exit status; one still at
  // work after two seconds is showing the page (some wait for the browser).
  for (int waited_ms = 0; waited_ms < 2000; ++waited_ms) {
    int exit_status = 0;
    const pid_t done = waitpid(child, &exit_status, WNOHANG);
    if (done == child) return WIFEXITED(exit_status) && WEXITSTATUS(exit_status) == 0 ? 0 : -1;
    if (done < 0) break;
    usleep(1000);
  }
  return 0;
}

void prepare_standard_streams() {
  // A standard stream that was closed when the run began is /dev/null: else
  // the first file the run opens would take its number, and messages meant
  // for the error stream would be written into the lock file or a page.
  for (int stream = 0; stream <= 2; ++stream) {
    if (fcntl(stream, F_GETFD) != -1 || errno != EBADF) continue;
    const int fd = ::open("/dev/null", stream == 0 ? O_RDONLY : O_WRONLY);
    if (fd >= 0 && fd != stream) ::close(fd);  // only where the lowest free number is `stream`
  }
  if (!isatty(fileno(stdout))) std::setvbuf(stdout, nullptr, _IOFBF, 64 * 1024);
  signal(SIGPIPE, SIG_IGN);
  // A write past the file-size limit (ulimit -f) then fails with EFBIG and
  // is reported under the file's name, as a full disk is, instead of ending
  // the run at once and leaving its new file behind.
  signal(SIGXFSZ, SIG_IGN);
}

bool append_cp932(std::string_view utf8, std::string& out) {
  const iconv_t to_cp932 = iconv_open("CP932", "UTF-8");
  if (to_cp932 == reinterpret_cast<iconv_t>(-1)) return false;
  const std::size_t start = out.size();
  out.resize(start + utf8.size());
  char* in = const_cast<char*>(utf8.data());
  char* to = out.data() + start;
  std::size_t in_left = utf8.size(), room = utf8.size();
  // In runs of about 32 bytes that end before a character: glibc's
  // converter pays for each character it cannot convert with work on all the
  // input of the call, so a text full of them (Hangul, U+FFFF) took minutes.
  while (in_left > 0) {
    std::size_t run = std::min<std::size_t>(in_left, 32);
    while (run < in_left && (static_cast<unsigned char>(in[run]) & 0xC0) == 0x80) ++run;
    in_left -= run;
    // Stops only at a character without a code-page-932 form (EILSEQ): the
    // input is valid UTF-8 and the room enough.
    while (iconv(to_cp932, &in, &run, &to, &room) == static_cast<std::size_t>(-1) && errno == EILSEQ) {
      *to++ = kNoCp932Form;
      --room;
      const auto lead = static_cast<unsigned char>(*in);  // of a sequence of two bytes or more
      const std::size_t skip = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      in += skip;
      run -= skip;
    }
    if (run != 0) break;  // a failure that cannot come
  }
  out.resize(static_cast<std::size_t>(to - out.data()));
  iconv_close(to_cp932);
  return true;
}

int FileLock::acquire(const std::string& path, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    release();
    // For writing too, as an NFS client locks no file open for reading
    // only; reading only where writing is refused. Never waits for a FIFO.
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | kFlags, 0666);
    const int error = fd < 0 ? last_error() : 0;
    if (error == EACCES || error == EROFS) fd = ::open(path.c_str(), O_RDONLY | kFlags);
    if (fd < 0) return target_error(error);
    handle_ = fd;
    struct stat locked {}, named {};
    if (fstat(fd, &locked) != 0) return last_error();
    if (!S_ISREG(locked.st_mode)) return EACCES;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int busy = errno;
      if (busy != EWOULDBLOCK && busy != EINTR) return busy;
      if (std::chrono::steady_clock::now() >= deadline) return ETIMEDOUT;
      usleep(10 * 1000);
    }
    // A lock file removed or replaced meanwhile locks nothing: lock the new one.
    if (stat(path.c_str(), &named) == 0 && named.st_dev == locked.st_dev && named.st_ino == locked.st_ino) return 0;
    if (std::chrono::steady_clock::now() >= deadline) return ETIMEDOUT;
  }
}

void FileLock::release() {
  // Closing the file releases the lock.
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

}  // namespace vokt
