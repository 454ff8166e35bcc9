// Files as the target platform's text mode presents them.
//
// The tool's output must be byte-identical on every platform, so files are
// always opened in binary mode and the target's text-mode translation is done
// here: on reading every CR byte is dropped and the first 0x1A byte ends the
// input; on writing every line feed becomes CR LF. The console streams are not
// touched: they keep the platform's own line ends.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os.h"
#include "platform/utf8_text.h"

namespace vokt {

// Raw bytes, from an open file or from memory.
class ByteSource {
 public:
  ByteSource() = default;
  explicit ByteSource(std::FILE* file) : file_(file) {}
  explicit ByteSource(std::string_view bytes) : bytes_(bytes) {}

  // Stores the next bytes in `out` (at most `size`) and returns how many; 0
  // at the end or after a failed read.
  std::size_t read(char* out, std::size_t size);
  bool failed() const { return file_ != nullptr && std::ferror(file_) != 0; }

 private:
  std::FILE* file_ = nullptr;
  std::string_view bytes_;
};

// A problem file as the stages of a check read it, each from the start. One
// that can be read only once (a pipe, a FIFO, a device) is read whole by the
// first reading, up to kMaxHeldFile bytes, and kept here for the next.
struct ProblemFile {
  static constexpr std::size_t kMaxHeldFile = 16 * 1024 * 1024;

  std::string path;
  std::optional<std::string> held;  // its text, a UTF-8 file's in code page 932
};

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

  // Opens `path` for reading; returns 0 or the error number.
  int open(const std::string& path);

  // Opens a problem file like open(path), but reads a file saved in UTF-8 or
  // UTF-16 as the code-page-932 text it stands for (see Cp932Reader), and the
  // text mode's rules apply to the converted bytes. A file is UTF-16 when it
  // starts with a UTF-16 byte-order mark, and UTF-8 when it holds
  // `utf8_marker` and not `cp932_marker`; deciding that reads the file once
  // beforehand (up to `cp932_marker` where it holds it). A UTF-16 file is
  // read whole like one that can be read only once; past kMaxHeldFile bytes
  // either fails with EFBIG.
  int open(ProblemFile& problem, std::string_view utf8_marker, std::string_view cp932_marker);

  // Stores the next piece in `piece` (valid until the next call) and returns
  // true, or returns false at the end of the input.
  bool read_piece(std::string_view& piece);

  // Like read_piece, but passes over the pieces that contain neither `first`
  // nor `second`, without looking at them one by one. It may also stop at a
  // piece that contains neither (one where a text is split between two
  // pieces, for example), so the caller still tests the piece it gets. The
  // texts are non-empty and hold no CR, line feed or 0x1A.
  bool read_piece_with(std::string_view first, std::string_view second, std::string_view& piece);

 private:
  // Starts reading the text of `source_` (through cp932_ when it is set).
  void start();
  // Starts reading the open regular problem file as it is, or through cp932_
  // where it is written in UTF-8; 0 or the error.
  int start_regular_problem(std::string_view utf8_marker, std::string_view cp932_marker);
  // Reads a block of raw bytes after the kept ones and returns how many; 0
  // at the end. They are not yet checked: keep_text() must follow.
  std::size_t read_block();
  // Keeps the `got` bytes just read, translated from `change` (counted from
  // their start; npos: none) on, as the text mode reads them.
  void keep_text(std::size_t got, std::size_t change);
  // Reads more bytes after the kept ones; false when nothing more can come.
  bool refill();
  // The next bytes of the text before the text mode's translation, at most
  // `size` of them; 0 at the end.
  std::size_t read_text(char* out, std::size_t size);
  // The start of the piece that holds the byte at `pos` (or that would start
  // there), counted from begin_, which is always the start of a piece.
  std::size_t piece_start_before(std::size_t pos) const;

  FileHandle file_;
  ByteSource source_;
  std::optional<Cp932Reader> cp932_;  // set while a UTF-8 file is read
  std::vector<char> buffer_;
  std::size_t block_start_ = 0;  // where blocks are read to
  std::size_t begin_ = 0;        // first byte not yet handed out: the start of a piece
  // End of the bytes read and checked: from begin_ to here every CR stands
  // directly before a line feed, and there is no 0x1A.
  std::size_t end_ = 0;
  bool at_end_ = false;          // the raw input or a 0x1A byte has ended the text
};

// Cuts `path` at its last separator: the directory part, without the
// separator. A path without a separator gives "." (the current directory).
std::string directory_of(std::string_view path);

// The part of `path` after its last separator.
std::string_view file_name_of(std::string_view path);

// Joins a directory and a file name with the platform's separator.
std::string join_path(std::string_view dir, std::string_view name);

// Writes "name: <system error text>\n" on the error stream, the form in which
// every file failure is reported.
void report_file_error(std::string_view name, int error_number);

// The console streams: unbuffered error stream, standard output as the C
// library buffers it.
void write_error(std::string_view text);
void write_output(std::string_view text);

// The part of a piece that C string functions see: up to its first NUL byte.
inline std::string_view c_text(std::string_view piece) {
  const std::size_t nul = piece.find('\0');
  return nul == std::string_view::npos ? piece : piece.substr(0, nul);
}

}  // namespace vokt
