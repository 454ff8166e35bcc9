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
  source_ = ByteSource();
  if (const int error = open_file(path, "rb", file_)) return error;
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  source_ = ByteSource(file_.get());
  start();
  return 0;
}

void TextReader::open_text(std::string_view text) {
  file_.reset();
  source_ = ByteSource(text);
  start();
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

std::size_t TextReader::read_text(char* out, std::size_t size) {
  return source_.read(out, size);
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
  const std::size_t lf = std::string_view(buffer_.data() + begin_, pos - begin_).rfind('\n');
  const std::size_t line = lf == std::string_view::npos ? begin_ : begin_ + lf + 1;
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

int read_whole_file(const std::string& path, std::size_t limit, std::string& bytes) {
  FileHandle file;
  if (const int error = open_file(path, "rb", file)) return error;
  bytes.clear();
  // Room for the whole file and a byte more where its size can be known, so
  // that it is read at once and never copied as it grows.
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long size = std::ftell(file.get());
    if (size >= 0) bytes.reserve(std::min(static_cast<std::size_t>(size), limit) + 1);
    std::rewind(file.get());
  }
  for (;;) {
    const std::size_t had = bytes.size(), room = bytes.capacity() - had;
    bytes.resize(had + std::min(room > 0 ? room : kBlockSize, limit + 1 - had));
    errno = 0;
    const std::size_t got = std::fread(bytes.data() + had, 1, bytes.size() - had, file.get());
    bytes.resize(had + got);
    if (bytes.size() > limit) return EFBIG;
    if (got == 0) return std::ferror(file.get()) == 0 ? 0 : io_error();
  }
}

void apply_text_mode(std::string& bytes) {
  bytes.resize(std::min(bytes.find(kEndOfText), bytes.size()));
  std::erase(bytes, '\r');
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
