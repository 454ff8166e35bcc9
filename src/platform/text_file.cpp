#include "platform/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/byte_scan.h"
#include "platform/system.h"

#include <sys/stat.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vokt {

namespace {

// Raw bytes read per refill: small enough that a block stays in the
// processor's cache between the read and the scans over it.
constexpr std::size_t kBlockSize = 128 * 1024;
constexpr std::size_t kPageSize = 4096;
constexpr std::size_t kWriteBufferSize = 64 * 1024;
constexpr char kEndOfText = 0x1A;

// Drops every CR in buffer[from, to); returns the new end.
std::size_t drop_crs(char* buffer, std::size_t from, std::size_t to) {
  char* out = buffer + from;
  const char* in = out;
  const char* const stop = buffer + to;
  while (in < stop) {
    const char* next = static_cast<const char*>(std::memchr(in, '\r', static_cast<std::size_t>(stop - in)));
    const char* run_end = next ? next : stop;
    const std::size_t run = static_cast<std::size_t>(run_end - in);
    if (out != in) std::memmove(out, in, run);
    out += run;
    in = run_end + (next ? 1 : 0);
  }
  return static_cast<std::size_t>(out - buffer);
}

FileHandle open_binary(const std::string& path, const char* mode) {
  errno = 0;
#ifdef _WIN32
  const std::wstring wide_mode(mode, mode + std::strlen(mode));
  FileHandle file(_wfopen(file_api_name(path).c_str(), wide_mode.c_str()));
#else
  FileHandle file(std::fopen(path.c_str(), mode));
#endif
  if (!file) {
    if (errno == 0) errno = ENOENT;
#ifndef _WIN32
    if (errno == EISDIR) errno = EACCES;  // as the target reports a directory
#endif
    return file;
  }
#ifndef _WIN32
  // The target refuses to open a directory as a file, with "Permission
  // denied"; so do we.
  struct stat info {};
  if (fstat(fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode)) {
    file.reset();
    errno = EACCES;
  }
#endif
  return file;
}

// A problem file that is not a regular file (a pipe, a FIFO, a device) can
// be read only once, so its bytes are read whole, up to this many, and kept
// for every later reading of it in the run.
constexpr std::size_t kMaxHeldFile = 16 * 1024 * 1024;

struct HeldFile {
  std::string path;
  std::string bytes;
};
std::optional<HeldFile> held_file;

bool is_regular_file(std::FILE* file) {
#ifdef _WIN32
  struct _stat info {};
  return _fstat(_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat info {};
  return fstat(fileno(file), &info) != 0 || S_ISREG(info.st_mode);
#endif
}

// Reads the rest of `file` into `bytes`; false with errno set when it fails
// or holds more than kMaxHeldFile bytes.
bool read_whole(std::FILE* file, std::string& bytes) {
  std::vector<char> block(kBlockSize);
  for (;;) {
    const std::size_t got = std::fread(block.data(), 1, block.size(), file);
    if (got == 0) break;
    if (bytes.size() + got > kMaxHeldFile) {
      errno = EFBIG;
      return false;
    }
    bytes.append(block.data(), got);
  }
  if (std::ferror(file) == 0) return true;
  if (errno == 0) errno = EIO;
  return false;
}

// The file that `path` names: a symbolic link is followed to its target, so
// that a replacement takes the target's place and the link stays.
std::string link_target(const std::string& path) {
#ifndef _WIN32
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    if (real) return real.get();
    // A link to a file not there yet: the file it names, one link deep.
    std::string target(4096, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length > 0 && static_cast<std::size_t>(length) < target.size()) {
      target.resize(static_cast<std::size_t>(length));
      return target.front() == '/' ? target : join_path(directory_of(path), target);
    }
  }
#endif
  return path;
}

// Creates `path` for writing, failing with EEXIST when anything, a link
// included, already has that name. The new file gets the permission bits
// (and, where permitted, the group) of the existing file `like`.
FileHandle create_new_file(const std::string& path, const std::string& like) {
#ifdef _WIN32
  (void)like;
  const int fd = _wopen(file_api_name(path).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  FileHandle file(_fdopen(fd, "wb"));
  if (!file) _close(fd);
#else
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat old {};
  if (stat(like.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    // The group first: changing it may clear the set-group-ID bit.
    if (fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) errno = 0;  // not permitted: the default group
    if (fchmod(fd, old.st_mode & 07777) != 0) errno = 0;
  }
  FileHandle file(fdopen(fd, "wb"));
  if (!file) ::close(fd);
#endif
  if (!file) {
    const int error = errno;
    remove_file(path);
    errno = error;
  }
  return file;
}

// True when `path` does not exist or can be opened for writing; else false
// with errno set as opening it for writing would (a directory gives EACCES).
bool may_open_for_writing(const std::string& path) {
#ifdef _WIN32
  // Asked of the file's attributes, not by opening it: an open would fail
  // while another run is renaming a new file over it.
  const DWORD attributes = GetFileAttributesW(file_api_name(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
    return errno == ENOENT;
  }
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0) return true;
  errno = EACCES;
  return false;
#else
  // "r+" opens for writing without creating or truncating the file.
  return open_binary(path, "rb+") != nullptr || errno == ENOENT;
#endif
}

// Turns the UTF-8 `bytes` into their code-page-932 text; false with errno
// set when the platform has no converter.
bool convert_held(std::string& bytes) {
  Cp932Reader converter;
  if (!converter.start(bytes)) return false;
  std::string text(bytes.size(), '\0');  // never longer than the UTF-8
  std::size_t length = 0;
  while (const std::size_t got = converter.read(text.data() + length, text.size() - length)) length += got;
  text.resize(length);
  bytes = std::move(text);
  return true;
}

int process_id() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

}  // namespace

bool TextReader::open(const std::string& path) {
  cp932_.reset();
  held_.reset();
  file_ = open_binary(path, "rb");
  if (!file_) return false;
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  open_buffer();
  return true;
}

void TextReader::open_buffer() {
  // Room for a block and, before it, the unfinished piece kept from the one
  // before. Blocks are read to a page boundary of memory, as whole pages of
  // the file: the system copies them fastest.
  buffer_.assign(kBlockSize + kMaxPiece + kPageSize, '\0');
  const auto address = reinterpret_cast<std::uintptr_t>(buffer_.data()) + kMaxPiece;
  block_start_ = kMaxPiece + (kPageSize - address % kPageSize) % kPageSize;
  begin_ = end_ = block_start_;
  at_end_ = false;
}

bool TextReader::open(const std::string& path, std::string_view marker) {
  if (held_file && held_file->path == path) {
    open_held();
    return true;
  }
  if (!open(path)) return false;
  std::FILE* const file = file_.get();
  if (!is_regular_file(file)) {
    // Read once and kept for the next reading: a UTF-8 file as its
    // code-page-932 text.
    std::string bytes;
    const bool read = read_whole(file, bytes);
    file_.reset();
    if (!read || (is_utf8_holding(std::string_view(bytes), marker) && !convert_held(bytes))) return false;
    held_file = HeldFile{path, std::move(bytes)};
    open_held();
    return true;
  }
  const bool utf8 = is_utf8_holding(file, marker);
  std::clearerr(file);
  if (std::fseek(file, 0, SEEK_SET) == 0 && (!utf8 || cp932_.emplace().start(file))) return true;
  const int error = errno;
  cp932_.reset();
  file_.reset();
  errno = error;
  return false;
}

void TextReader::open_held() {
  file_.reset();
  cp932_.reset();
  open_buffer();
  held_ = held_file->bytes;
}

std::size_t TextReader::read_text(char* out, std::size_t size) {
  if (held_) {
    const std::size_t got = std::min(size, held_->size());
    std::memcpy(out, held_->data(), got);
    held_->remove_prefix(got);
    return got;
  }
  return cp932_ ? cp932_->read(out, size) : std::fread(out, 1, size, file_.get());
}

bool TextReader::refill() {
  if (at_end_ || (!file_ && !held_)) return false;
  // What is kept is less than a piece: it goes just before the block start.
  const std::size_t kept = end_ - begin_;
  const std::size_t to = kept <= block_start_ ? block_start_ - kept : 0;
  if (begin_ != to) std::memmove(buffer_.data() + to, buffer_.data() + begin_, kept);
  begin_ = to;
  end_ = to + kept;
  char* const data = buffer_.data();
  const std::size_t got = read_text(data + end_, std::min(kBlockSize, buffer_.size() - end_));
  if (got == 0) {
    at_end_ = true;
    return false;
  }
  std::size_t stop = end_ + got;
  // Where the block has a CR that is not the first half of a CR LF (a CR as
  // its last byte counts: its line feed would be in the next block), or a
  // 0x1A, the rest of the block is translated now.
  const std::size_t change = find_text_mode_change(std::string_view(data + end_, got));
  if (change != std::string_view::npos) {
    const std::size_t from = end_ + change;
    if (const void* mark = std::memchr(data + from, kEndOfText, stop - from)) {
      stop = static_cast<std::size_t>(static_cast<const char*>(mark) - data);
      at_end_ = true;
    }
    stop = drop_crs(data, from, stop);
  }
  end_ = stop;
  return true;
}

bool TextReader::read_piece(std::string_view& piece) {
  for (;;) {
    char* const start = buffer_.data() + begin_;
    const std::size_t available = end_ - begin_;
    // A line of kMaxPiece bytes ending in CR LF takes one byte more.
    if (void* found = std::memchr(start, '\n', std::min(available, kMaxPiece + 1))) {
      char* const lf = static_cast<char*>(found);
      const std::size_t raw = static_cast<std::size_t>(lf - start) + 1;
      const bool cr_lf = raw >= 2 && lf[-1] == '\r';
      if (raw - (cr_lf ? 1 : 0) <= kMaxPiece) {
        if (cr_lf) lf[-1] = '\n';
        piece = std::string_view(start, raw - (cr_lf ? 1 : 0));
        begin_ += raw;
        return true;
      }
    }
    // No line end within reach: the bytes up to it hold no CR.
    if (available >= kMaxPiece || (at_end_ && available > 0)) {
      const std::size_t length = std::min(available, kMaxPiece);
      piece = std::string_view(start, length);
      begin_ += length;
      return true;
    }
    if (!refill() && begin_ == end_) return false;
  }
}

std::size_t TextReader::piece_start_before(std::size_t pos) const {
  std::size_t line = pos;
#ifdef __GLIBC__
  const void* lf = memrchr(buffer_.data() + begin_, '\n', pos - begin_);
  line = lf == nullptr ? begin_ : static_cast<std::size_t>(static_cast<const char*>(lf) - buffer_.data()) + 1;
#else
  while (line > begin_ && buffer_[line - 1] != '\n') --line;
#endif
  // Between the line start and `pos` there is no line feed, so no CR either:
  // the pieces of the line are kMaxPiece bytes long up to there.
  return line + (pos - line) / kMaxPiece * kMaxPiece;
}

bool TextReader::read_piece_with(std::string_view first, std::string_view second, std::string_view& piece) {
  for (;;) {
    const std::string_view kept(buffer_.data() + begin_, end_ - begin_);
    const std::size_t hit = kept.empty() ? std::string_view::npos : find_either(kept, first, second);
    if (hit != std::string_view::npos) {
      begin_ = piece_start_before(begin_ + hit);
      return read_piece(piece);
    }
    if (at_end_) {
      begin_ = end_;
      return false;
    }
    // A text that starts before the last piece boundary and runs past the
    // end of the block is split between two pieces: it does not count.
    begin_ = piece_start_before(end_);
    refill();
  }
}

TextWriter::~TextWriter() {
  if (!replacement_.empty()) {
    discard();  // never put an unfinished replacement in place
  } else if (file_) {
    close();
  }
}

bool TextWriter::open(const std::string& path) {
  discard();
  file_ = open_binary(path, "wb");
  if (!file_) return false;
  start_writing();
  return true;
}

bool TextWriter::open_replacement(const std::string& path) {
  discard();
  const std::string target = link_target(path);
  // Refused as opening it for writing would be: a directory, a read-only file.
  if (!may_open_for_writing(target)) return false;
  // The process id makes the name unique among the runs at work; a leftover
  // of a killed run under the same id is passed over, never touched.
  const std::string stem = target + "." + std::to_string(process_id());
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = stem;
    if (attempt > 0) name.append("-").append(std::to_string(attempt));
    name.append(".new");
    file_ = create_new_file(name, target);
    if (file_) {
      replacement_ = name;
      target_ = target;
      start_writing();
      return true;
    }
    if (errno != EEXIST) break;
  }
  return false;
}

void TextWriter::start_writing() {
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  buffer_.clear();
  buffer_.reserve(kWriteBufferSize + 2);
  error_ = 0;
}

void TextWriter::write(std::string_view text) {
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    const std::string_view run = text.substr(0, lf);
    buffer_.append(run);
    if (lf == std::string_view::npos) break;
    buffer_.append("\r\n", 2);
    text.remove_prefix(lf + 1);
    if (buffer_.size() >= kWriteBufferSize) flush_buffer();
  }
  if (buffer_.size() >= kWriteBufferSize) flush_buffer();
}

void TextWriter::flush_buffer() {
  if (buffer_.empty() || !file_) return;
  if (error_ == 0) {
    errno = 0;
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_.get()) != buffer_.size()) {
      error_ = errno != 0 ? errno : EIO;
    }
  }
  buffer_.clear();
}

bool TextWriter::close() {
  if (!file_) return error_ == 0;
  flush_buffer();
  errno = 0;
  if (std::fclose(file_.release()) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
  if (!replacement_.empty()) {
    if (error_ == 0 && !replace_file(replacement_, target_)) error_ = errno;
    if (error_ != 0) remove_file(replacement_);
    replacement_.clear();
  }
  if (error_ != 0) {
    errno = error_;
    return false;
  }
  return true;
}

void TextWriter::discard() {
  if (file_) std::fclose(file_.release());
  if (!replacement_.empty()) remove_file(replacement_);
  replacement_.clear();
  buffer_.clear();
}

void report_file_error(std::string_view name, int error_number) {
  std::string message = shown_name(name);
  message += ": ";
  message += std::strerror(error_number);
  message += '\n';
  write_error(message);
}

void write_error(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

void write_output(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace vokt
