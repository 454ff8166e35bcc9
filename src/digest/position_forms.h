// Problem positions written as CSA or SFEN text, turned into the diagram block
// that a KIF file of the same position carries, so that the diagram reader
// digests and shows them exactly as it does that file.
#pragma once

#include <string>
#include <string_view>

namespace vokt {

// The byte-order mark that some editors write before UTF-8 text.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

enum class PositionForm { none, csa, sfen };

struct PositionReading {
  PositionForm form = PositionForm::none;  // none: the text is neither CSA nor SFEN
  // On success: the thirteen-line Shift-JIS block, LF line ends, from the
  // board header line to the first player's hand line.
  std::string diagram;
  // The text is plainly CSA or SFEN but damaged: what is wrong, in short
  // English (the caller names the file).
  std::string error;
};

// Reads the position of a whole problem file. CSA (versions 2 and 3): the
// position statements before the first move. SFEN: the first line that is an
// "sfen" line, a USI "position sfen" command (the position before its moves)
// or a bare SFEN. The first line in either form decides which it is. A text
// that holds a board header line is a KIF file, whose own diagram decides:
// it reads as none.
PositionReading read_position_text(std::string_view text);

}  // namespace vokt
