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

// Translates data[from, to) as text mode reads it: the first 0x1A ends the
// text (`ended` tells whether one did), every CR is dropped. Returns the new end.
std::size_t translate(char* data, std::size_t from, std::size_t to, bool& ended) {
  const void* mark = std::memchr(data + from, kEndOfText, to - from);
  ended = mark != nullptr;
  char* const stop = ended ? static_cast<char*>(const_cast<void*>(mark)) : data + to;
  return static_cast<std::size_t>(std::remove(data + from, stop, '\r') - data);
}

}  // namespace

int TextReader::open(const std::string& path, bool regular_only) {
  text_ = {};
  const int error = regular_only ? open_regular_file(path, file_) : open_file(path, "rb", file_);
  if (error != 0) return error;
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  start();
  return 0;
}

void TextReader::open_text(std::string_view text) {
  file_.reset();
  text_ = text;
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

std::size_t TextReader::read_block() {
  if (buffer_.empty()) at_end_ = true;  // never opened: nothing to read
  if (at_end_) return 0;
  // What is kept is less than a piece: it goes just before the block start.
  const std::size_t kept = end_ - begin_;
  const std::size_t to = kept <= block_start_ ? block_start_ - kept : 0;
  if (begin_ != to) std::memmove(buffer_.data() + to, buffer_.data() + begin_, kept);
  begin_ = to;
  end_ = to + kept;
  char* const block = buffer_.data() + end_;
  std::size_t got = std::min(kBlockSize, buffer_.size() - end_);
  if (file_) {
    got = std::fread(block, 1, got, file_.get());
  } else {
    got = std::min(got, text_.size());
    std::copy_n(text_.begin(), got, block);
    text_.remove_prefix(got);
  }
  if (got == 0) at_end_ = true;
  return got;
}

void TextReader::keep_text(std::size_t got, std::size_t change) {
  // From a CR that is not the first half of a CR LF (a CR as the block's
  // last byte counts: its line feed would be in the next block), or a 0x1A,
  // on, the rest of the block is translated now.
  const bool plain = change == std::string_view::npos;
  end_ = plain ? end_ + got : translate(buffer_.data(), end_ + change, end_ + got, at_end_);
}

bool TextReader::refill() {
  const std::size_t got = read_block();
  if (got == 0) return false;
  keep_text(got, find_text_mode_change(std::string_view(buffer_.data() + end_, got)));
  return true;
}

bool TextReader::read_long_piece(std::string_view& piece) {
  for (;;) {
    char* const start = buffer_.data() + begin_;
    const std::size_t available = end_ - begin_;
    // A line of kMaxPiece bytes ending in CR LF takes one byte more.
    if (void* found = std::memchr(start, '\n', std::min(available, kMaxPiece + 1))) {
      const std::size_t raw = static_cast<std::size_t>(static_cast<char*>(found) - start) + 1;
      if (raw - (raw >= 2 && start[raw - 2] == '\r' ? 1 : 0) <= kMaxPiece) return hand_out(raw, piece);
    }
    // No line end within reach: the bytes up to it hold no CR.
    if (available >= kMaxPiece || (at_end_ && available > 0)) {
      piece = std::string_view(start, std::min(available, kMaxPiece));
      begin_ += piece.size();
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
    if (got == 0) return std::ferror(file.get()) == 0 ? 0 : last_error();
  }
}

void apply_text_mode(std::string& bytes) {
  bool ended = false;
  bytes.resize(translate(bytes.data(), 0, bytes.size(), ended));
}

}  // namespace vokt
