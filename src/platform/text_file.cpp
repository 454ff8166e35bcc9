#include "platform/text_file.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
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

// The process id in "<stem>.<id>.new" or "<stem>.<id>-<n>.new", the names
// of the new files made for `stem`; 0 for any other name.
unsigned long maker_of(std::string_view name, std::string_view stem) {
  constexpr std::string_view kEnd = ".new";
  if (name.size() <= stem.size() + 1 + kEnd.size() || !name.starts_with(stem) || name[stem.size()] != '.' ||
      !name.ends_with(kEnd)) {
    return 0;
  }
  const std::string_view middle = name.substr(stem.size() + 1, name.size() - stem.size() - 1 - kEnd.size());
  const char* const end = middle.data() + middle.size();
  unsigned long id = 0, n = 0;
  const auto [after_id, id_error] = std::from_chars(middle.data(), end, id);
  if (id_error != std::errc() || (after_id != end && *after_id != '-')) return 0;
  if (after_id != end) {
    const auto [after_n, n_error] = std::from_chars(after_id + 1, end, n);
    if (n_error != std::errc() || after_n != end) return 0;
  }
  return id;
}

// Removes the new files made for `target` by runs that are gone, which a
// killed run leaves behind, and by an earlier process that had this run's
// id (where every run gets the same one, as the first process of a
// container does): this run has made none yet.
void remove_leftovers(const std::string& target) {
  const std::string dir = directory_of(target);
  const std::string_view stem = file_name_of(target);
  const auto self = static_cast<unsigned long>(process_id());
  for (const std::string& name : directory_entries(dir)) {
    const unsigned long maker = maker_of(name, stem);
    if (maker != 0 && (maker == self || process_is_gone(maker))) remove_file(join_path(dir, name));
  }
}

std::array<std::atomic<const char*>, TemporaryFiles::kSlots> g_temporaries{};
std::atomic<bool> g_interrupted{false};

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

TextWriter::~TextWriter() { discard(); }  // never put an unfinished text in place

int TextWriter::open_replacement(const std::string& path, bool or_in_place) {
  discard();
  const std::string target = link_target(path);
  // Refused as opening it for writing would be: a directory, a read-only
  // file, anything but a regular file.
  const int writable = check_writable(target);
  if (writable != 0 && writable != ENOENT) return writable;
  remove_leftovers(target);
  // The process id makes the name unique among the runs at work.
  const std::string stem = target + "." + std::to_string(process_id());
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    replacement_ = stem;
    if (attempt > 0) replacement_.append("-").append(std::to_string(attempt));
    replacement_.append(".new");
    // Remembered before it is made, so that no interruption comes between.
    TemporaryFiles::remember(replacement_);
    error = create_new_file(replacement_, target, file_);
    if (error != 0) {
      TemporaryFiles::forget(replacement_);
      replacement_.clear();
    }
  }
  in_place_ = or_in_place && writable == 0;
  if (error != 0 && !in_place_) return error;
  create_error_ = error;
  target_ = target;
  start_writing();
  return 0;
}

void TextWriter::start_writing() {
  if (file_) std::setvbuf(file_.get(), nullptr, _IONBF, 0);
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
  // Without a file (a text to be written in place) the buffer holds it all.
  if (buffer_.empty() || !file_) return;
  if (error_ == 0) {
    errno = 0;
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_.get()) != buffer_.size()) error_ = io_error();
  }
  buffer_.clear();
}

int TextWriter::finish() {
  if (!file_) return error_;
  flush_buffer();
  errno = 0;
  if (std::fclose(file_.release()) != 0 && error_ == 0) error_ = io_error();
  return error_;
}

int TextWriter::put_in_place() {
  finish();
  // Renamed into place; or, where that cannot be done, written in place.
  int error = error_;
  bool moved = false;
  if (error == 0 && !replacement_.empty()) {
    error = replace_file(replacement_, target_);
    moved = error == 0;
  } else if (error == 0) {
    error = create_error_;
  }
  if (error != 0 && error_ == 0 && in_place_) {
    FileHandle page;
    if (open_for_rewrite(target_, page) == 0) error = rewrite_in_place(std::move(page));
  }
  if (!replacement_.empty()) {
    TemporaryFiles::forget(replacement_);
    if (!moved) remove_file(replacement_);
    replacement_.clear();
  }
  buffer_.clear();
  in_place_ = false;
  create_error_ = 0;
  return error;
}

int TextWriter::rewrite_in_place(FileHandle page) {
  // The text is in the new file, or in memory where none could be made.
  FileHandle text;
  if (!replacement_.empty()) {
    if (const int error = open_file(replacement_, "rb", text)) return error;
  }
  ByteSource source = text ? ByteSource(text.get()) : ByteSource(buffer_);
  std::vector<char> block(kWriteBufferSize);
  int error = 0;
  while (const std::size_t got = error == 0 ? source.read(block.data(), block.size()) : 0) {
    errno = 0;
    if (std::fwrite(block.data(), 1, got, page.get()) != got) error = io_error();
  }
  if (error == 0 && source.failed()) error = EIO;
  errno = 0;
  if (std::fclose(page.release()) != 0 && error == 0) error = io_error();
  return error;
}

int TextWriter::close() { return put_in_place(); }  // which finishes first

void TextWriter::discard() {
  if (file_) std::fclose(file_.release());
  if (!replacement_.empty()) {
    TemporaryFiles::forget(replacement_);
    remove_file(replacement_);
    replacement_.clear();
  }
  buffer_.clear();
  error_ = 0;
  in_place_ = false;
  create_error_ = 0;
}

void TemporaryFiles::remember(const std::string& name) {
  // With every slot taken the name is not removed on an interruption.
  for (std::atomic<const char*>& slot : g_temporaries) {
    const char* empty = nullptr;
    if (slot.compare_exchange_strong(empty, name.c_str())) return;
  }
}

void TemporaryFiles::forget(const std::string& name) {
  for (std::atomic<const char*>& slot : g_temporaries) {
    const char* mine = name.c_str();
    slot.compare_exchange_strong(mine, nullptr);
  }
  // An interruption handled on a thread of its own (Windows) may still be
  // reading the name: it is not given back before the process ends, which
  // it does as soon as the handler returns.
  while (g_interrupted.load()) {
  }
}

void TemporaryFiles::remove_all(void (*remove)(const char* name)) {
  g_interrupted.store(true);
  for (std::atomic<const char*>& slot : g_temporaries) {
    if (const char* name = slot.load()) remove(name);
  }
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
