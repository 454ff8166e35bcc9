#include "platform/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace vokt {

namespace {

// Raw bytes read per refill; large enough that a whole piece always fits.
constexpr std::size_t kBlockSize = 256 * 1024;
constexpr std::size_t kWriteBufferSize = 64 * 1024;

// Applies text-mode translation in place to buffer[from, to): drops every CR
// and cuts at the first 0x1A. Returns the new end and sets `ended` at 0x1A.
std::size_t translate(char* buffer, std::size_t from, std::size_t to, bool& ended) {
  if (const void* eof = std::memchr(buffer + from, 0x1A, to - from)) {
    to = static_cast<std::size_t>(static_cast<const char*>(eof) - buffer);
    ended = true;
  }
  char* cr = static_cast<char*>(std::memchr(buffer + from, '\r', to - from));
  if (cr == nullptr) return to;
  char* out = cr;
  const char* in = cr + 1;
  const char* const stop = buffer + to;
  while (in < stop) {
    const char* next = static_cast<const char*>(std::memchr(in, '\r', static_cast<std::size_t>(stop - in)));
    const char* run_end = next ? next : stop;
    const std::size_t run = static_cast<std::size_t>(run_end - in);
    std::memmove(out, in, run);
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
  file_ = open_binary(path, "rb");
  if (!file_) return false;
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  buffer_.assign(kBlockSize + kMaxPiece, '\0');
  begin_ = end_ = 0;
  at_end_ = false;
  return true;
}

bool TextReader::refill() {
  if (at_end_ || !file_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  const std::size_t room = buffer_.size() - end_;
  const std::size_t got = std::fread(buffer_.data() + end_, 1, room, file_.get());
  if (got == 0) {
    at_end_ = true;
    return false;
  }
  const std::size_t old_end = end_;
  end_ = translate(buffer_.data(), end_, end_ + got, at_end_);
  return end_ > old_end || !at_end_;
}

bool TextReader::read_piece(std::string_view& piece) {
  for (;;) {
    const std::size_t available = end_ - begin_;
    const std::size_t window = std::min(available, kMaxPiece);
    const char* start = buffer_.data() + begin_;
    if (const void* lf = std::memchr(start, '\n', window)) {
      const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
      piece = std::string_view(start, length);
      begin_ += length;
      return true;
    }
    if (available >= kMaxPiece || (at_end_ && available > 0)) {
      piece = std::string_view(start, window);
      begin_ += window;
      return true;
    }
    if (at_end_ || !refill()) {
      if (end_ > begin_) continue;  // the last bytes form the last piece
      return false;
    }
  }
}

bool TextReader::read_block(std::string_view& block) {
  if (begin_ == end_ && !refill()) return false;
  block = std::string_view(buffer_.data() + begin_, end_ - begin_);
  begin_ = end_;
  return !block.empty() || read_block(block);
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
