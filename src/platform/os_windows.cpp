// The operating system's services on Windows. Names are UTF-8 inside the
// tool and UTF-16 at every system call.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/os.h"

namespace vokt {

namespace {

std::wstring wide_name(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  std::wstring wide(utf8.size(), L'\0');  // never more UTF-16 units than UTF-8 bytes
  wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), size)));
  return wide;
}

// UTF-16 in the code page `code_page`; `no_form` for a character without a
// form there (null: the converter's choice).
std::string narrow_name(std::wstring_view wide, UINT code_page, DWORD flags, const char* no_form) {
  if (wide.empty()) return {};
  std::string narrow(3 * wide.size(), '\0');  // at most three bytes per UTF-16 unit
  narrow.resize(static_cast<std::size_t>(WideCharToMultiByte(code_page, flags, wide.data(),
                                                             static_cast<int>(wide.size()), narrow.data(),
                                                             static_cast<int>(narrow.size()), no_form, nullptr)));
  return narrow;
}

std::string utf8_name(std::wstring_view wide) { return narrow_name(wide, CP_UTF8, 0, nullptr); }

// The UTF-16 name for a file call, with the long-path prefix where it needs one.
std::wstring file_api_name(std::string_view utf8) {
  std::wstring wide = wide_name(utf8);
  // The prefix lifts the MAX_PATH limit and turns off the system's tidying
  // of the path: only a plain absolute path (drive, backslashes) gets it.
  const bool drive_path = wide.size() > 3 && wide[1] == L':' && wide[2] == L'\\';
  if (wide.size() >= MAX_PATH && drive_path && wide.find(L'/') == std::wstring::npos) wide.insert(0, L"\\\\?\\");
  return wide;
}

// The error number that the C library gives a failure of a file call.
int errno_of(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EINVAL;
  }
}

// Opens `path` for writing as a C stream; EACCES for anything but a disk file.
int open_for_writing(const std::string& path, DWORD share, DWORD disposition, FileHandle& file) {
  const HANDLE handle = CreateFileW(file_api_name(path).c_str(), GENERIC_WRITE, share, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return errno_of(GetLastError());
  const bool on_disk = GetFileType(handle) == FILE_TYPE_DISK;
  const int fd = on_disk ? _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_WRONLY | _O_BINARY) : -1;
  if (fd < 0) {
    CloseHandle(handle);
    return on_disk ? EMFILE : EACCES;
  }
  file.reset(_fdopen(fd, "wb"));
  if (file) return 0;
  _close(fd);
  return EMFILE;
}

// What an interruption calls, and the hold that keeps it back. The console
// handler runs on a thread of its own: it waits out the run's hold and then
// keeps it, so the run stops there until the process ends.
void (*g_interruption_handler)() = nullptr;
SRWLOCK g_hold = SRWLOCK_INIT;
int g_holds = 0;

BOOL WINAPI end_by_interruption(DWORD) {
  AcquireSRWLockExclusive(&g_hold);
  if (g_interruption_handler != nullptr) g_interruption_handler();
  return FALSE;  // the default handler then ends the run
}

}  // namespace

int open_file(const std::string& path, const char* mode, FileHandle& file) {
  errno = 0;
  const std::wstring wide_mode(mode, mode + std::strlen(mode));
  file.reset(_wfopen(file_api_name(path).c_str(), wide_mode.c_str()));
  if (file) return 0;
  // A name that cannot name a file ("p.kif/", "a?b") names none, as elsewhere.
  return errno == 0 || errno == EINVAL ? ENOENT : errno;
}

int open_regular_file(const std::string& path, FileHandle& file) { return open_file(path, "rb", file); }

int link_target(const std::string& path, std::string& target) {
  target = path;  // the tool makes no links here
  return 0;
}

int check_writable(const std::string& path) {
  // Asked of the attributes: an open would fail while another run renames a
  // new file over it.
  const DWORD attributes = GetFileAttributesW(file_api_name(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
  }
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0 ? 0 : EACCES;
}

int create_new_file(const std::string& path, const std::string& like, FileHandle& file) {
  (void)like;  // a new file inherits the folder's permissions
  // Shared for deletion, so that an interrupted run can remove it while open.
  return open_for_writing(path, FILE_SHARE_READ | FILE_SHARE_DELETE, CREATE_NEW, file);
}

int open_for_rewrite(const std::string& path, FileHandle& file) {
  return open_for_writing(path, FILE_SHARE_READ | FILE_SHARE_WRITE, TRUNCATE_EXISTING, file);
}

int replace_file(const std::string& from, const std::string& to) {
  // Windows refuses to replace a file that another process has open (a check
  // reading vokt.dat): that is waited out for up to 10 seconds.
  for (int waited_ms = 0;; waited_ms += 10) {
    if (MoveFileExW(file_api_name(from).c_str(), file_api_name(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return 0;
    }
    const DWORD error = GetLastError();
    const bool in_use = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    if (!in_use || waited_ms >= 10 * 1000) return in_use ? EACCES : EIO;
    Sleep(10);  // another process holds it up
  }
}

void remove_file(const char* path) { DeleteFileW(file_api_name(path).c_str()); }

void on_interruption(void (*handler)()) {
  g_interruption_handler = handler;
  SetConsoleCtrlHandler(end_by_interruption, TRUE);
}

InterruptionHold::InterruptionHold() {
  if (g_holds++ == 0) AcquireSRWLockExclusive(&g_hold);
}

InterruptionHold::~InterruptionHold() {
  if (--g_holds == 0) ReleaseSRWLockExclusive(&g_hold);
}

std::string executable_path(std::string_view argv0) {
  // The buffer grows until the whole path fits: it may exceed MAX_PATH.
  for (std::wstring module(MAX_PATH, L'\0'); module.size() <= 65536; module.resize(2 * module.size())) {
    const DWORD length = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    if (length == 0) break;
    if (length < module.size()) return utf8_name(std::wstring_view(module.data(), length));
  }
  return std::string(argv0);
}

std::string shown_name(std::string_view name) {
  // In code page 932, with "?" for what it cannot show (no look-alikes).
  return narrow_name(wide_name(name), 932, WC_NO_BEST_FIT_CHARS, "?");
}

int open_document(const std::string& document) {
  // The command interpreter's "start" without the interpreter, so that
  // nothing in the path is expanded or runs. Wine still expands "%NAME%",
  // and its browser bridge fails beyond MAX_PATH: such a path goes in its
  // short form.
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
  // Its own outcome is all there is to know: it starts the browser itself.
  return ShellExecuteExW(&open) ? 0 : -1;
}

void prepare_standard_streams() {
  // Asked of the console itself: the C library counts every character
  // device as a terminal, NUL too, and would leave a listing sent there
  // unbuffered. Windows has no signal for a broken pipe.
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) == 0) std::setvbuf(stdout, nullptr, _IOFBF, 64 * 1024);
}

bool append_cp932(std::string_view utf8, std::string& out) {
  const char no_form[] = {kNoCp932Form, '\0'};
  out += narrow_name(wide_name(utf8), 932, WC_NO_BEST_FIT_CHARS, no_form);
  return true;
}

std::vector<std::string> utf8_arguments(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(utf8_name(argv[i]));
  return arguments;
}

int FileLock::acquire(const std::string& path, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  release();
  // Reading only, where writing is refused, is enough to lock.
  const std::wstring name = file_api_name(path);
  const DWORD kAccess[] = {GENERIC_READ | GENERIC_WRITE, GENERIC_READ};
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (const DWORD access : kAccess) {
    handle = CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED) break;
  }
  if (handle == INVALID_HANDLE_VALUE) return errno_of(GetLastError());
  handle_ = reinterpret_cast<std::intptr_t>(handle);
  if (GetFileType(handle) != FILE_TYPE_DISK) return EACCES;
  for (;;) {
    OVERLAPPED whole{};
    if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) return 0;
    const DWORD error = GetLastError();
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) return errno_of(error);
    if (std::chrono::steady_clock::now() >= deadline) return ETIMEDOUT;
    Sleep(10);  // another process holds it up
  }
}

void FileLock::release() {
  // Closing the file releases the lock.
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
}

}  // namespace vokt
