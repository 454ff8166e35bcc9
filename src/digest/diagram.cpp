#include <algorithm>
#include <array>

#include "digest/digest.h"
#include "digest/sjis.h"
#include "platform/text_file.h"

namespace vokt {

namespace {

std::optional<std::string> g_record_identifier;

constexpr std::size_t kCells = 9;
constexpr std::size_t kCellBytes = 3;
constexpr std::size_t kRankBytes = kCells * kCellBytes;  // bytes 1 to 27 of a rank line
constexpr std::size_t kRightBar = 1 + kRankBytes;        // byte 28
// The bytes that decide a rank's cells (bytes 1 to 27): the board patterns,
// at most 3 bytes long, are replaced where they stood at the start.
constexpr std::size_t kRankWindow = kRightBar + 2;

// The next piece of the block; at the end of the input an empty line, so every
// check and feed of the block still runs. Inline in each of its calls: a call costs as much.
[[gnu::always_inline]] inline std::string_view next_line(TextReader& file) {
  std::string_view piece;
  return file.read_piece(piece) ? piece : std::string_view();
}

void report(std::string_view what) {
  std::string message(record_identifier_text());
  write_error(message.append(": Unexpected data - ").append(what).append("\n"));
}

// Whether the text of `line` holds `text`; a well-formed line starts with it.
bool contains(std::string_view line, std::string_view text) {
  return line.starts_with(text) || c_text(line).find(text) != std::string_view::npos;
}

}  // namespace

void set_record_identifier(std::optional<std::string_view> identifier) {
  if (!identifier) return g_record_identifier.reset();
  if (!g_record_identifier) g_record_identifier.emplace();
  g_record_identifier->assign(*identifier);  // in the storage it has: no allocation per row
}

std::string_view record_identifier_text() {
  return g_record_identifier ? std::string_view(*g_record_identifier) : std::string_view("(null)");
}

void read_diagram(PositionDigest& direct, PositionDigest* mirrored, TextReader& file) {
  // The cells of the nine ranks, fed into the digests at once, which gives
  // the same digests as feeding them rank by rank.
  std::array<char, 9 * kRankBytes> board;
  std::array<char, 9 * kRankBytes> mirror_board;

  if (!contains(next_line(file), sjis::kBar)) report("No first horizontal bar");

  for (std::size_t rank = 1; rank <= 9; ++rank) {
    const std::string_view line = next_line(file);
    // A short line gives zeros where it has no bytes of its own.
    std::array<char, kRankWindow> window{};
    std::copy_n(line.begin(), std::min(line.size(), kRankWindow), window.begin());
    if (window[0] != '|' || window[kRightBar] != '|') report("No " + std::to_string(rank) + "-th vertical bar");
    // Kings and dragons are rewritten in the text part of the window; the
    // replacements keep its length, so the cells stay where they are.
    normalize_board_text(window.data(), std::min(line.size(), kRankWindow));

    char* const cells = board.data() + (rank - 1) * kRankBytes;
    std::copy_n(window.data() + 1, kRankBytes, cells);
    if (mirrored != nullptr) {
      // Cell k goes to cell 8 - k: the rank seen in a mirror.
      char* const mirror_cells = mirror_board.data() + (rank - 1) * kRankBytes;
      for (std::size_t k = 0; k < kCells; ++k) {
        std::copy_n(cells + k * kCellBytes, kCellBytes, mirror_cells + (kCells - 1 - k) * kCellBytes);
      }
    }
  }
  crc64_update(direct, std::string_view(board.data(), board.size()));
  if (mirrored != nullptr) crc64_update(*mirrored, std::string_view(mirror_board.data(), mirror_board.size()));

  if (!contains(next_line(file), sjis::kBar)) report("No last horizontal bar");

  const std::string_view hand_text = c_text(next_line(file));
  if (hand_text.find(sjis::kHand) == std::string_view::npos) report("No hand");
  // Kept from call to call, so that a build does not allocate per record.
  static std::string hand;
  hand.assign(hand_text);
  normalize_hand_line(hand);
  const std::string& canonical = canonical_hand(hand);
  crc64_update(direct, canonical);
  if (mirrored != nullptr) {
    crc64_update(*mirrored, canonical);
  } else {
    static std::string listing;
    listing.clear();
    write_output(listing.append("[").append(record_identifier_text()).append("]\n").append(hand).append("*\n"));
  }
}

}  // namespace vokt
