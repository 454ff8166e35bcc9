// The diagram reader fed an arbitrary problem file, through the same path as
// check mode: the bytes go to a file, which the text-file layer reads.
//
// Properties checked on every input:
// - check mode reads the pieces that text mode defines, of the bytes
//   themselves or, for a UTF-8 file holding the board header line in UTF-8,
//   of their code-page-932 conversion (a CSA or SFEN position aside, which
//   it reads as its diagram);
// - such a UTF-8 file gives the result and digests of its conversion;
// - the file with every line feed written as CR LF gives the same result and
//   digests as the file itself;
// - when the first diagram block has nine well-formed rank lines, the file
//   with every rank mirrored left to right has the two digests exchanged.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "digest/digest.h"
#include "digest/position_forms.h"
#include "digest/sjis.h"
#include "fuzz_support.h"
#include "platform/text_file.h"
#include "report/report.h"

namespace {

using vokt::PositionDigest;
namespace fz = vokt::fuzz;

struct Outcome {
  int result = 0;
  PositionDigest direct;
  PositionDigest mirrored;
  friend bool operator==(const Outcome&, const Outcome&) = default;
};

std::string problem_path() { return (fz::scratch_dir() / "problem.kif").string(); }

// Digests the problem file as it stands in the scratch directory.
Outcome digest_scratch_file() {
  Outcome outcome;
  std::string text;
  outcome.result = vokt::read_problem_file(problem_path(), text);
  if (outcome.result == 0) outcome.result = vokt::digest_problem_file(text, outcome.direct, outcome.mirrored);
  return outcome;
}

Outcome digest_bytes(std::string_view bytes) {
  fz::write_file(problem_path(), bytes);
  return digest_scratch_file();
}

// The pieces in which check mode reads the scratch file; none for a file it
// refuses (a damaged CSA or SFEN position).
std::vector<std::string> pieces_of_scratch_file() {
  std::string text;
  if (vokt::read_problem_file(problem_path(), text) != 0) return {};
  vokt::TextReader reader;
  reader.open_text(text);
  std::vector<std::string> pieces;
  std::string_view piece;
  while (reader.read_piece(piece)) pieces.emplace_back(piece);
  return pieces;
}

// Whether check mode reads `text` (after text mode) as a CSA or SFEN position.
bool is_position(const std::string& text) {
  std::string plain;
  for (const std::string& piece : fz::reference_pieces(text)) plain += piece;
  return vokt::read_position_text(plain).form != vokt::PositionForm::none;
}

bool starts_utf16(std::string_view raw) { return raw.starts_with("\xFF\xFE") || raw.starts_with("\xFE\xFF"); }

// The text that check mode reads from `raw`, or nothing where this plain
// reading cannot tell: for a file that starts with a UTF-16 byte-order mark,
// the conversion of its UTF-8 form by the C library (nothing where that
// fails); for a file that holds the board header line in UTF-8 and not in
// Shift-JIS (CR bytes aside), its conversion one character at a time without
// the byte-order mark; otherwise the bytes themselves.
std::optional<std::string> text_of(std::string_view raw) {
  static const std::string header = vokt::test::from_sjis(vokt::sjis::kBoardHeader);
  if (starts_utf16(raw)) {
    // The C library's decoder takes the byte-order mark away itself.
    const std::optional<std::string> utf8 = vokt::test::iconv_text("UTF-8", "UTF-16", raw);
    if (!utf8) return std::nullopt;
    return vokt::test::cp932_as_read(*utf8);
  }
  std::string without_crs(raw);
  std::erase(without_crs, '\r');
  if (without_crs.find(header) == std::string::npos || without_crs.find(vokt::sjis::kBoardHeader) != std::string::npos) {
    return std::string(raw);
  }
  if (raw.starts_with("\xEF\xBB\xBF")) raw.remove_prefix(3);
  return vokt::test::cp932_as_read(raw);
}

// A cell whose bytes cannot take part in a king or dragon substitution that
// crosses into a neighbouring cell: a side mark, a Shift-JIS lead byte and a
// trail byte. Normalising such a rank commutes with mirroring it.
bool is_plain_cell(std::string_view cell) {
  const auto lead = static_cast<unsigned char>(cell[1]);
  const auto trail = static_cast<unsigned char>(cell[2]);
  return (cell[0] == ' ' || cell[0] == 'v') && ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) &&
         trail >= 0x40 && trail <= 0xFC && trail != 0x7F;
}

bool is_plain_rank(std::string_view line) {
  if (line.size() < 29 || line[0] != '|' || line[28] != '|') return false;
  for (std::size_t cell = 1; cell < 28; cell += 3) {
    if (!is_plain_cell(line.substr(cell, 3))) return false;
  }
  return true;
}

void mirror_rank(std::string& line) {
  for (std::size_t k = 0; k < 4; ++k) {
    for (std::size_t b = 0; b < 3; ++b) std::swap(line[1 + 3 * k + b], line[1 + 3 * (8 - k) + b]);
  }
}

// The text of the file with the ranks of its first diagram mirrored, or
// empty when that block's ranks are not all plain.
std::string mirrored_text(std::vector<std::string> pieces) {
  std::size_t header = 0;
  while (header < pieces.size() && vokt::c_text(pieces[header]).find(vokt::sjis::kBoardHeader) == std::string::npos) {
    ++header;
  }
  if (header + 10 >= pieces.size()) return {};
  for (std::size_t rank = header + 2; rank <= header + 10; ++rank) {
    if (!is_plain_rank(pieces[rank])) return {};
    mirror_rank(pieces[rank]);
  }
  std::string text;
  for (const auto& piece : pieces) text += piece;
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fz::quiet_console();
  fz::scratch_dir();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);

  fz::write_file(problem_path(), raw);
  const std::vector<std::string> pieces = pieces_of_scratch_file();
  const std::optional<std::string> text = text_of(raw);
  VOKT_FUZZ_CHECK(!text || is_position(*text) || pieces == fz::reference_pieces(*text), "text-mode pieces");

  const Outcome plain = digest_scratch_file();
  VOKT_FUZZ_CHECK(plain.result == 0 || plain.result == 1, "result code");
  if (plain.result == 1) {
    VOKT_FUZZ_CHECK(plain.direct == PositionDigest{} && plain.mirrored == PositionDigest{},
                    "a file without a diagram leaves the digests zero");
  }

  if (text && *text != raw) {
    VOKT_FUZZ_CHECK(digest_bytes(*text) == plain, "a Unicode file gives the digests of its code-page-932 conversion");
  }

  // (Not for UTF-16, where a CR byte put in would break the text.)
  if (!starts_utf16(raw)) {
    VOKT_FUZZ_CHECK(digest_bytes(vokt::test::crlf(raw)) == plain, "CR LF and LF line ends give the same digests");
  }

  if (plain.result == 0) {
    const std::string mirror = mirrored_text(pieces);
    if (!mirror.empty()) {
      const Outcome reflected = digest_bytes(mirror);
      VOKT_FUZZ_CHECK(reflected.result == 0, "the mirror image has a diagram");
      VOKT_FUZZ_CHECK(reflected.direct == plain.mirrored && reflected.mirrored == plain.direct,
                      "a diagram and its mirror image exchange their digests");
    }
  }
  return 0;
}
