#include "platform/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/byte_scan.h"

#ifndef _WIN32
#include <sys/stat.h>
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
  FileHandle file(std::fopen(path.c_str(), mode));
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

}  // namespace

bool TextReader::open(const std::string& path) {
  cp932_.reset();
  file_ = open_binary(path, "rb");
  if (!file_) return false;
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  // Room for a block and, before it, the unfinished piece kept from the one
  // before. Blocks are read to a page boundary of memory, as whole pages of
  // the file: the system copies them fastest.
  buffer_.assign(kBlockSize + kMaxPiece + kPageSize, '\0');
  const auto address = reinterpret_cast<std::uintptr_t>(buffer_.data()) + kMaxPiece;
  block_start_ = kMaxPiece + (kPageSize - address % kPageSize) % kPageSize;
  begin_ = end_ = block_start_;
  at_end_ = false;
  return true;
}

bool TextReader::open(const std::string& path, std::string_view marker) {
  if (!open(path)) return false;
  std::FILE* const file = file_.get();
  if (std::fseek(file, 0, SEEK_SET) != 0) return true;  // a pipe: read as it is
  const bool utf8 = is_utf8_holding(file, marker);
  std::clearerr(file);
  if (std::fseek(file, 0, SEEK_SET) == 0 && (!utf8 || cp932_.emplace().start(file))) return true;
  const int error = errno;
  cp932_.reset();
  file_.reset();
  errno = error;
  return false;
}

std::size_t TextReader::read_text(char* out, std::size_t size) {
  return cp932_ ? cp932_->read(out, size) : std::fread(out, 1, size, file_.get());
}

bool TextReader::refill() {
  if (at_end_ || !file_) return false;
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
  if (file_) close();
}

bool TextWriter::open(const std::string& path) {
  file_ = open_binary(path, "wb");
  if (!file_) return false;
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  buffer_.clear();
  buffer_.reserve(kWriteBufferSize + 2);
  error_ = 0;
  return true;
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
  if (error_ != 0) {
    errno = error_;
    return false;
  }
  return true;
}

bool may_open_for_writing(const std::string& path) {
  // "r+" opens for writing without creating or truncating the file.
  return open_binary(path, "rb+") != nullptr || errno == ENOENT;
}

void report_file_error(std::string_view name, int error_number) {
  std::string message(name);
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
