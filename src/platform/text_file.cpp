#include "platform/text_file.h"

#include <algorithm>
#include <array>
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

// The error of a C library call that just failed; EIO where it left none.
int io_error() { return errno != 0 ? errno : EIO; }

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
  return std::ferror(file) == 0 ? 0 : io_error();
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

// Goes back to the start of the regular file `file`; 0 or the error.
int back_to_start(std::FILE* file) {
  std::clearerr(file);
  return std::fseek(file, 0, SEEK_SET) == 0 ? 0 : io_error();
}

// The text of a problem file read whole, in its place: a UTF-16 file, and a
// UTF-8 one (see TextReader::open), as their code-page-932 text.
int to_held_text(std::string& bytes, std::string_view utf8_marker, std::string_view cp932_marker) {
  if (std::optional<std::string> utf8 = utf8_from_utf16(bytes)) {
    bytes = std::move(*utf8);
    return convert_to_cp932(bytes);
  }
  ByteSource text(bytes);
  return is_utf8_holding(text, utf8_marker, cp932_marker) ? convert_to_cp932(bytes) : 0;
}

bool is_separator(char byte) { return kPathSeparators.find(byte) != std::string_view::npos; }

// Where the file name of `path` starts: just after its last separator.
std::size_t file_name_start(std::string_view path) {
  std::size_t cut = path.size();
  while (cut > 0 && !is_separator(path[cut - 1])) --cut;
  return cut;
}

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

int TextReader::open(ProblemFile& problem, std::string_view utf8_marker, std::string_view cp932_marker) {
  if (!problem.held) {
    if (const int error = open(problem.path)) return error;
    std::FILE* const file = file_.get();
    const bool regular = is_regular_file(file);
    char start[2];
    const bool utf16 = regular && std::fread(start, 1, 2, file) == 2 && has_utf16_mark(std::string_view(start, 2));
    if (regular && !utf16) return start_regular_problem(utf8_marker, cp932_marker);
    // Read whole and kept for the next reading: a file that can be read only
    // once, and one in UTF-16; a Unicode file as its code-page-932 text.
    std::string bytes;
    int error = regular ? back_to_start(file) : 0;
    if (error == 0) error = read_whole(file, bytes, ProblemFile::kMaxHeldFile);
    file_.reset();
    if (error == 0) error = to_held_text(bytes, utf8_marker, cp932_marker);
    if (error != 0) return error;
    problem.held = std::move(bytes);
  }
  file_.reset();
  cp932_.reset();
  source_ = ByteSource(*problem.held);
  start();
  return 0;
}

int TextReader::start_regular_problem(std::string_view utf8_marker, std::string_view cp932_marker) {
  std::FILE* const file = file_.get();
  int error = back_to_start(file);
  bool utf8 = false;
  if (error == 0) {
    ByteSource text(file);
    utf8 = is_utf8_holding(text, utf8_marker, cp932_marker);
    error = back_to_start(file);
  }
  if (error == 0 && utf8) error = cp932_.emplace().start(source_);
  if (error != 0) {
    cp932_.reset();
    file_.reset();
  }
  return error;
}

std::size_t TextReader::read_text(char* out, std::size_t size) {
  return cp932_ ? cp932_->read(out, size) : source_.read(out, size);
}

std::size_t TextReader::read_block() {
  if (buffer_.empty()) at_end_ = true;  // never opened: nothing to read
  if (at_end_) return 0;
  // What is kept is less than a piece: it goes just before the block start.
  const std::size_t kept = end_ - begin_;
  const std::size_t to = kept <= block_start_ ? block_start_ - kept : 0;
  if (begin_ != to) std::memmove(buffer_.data() + to, buffer_.data() + begin_, kept);
  begin_ = to;
  end_ = to + kept;
  const std::size_t got = read_text(buffer_.data() + end_, std::min(kBlockSize, buffer_.size() - end_));
  if (got == 0) at_end_ = true;
  return got;
}

void TextReader::keep_text(std::size_t got, std::size_t change) {
  char* const data = buffer_.data();
  std::size_t stop = end_ + got;
  // From a CR that is not the first half of a CR LF (a CR as the block's
  // last byte counts: its line feed would be in the next block), or a 0x1A,
  // on, the rest of the block is translated now.
  if (change != std::string_view::npos) {
    const std::size_t from = end_ + change;
    if (const void* mark = std::memchr(data + from, kEndOfText, stop - from)) {
      stop = static_cast<std::size_t>(static_cast<const char*>(mark) - data);
      at_end_ = true;
    }
    stop = drop_crs(data, from, stop);
  }
  end_ = stop;
}

bool TextReader::refill() {
  const std::size_t got = read_block();
  if (got == 0) return false;
  keep_text(got, find_text_mode_change(std::string_view(buffer_.data() + end_, got)));
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
  const std::size_t lf = std::string_view(buffer_.data() + begin_, pos - begin_).rfind('\n');
  const std::size_t line = lf == std::string_view::npos ? begin_ : begin_ + lf + 1;
  // Between the line start and `pos` there is no line feed, so no CR either:
  // the pieces of the line are kMaxPiece bytes long up to there.
  return line + (pos - line) / kMaxPiece * kMaxPiece;
}

bool TextReader::read_piece_with(std::string_view first, std::string_view second, std::string_view& piece) {
  const std::string_view kept(buffer_.data() + begin_, end_ - begin_);
  std::size_t hit = kept.empty() ? std::string_view::npos : find_either(kept, first, second);
  while (hit == std::string_view::npos) {
    if (at_end_) {
      begin_ = end_;
      return false;
    }
    // A text that starts before the last piece boundary and runs past the
    // end of the block is split between two pieces: it does not count.
    begin_ = piece_start_before(end_);
    const std::size_t got = read_block();
    if (got == 0) continue;
    // One pass over the new bytes (and the unfinished piece before them)
    // checks them for the text mode and looks for the texts; after a change
    // the translated rest is searched again.
    const std::size_t scan_start = begin_;
    const TextScan scan = scan_text(std::string_view(buffer_.data() + begin_, end_ + got - begin_), first, second);
    // The unfinished piece was kept as the text mode reads it: it holds no
    // change, so a change lies among the new bytes.
    const std::size_t kept_before = end_ - scan_start;
    keep_text(got, scan.change == std::string_view::npos ? scan.change : scan.change - kept_before);
    if (scan.hit != std::string_view::npos) {
      hit = scan.hit;
    } else if (scan.change != std::string_view::npos) {
      hit = find_either(std::string_view(buffer_.data() + begin_, end_ - begin_), first, second);
    }
  }
  begin_ = piece_start_before(begin_ + hit);
  return read_piece(piece);
}

std::string directory_of(std::string_view path) {
  const std::size_t cut = file_name_start(path);
  if (cut == 0) return ".";
  if (cut == 1) return std::string(path.substr(0, 1));  // a file in the root directory
  return std::string(path.substr(0, cut - 1));
}

std::string_view file_name_of(std::string_view path) { return path.substr(file_name_start(path)); }

std::string join_path(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (path.empty() || !is_separator(path.back())) path += kPathSeparators.front();
  path += name;
  return path;
}

void report_file_error(std::string_view name, int error_number) {
  std::string message = shown_name(name);
  message += ": ";
  // ENOSYS comes only from a system without a converter to code page 932.
  message += error_number == ENOSYS ? "This system cannot convert the text to code page 932"
                                    : std::strerror(error_number);
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
