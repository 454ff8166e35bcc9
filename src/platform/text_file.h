// Files as the target platform's text mode presents them.
//
// The tool's output must be byte-identical on every platform, so files are
// always opened in binary mode and the target's text-mode translation is done
// here: on reading every CR byte is dropped and the first 0x1A byte ends the
// input; on writing every line feed becomes CR LF. The console streams are not
// touched: they keep the platform's own line ends.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_scan.h"
#include "platform/console.h"
#include "platform/os.h"

namespace vokt {

// A text file open for reading, delivered line by line in pieces of at most
// kMaxPiece bytes, as the C library's line read with a 1024-byte buffer gives
// them: a piece ends after a line feed or after kMaxPiece bytes; a last line
// without a line feed arrives without one.
//
// The file is read in large blocks. A block is kept as read as long as its
// only CR bytes stand directly before a line feed (the usual CR LF line end):
// such a CR is dropped when its piece is handed out. From any other CR, or a
// 0x1A, on, the block is translated when it is read.
class TextReader {
 public:
  static constexpr std::size_t kMaxPiece = 1023;

  TextReader() = default;
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;

  // Opens `path` for reading; returns 0 or the error number. `regular_only`:
  // anything but a regular file is refused (EACCES) without waiting for a
  // writer, for a run that holds a lock meanwhile.
  int open(const std::string& path, bool regular_only = false);

  // Reads `text`, which must outlive the reading, as a file holding it would be read.
  void open_text(std::string_view text);

  // Stores the next piece in `piece` (valid until the next call) and returns
  // true, or returns false at the end of the input. Inline for a line whose
  // line feed is among the next 64 bytes read (most lines).
  bool read_piece(std::string_view& piece) {
    if (end_ - begin_ >= 64) {
      const std::string_view ahead(buffer_.data() + begin_, 64);
      const std::uint64_t lfs = byte_marks(ahead, '\n', '\n', '\n') |
                                std::uint64_t{byte_marks(ahead.substr(32), '\n', '\n', '\n')} << 32;
      if (lfs != 0) return hand_out(static_cast<std::size_t>(std::countr_zero(lfs)) + 1, piece);
    }
    return read_long_piece(piece);
  }

  // Like read_piece, but passes over the pieces that contain neither `first`
  // nor `second`, without looking at them one by one. It may also stop at a
  // piece that contains neither (one where a text is split between two
  // pieces, for example), so the caller still tests the piece it gets. The
  // texts are non-empty and hold no CR, line feed or 0x1A.
  bool read_piece_with(std::string_view first, std::string_view second, std::string_view& piece);

 private:
  // Hands out the next `raw` bytes, which end in a line feed, less the CR of a CR LF.
  bool hand_out(std::size_t raw, std::string_view& piece) {
    char* const start = buffer_.data() + begin_;
    const std::size_t cr = raw >= 2 && start[raw - 2] == '\r' ? 1 : 0;
    start[raw - 1 - cr] = '\n';  // in place of the CR of a CR LF, where the piece then ends
    piece = std::string_view(start, raw - cr);
    begin_ += raw;
    return true;
  }
  // read_piece for the other lines: any length, and at the end of the read bytes.
  bool read_long_piece(std::string_view& piece);
  // Starts reading from the start of the file or text.
  void start();
  // Reads a block of raw bytes after the kept ones and returns how many; 0
  // at the end. They are not yet checked: keep_text() must follow.
  std::size_t read_block();
  // Keeps the `got` bytes just read, translated from `change` (counted from
  // their start; npos: none) on, as the text mode reads them.
  void keep_text(std::size_t got, std::size_t change);
  // Reads more bytes after the kept ones; false when nothing more can come.
  bool refill();
  // The start of the piece that holds the byte at `pos` (or that would start
  // there), counted from begin_, which is always the start of a piece.
  std::size_t piece_start_before(std::size_t pos) const;

  FileHandle file_;
  std::string_view text_;  // what is left of a text read from memory
  std::vector<char> buffer_;
  std::size_t block_start_ = 0;  // where blocks are read to
  std::size_t begin_ = 0;        // first byte not yet handed out: the start of a piece
  // End of the bytes read and checked: from begin_ to here every CR stands
  // directly before a line feed, and there is no 0x1A.
  std::size_t end_ = 0;
  bool at_end_ = false;          // the raw input or a 0x1A byte has ended the text
};

// Reads the whole file `path` into `bytes`: 0, or the error number of a
// failed open or read, or EFBIG past `limit` bytes. A pipe, a FIFO or a
// device is read to its end like a file.
int read_whole_file(const std::string& path, std::size_t limit, std::string& bytes);

// `bytes` as text mode reads them: every CR dropped, the first 0x1A byte
// ending the text.
void apply_text_mode(std::string& bytes);

// The part of a piece that C string functions see: up to its first NUL byte.
inline std::string_view c_text(std::string_view piece) {
  const std::size_t nul = piece.find('\0');
  return nul == std::string_view::npos ? piece : piece.substr(0, nul);
}

}  // namespace vokt
