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
#include <string>
#include <string_view>
#include <vector>

#include "platform/os.h"

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

  // Reads `text`, which must outlive the reading, as a file holding it would be read.
  void open_text(std::string_view text);

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
  // Starts reading the text of `source_`.
  void start();
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
  std::vector<char> buffer_;
  std::size_t block_start_ = 0;  // where blocks are read to
  std::size_t begin_ = 0;        // first byte not yet handed out: the start of a piece
  // End of the bytes read and checked: from begin_ to here every CR stands
  // directly before a line feed, and there is no 0x1A.
  std::size_t end_ = 0;
  bool at_end_ = false;          // the raw input or a 0x1A byte has ended the text
};

// A text file open for writing: every line feed written becomes CR LF. The
// first failure of any write is remembered and reported by finish().
class TextWriter {
 public:
  TextWriter() = default;
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;
  ~TextWriter();

  // Creates a private new file to take the place of `path` when the text is
  // put in place, so that nobody ever sees `path` half-written and a failed
  // or overlapping run cannot damage it. The new file is created beside
  // `path` (beside the file that a symbolic link `path` points to: the link
  // stays) as "<name>.<process id>[-<n>].new", never through a link, with
  // the old file's permission bits; such files of runs that are gone, and
  // of an earlier process with this run's id, are removed first. Only a
  // regular file is ever replaced. Returns 0 or the error number.
  //
  // With `or_in_place`, an existing `path` that may be written is rewritten
  // in place where no new file can be made beside it (a folder where new
  // files are refused, no free inodes; the text is then kept in memory) or
  // the new file cannot take its place (a sticky folder, a file in use).
  int open_replacement(const std::string& path, bool or_in_place = false);

  void write(std::string_view text);
  void write(char byte) { write(std::string_view(&byte, 1)); }

  // Writes out what is buffered and closes the new file. Returns 0, or the
  // error number of the first failure of a write or of the close.
  int finish();

  // Puts the finished text in place of the file. Returns 0 or the error
  // number; the new file is removed in any case.
  int put_in_place();

  // finish(), then put_in_place(): 0 or the first error of the two.
  int close();

  // Closes the file without putting a replacement in place, and removes it.
  void discard();

 private:
  void start_writing();
  void flush_buffer();
  int rewrite_in_place(FileHandle page);

  FileHandle file_;
  std::string buffer_;
  int error_ = 0;
  std::string replacement_;  // the new file while one is written
  std::string target_;       // the file it is to replace
  bool in_place_ = false;    // `target_` may be rewritten in place
  int create_error_ = 0;     // why no new file could be made, where none was
};

// The temporary files of this run, so that an interrupted run can remove
// them. Up to kSlots names are kept; each is a pointer to a name that must
// stay unchanged until it is forgotten. Reading them is async-signal-safe.
class TemporaryFiles {
 public:
  static constexpr std::size_t kSlots = 8;

  static void remember(const std::string& name);
  static void forget(const std::string& name);
  // Calls `remove` with each name, for an interruption: names forgotten
  // after this are kept alive until the process ends.
  static void remove_all(void (*remove)(const char* name));
};

// Reads the whole file `path` into `bytes`: 0, or the error number of a
// failed open or read, or EFBIG past `limit` bytes. A pipe, a FIFO or a
// device is read to its end like a file.
int read_whole_file(const std::string& path, std::size_t limit, std::string& bytes);

// `bytes` as text mode reads them: every CR dropped, the first 0x1A byte
// ending the text.
void apply_text_mode(std::string& bytes);

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
