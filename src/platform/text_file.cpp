#include "platform/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/byte_scan.h"

namespace vokt {

namespace {

// Raw bytes read per refill: small enough that a block stays in the
// processor's cache between the read and the scans over it.
constexpr std::size_t kBlockSize = 128 * 1024;
constexpr std::size_t kPageSize = 4096;
constexpr std::size_t kWriteBufferSize = 64 * 1024;

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

// Reads the rest of `file` into `bytes`: 0, or the error number of a failed
// read, or EFBIG past `limit` bytes.
int read_whole(std::FILE* file, std::string& bytes, std::size_t limit) {
  std::vector<char> block(kBlockSize);
  for (;;) {
    errno = 0;
    const std::size_t got = std::fread(block.data(), 1, block.size(), file);
    if (got == 0) break;
    if (bytes.size() + got > limit) return EFBIG;
    bytes.append(block.data(), got);
  }
  if (std::ferror(file) == 0) return 0;
  return errno != 0 ? errno : EIO;
}

// The code-page-932 text of the UTF-8 `bytes`, in their place.
int convert_to_cp932(std::string& bytes) {
  ByteSource source(bytes);
  Cp932Reader converter;
  if (const int error = converter.start(source)) return error;
  std::string text(bytes.size(), '\0');  // never longer than the UTF-8
  std::size_t length = 0;
  while (const std::size_t got = converter.read(text.data() + length, text.size() - length)) length += got;
  text.resize(length);
  bytes = std::move(text);
  return 0;
}

bool is_separator(char byte) { return kPathSeparators.find(byte) != std::string_view::npos; }

}  // namespace

std::size_t ByteSource::read(char* out, std::size_t size) {
  if (file_ != nullptr) return std::fread(out, 1, size, file_);
  const std::size_t got = std::min(size, bytes_.size());
  std::memcpy(out, bytes_.data(), got);
  bytes_.remove_prefix(got);
  return got;
}

int TextReader::open(const std::string& path) {
  cp932_.reset();
  source_ = ByteSource();
  if (const int error = open_file(path, "rb", file_)) return error;
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  source_ = ByteSource(file_.get());
  start();
  return 0;
}

void TextReader::start() {
  // Room for a block and, before it, the unfinished piece kept from the one
  // before. Blocks are read to a page boundary of memory, as whole pages of
  // the file: the system copies them fastest.
  buffer_.assign(kBlockSize + kMaxPiece + kPageSize, '\0');
  const auto address = reinterpret_cast<std::uintptr_t>(buffer_.data()) + kMaxPiece;
  block_start_ = kMaxPiece + (kPageSize - address % kPageSize) % kPageSize;
  begin_ = end_ = block_start_;
  at_end_ = false;
}

int TextReader::open(ProblemFile& problem, std::string_view utf8_marker) {
  if (!problem.held) {
    if (const int error = open(problem.path)) return error;
    std::FILE* const file = file_.get();
    if (is_regular_file(file)) {
      ByteSource whole(file);
      const bool utf8 = is_utf8_holding(whole, utf8_marker);
      std::clearerr(file);
      int error = std::fseek(file, 0, SEEK_SET) == 0 ? 0 : errno;
      if (error == 0 && utf8) error = cp932_.emplace().start(source_);
      if (error != 0) {
        cp932_.reset();
        file_.reset();
      }
      return error;
    }
    // Read once and kept for the next reading: a UTF-8 file as its
    // code-page-932 text.
    std::string bytes;
    int error = read_whole(file, bytes, ProblemFile::kMaxHeldFile);
    file_.reset();
    ByteSource held(bytes);
    if (error == 0 && is_utf8_holding(held, utf8_marker)) error = convert_to_cp932(bytes);
    if (error != 0) return error;
    problem.held = std::move(bytes);
  }
  file_.reset();
  cp932_.reset();
  source_ = ByteSource(*problem.held);
  start();
  return 0;
}

std::size_t TextReader::read_text(char* out, std::size_t size) {
  return cp932_ ? cp932_->read(out, size) : source_.read(out, size);
}

bool TextReader::refill() {
  if (at_end_ || buffer_.empty()) return false;
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

int TextWriter::open_replacement(const std::string& path) {
  discard();
  const std::string target = link_target(path);
  // Refused as opening it for writing would be: a directory, a read-only
  // file, anything but a regular file.
  if (const int writable = check_writable(target); writable != 0 && writable != ENOENT) return writable;
  // The process id makes the name unique among the runs at work; a leftover
  // of a killed run under the same id is passed over, never touched.
  const std::string stem = target + "." + std::to_string(process_id());
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    std::string name = stem;
    if (attempt > 0) name.append("-").append(std::to_string(attempt));
    name.append(".new");
    error = create_new_file(name, target, file_);
    if (error == 0) {
      replacement_ = name;
      target_ = target;
      start_writing();
    }
  }
  return error;
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

int TextWriter::close() {
  if (!file_) return error_;
  flush_buffer();
  errno = 0;
  if (std::fclose(file_.release()) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
  if (!replacement_.empty()) {
    if (error_ == 0) error_ = replace_file(replacement_, target_);
    if (error_ != 0) remove_file(replacement_);
    replacement_.clear();
  }
  return error_;
}

void TextWriter::discard() {
  if (file_) std::fclose(file_.release());
  if (!replacement_.empty()) remove_file(replacement_);
  replacement_.clear();
  buffer_.clear();
}

std::string directory_of(std::string_view path) {
  std::size_t cut = path.size();
  while (cut > 0 && !is_separator(path[cut - 1])) --cut;
  if (cut == 0) return ".";
  if (cut == 1) return std::string(path.substr(0, 1));  // a file in the root directory
  return std::string(path.substr(0, cut - 1));
}

std::string join_path(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (path.empty() || !is_separator(path.back())) path += kPathSeparators.front();
  path += name;
  return path;
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
