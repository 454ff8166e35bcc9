#include "digest/position_forms.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <optional>
#include <vector>

#include "digest/sjis.h"
#include "platform/utf8_text.h"

namespace vokt {

namespace {

// 一 to 九: the rank numerals, and the counts in hand.
constexpr std::array<std::string_view, 9> kNumerals = {
    sjis::kIchi, sjis::kNi, sjis::kSan, sjis::kYon, sjis::kGo, sjis::kRoku, sjis::kNana, sjis::kHachi, sjis::kKyu};

constexpr std::string_view kInitialBoard = "lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL";

// The kinds of piece, in the order of the hand line; a king goes into no hand.
enum Kind { pawn, lance, knight, silver, gold, bishop, rook, king, kKinds };

struct KindNames {
  std::string_view csa, csa_promoted;    // empty: the kind does not promote
  char sfen;                             // the first player's letter
  std::string_view cell, cell_promoted;  // the diagram's character
  int in_set;                            // how many of the kind a set holds
  std::string_view english;
};

constexpr std::array<KindNames, kKinds> kKindNames = {{
    {"FU", "TO", 'P', "\x95\xE0", "\x82\xC6", 18, "pawns"},   // 歩 と
    {"KY", "NY", 'L', "\x8D\x81", "\x88\xC7", 4, "lances"},   // 香 杏
    {"KE", "NK", 'N', "\x8C\x6A", "\x8C\x5C", 4, "knights"},  // 桂 圭
    {"GI", "NG", 'S', "\x8B\xE2", "\x91\x53", 4, "silvers"},  // 銀 全
    {"KI", "", 'G', "\x8B\xE0", "", 4, "golds"},              // 金
    {"KA", "UM", 'B', "\x8A\x70", "\x94\x6E", 2, "bishops"},  // 角 馬
    {"HI", "RY", 'R', "\x94\xF2", "\x97\xB4", 2, "rooks"},    // 飛 龍
    {"OU", "", 'K', "\x8B\xCA", "", 2, "kings"},              // 玉, both players' king as KIF writers write it
}};

struct Piece {
  Kind kind;
  bool promoted = false;
  bool second = false;  // the second player's
};

struct Position {
  // Rank 一 first, each rank from file 9 to file 1, as the diagram shows them.
  std::array<std::optional<Piece>, 81> squares;
  std::array<std::array<int, kKinds>, 2> hands{};  // the first player's, the second player's
};

std::string_view trim(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t end = text.find(separator);; end = text.find(separator)) {
    parts.push_back(text.substr(0, end));
    if (end == std::string_view::npos) return parts;
    text.remove_prefix(end + 1);
  }
}

// The blank-separated words of a line.
std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> found;
  for (std::size_t at = line.find_first_not_of(" \t"); at != std::string_view::npos;) {
    const std::size_t end = line.find_first_of(" \t", at);
    found.push_back(line.substr(at, end - at));
    at = line.find_first_not_of(" \t", end);
  }
  return found;
}

// A message made of `parts`. (Joined here rather than with "text" +
// std::string, where GCC 12 warns of an overlap that cannot happen.)
std::string message(std::initializer_list<std::string_view> parts) {
  std::string joined;
  for (const std::string_view part : parts) joined += part;
  return joined;
}

std::string quoted(std::string_view text) {
  std::string quoted(1, '"');
  quoted.append(text).append(1, '"');
  return quoted;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The diagram block as a KIF writer writes it.

// A count in hand as a KIF writer writes it: none for one, 二 to 十八. The set
// check has run, so it is at most 18.
std::string count_numeral(int count) {
  if (count < 10) return count == 1 ? "" : std::string(kNumerals[count - 1]);
  std::string numeral(sjis::kJu);
  if (count > 10) numeral += kNumerals[count - 11];
  return numeral;
}

std::string diagram_of(const Position& position) {
  std::string out;
  out.append(sjis::kBoardHeader).append("\n").append(sjis::kBar).append("\n");
  for (int rank = 0; rank < 9; ++rank) {
    out += '|';
    for (int file = 0; file < 9; ++file) {
      const auto& piece = position.squares[rank * 9 + file];
      if (!piece) {
        out += sjis::kEmptyCell;
        continue;
      }
      const KindNames& names = kKindNames[piece->kind];
      out += piece->second ? 'v' : ' ';
      out += piece->promoted ? names.cell_promoted : names.cell;
    }
    out.append("|").append(kNumerals[rank]).append("\n");
  }
  out.append(sjis::kBar).append("\n").append(sjis::kFirstHandLabel);
  const auto& hand = position.hands[0];
  if (std::all_of(hand.begin(), hand.end(), [](int count) { return count == 0; })) out += sjis::kNashi;
  for (int kind = pawn; kind < king; ++kind) {
    if (hand[kind] == 0) continue;
    out.append(kKindNames[kind].cell).append(count_numeral(hand[kind])).append(sjis::kIdeographicSpace);
  }
  out += '\n';
  return out;
}

// Every kind counted with its promoted pieces and the pieces in both hands.
std::array<int, kKinds> pieces_in_play(const Position& position) {
  std::array<int, kKinds> counts{};
  for (const auto& piece : position.squares) {
    if (piece) ++counts[piece->kind];
  }
  for (const auto& hand : position.hands) {
    for (int kind = 0; kind < kKinds; ++kind) counts[kind] += hand[kind];
  }
  return counts;
}

std::string set_error(const Position& position) {
  const auto counts = pieces_in_play(position);
  for (int kind = 0; kind < kKinds; ++kind) {
    if (counts[kind] > kKindNames[kind].in_set) {
      return std::to_string(counts[kind]) + " " + std::string(kKindNames[kind].english) + ", more than a set holds";
    }
  }
  return {};
}

// SFEN: the board rank by rank from the first, the side to move, the hands.

std::optional<Piece> sfen_piece(char letter, bool promoted) {
  const bool second = letter >= 'a' && letter <= 'z';
  const char upper = second ? static_cast<char>(letter - 'a' + 'A') : letter;
  for (int kind = 0; kind < kKinds; ++kind) {
    const KindNames& names = kKindNames[kind];
    if (names.sfen == upper && (!promoted || !names.csa_promoted.empty())) {
      return Piece{static_cast<Kind>(kind), promoted, second};
    }
  }
  return std::nullopt;
}

std::string read_sfen_board(std::string_view board, Position& position) {
  const auto ranks = split(board, '/');
  if (ranks.size() != 9) return message({"SFEN board with ", std::to_string(ranks.size()), " ranks"});
  for (int rank = 0; rank < 9; ++rank) {
    const std::string_view text = ranks[rank];
    std::vector<std::optional<Piece>> cells;
    for (std::size_t at = 0; at < text.size(); ++at) {
      if (text[at] >= '1' && text[at] <= '9') {
        cells.resize(cells.size() + static_cast<std::size_t>(text[at] - '0'));
        continue;
      }
      const std::size_t start = at;
      const bool promoted = text[at] == '+' && at + 1 < text.size();
      if (promoted) ++at;
      const auto piece = sfen_piece(text[at], promoted);
      if (!piece) return message({"unknown piece ", quoted(text.substr(start, at + 1 - start)), " in the SFEN board"});
      cells.push_back(piece);
    }
    if (cells.size() != 9) {
      return message({"SFEN rank ", std::to_string(rank + 1), " with ", std::to_string(cells.size()), " files"});
    }
    std::copy(cells.begin(), cells.end(), position.squares.begin() + rank * 9);
  }
  return {};
}

// "-", or pieces each after its count (one to two digits, none for one).
std::string read_sfen_hands(std::string_view hands, Position& position) {
  if (hands == "-") return {};
  for (std::size_t at = 0; at < hands.size(); ++at) {
    const std::size_t start = at;
    int count = 0;
    while (at < hands.size() && at - start < 2 && is_digit(hands[at])) count = count * 10 + (hands[at++] - '0');
    if (at == start) count = 1;
    const auto piece = at < hands.size() ? sfen_piece(hands[at], false) : std::nullopt;
    if (count == 0 || !piece || piece->kind == king) return message({"bad SFEN hand ", quoted(hands)});
    position.hands[piece->second][piece->kind] += count;
  }
  return {};
}

// `fields`: board, side, hands and whatever follows them.
std::string read_sfen(const std::vector<std::string_view>& fields, Position& position) {
  if (fields.size() < 3) return "SFEN without side or hands";
  std::string error = read_sfen_board(fields[0], position);
  if (error.empty() && fields[1] != "b" && fields[1] != "w") error = message({"bad SFEN side ", quoted(fields[1])});
  if (error.empty()) error = read_sfen_hands(fields[2], position);
  return error;
}

bool looks_like_sfen_board(std::string_view word) {
  const auto board_byte = [](char c) {
    return is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '+' || c == '/';
  };
  return std::count(word.begin(), word.end(), '/') == 8 && std::all_of(word.begin(), word.end(), board_byte);
}

// The fields of the SFEN on `line` from the board on, when the line is an
// "sfen" line, a "position sfen" command or a bare SFEN (with or without its
// move number).
std::optional<std::vector<std::string_view>> sfen_fields(std::string_view line) {
  const auto fields = words(line);
  if (fields.size() >= 2 && fields[0] == "sfen") return std::vector(fields.begin() + 1, fields.end());
  if (fields.size() >= 3 && fields[0] == "position" && fields[1] == "sfen") {
    return std::vector(fields.begin() + 2, fields.end());
  }
  const bool numbered = fields.size() == 4 && std::all_of(fields[3].begin(), fields[3].end(), is_digit);
  if ((fields.size() == 3 || numbered) && looks_like_sfen_board(fields[0]) && (fields[1] == "b" || fields[1] == "w")) {
    return fields;
  }
  return std::nullopt;
}

// CSA, versions 2 and 3.

// A piece name such as "FU" or "RY", without its side.
std::optional<Piece> csa_kind(std::string_view name) {
  for (int kind = 0; kind < kKinds; ++kind) {
    const KindNames& names = kKindNames[kind];
    if (name == names.csa) return Piece{static_cast<Kind>(kind)};
    if (!names.csa_promoted.empty() && name == names.csa_promoted) return Piece{static_cast<Kind>(kind), true};
  }
  return std::nullopt;
}

// A square "11" to "99" as an index into the board.
std::optional<int> csa_square(std::string_view text) {
  if (text.size() != 2 || text[0] < '1' || text[0] > '9' || text[1] < '1' || text[1] > '9') return std::nullopt;
  return (text[1] - '1') * 9 + ('9' - text[0]);
}

// The position statements of a CSA text before its first move.
struct CsaStatements {
  std::array<std::optional<std::string_view>, 9> ranks;  // the cells of P1 to P9
  std::optional<std::string_view> removals;              // PI's
  std::vector<std::string_view> placements;              // the P+ and P- statements
  std::string error;
};

CsaStatements csa_statements(const std::vector<std::string_view>& lines) {
  CsaStatements found;
  for (const std::string_view line : lines) {
    for (std::string_view statement : split(line, ',')) {
      statement = trim(statement);
      if (statement.empty()) continue;
      const char first = statement.front();
      // A comment, a header or a player's name: the rest of the line is its text.
      if (first == '\'' || first == '$' || first == 'N') break;
      if (first == '%' || ((first == '+' || first == '-') && statement.size() > 1)) return found;  // the first move
      if (first != 'P' || statement.size() < 2) continue;  // version, side to move, time
      const char what = statement[1];
      if (what >= '1' && what <= '9') {
        auto& rank = found.ranks[what - '1'];
        if (rank) found.error = message({"rank line ", statement.substr(0, 2), " repeated"});
        rank = statement.substr(2);
      } else if (what == 'I') {
        if (found.removals) found.error = "PI repeated";
        found.removals = statement.substr(2);
      } else if (what == '+' || what == '-') {
        found.placements.push_back(statement);
      }
      if (!found.error.empty()) return found;
    }
  }
  return found;
}

std::string read_csa_rank(int rank, std::string_view cells, Position& position) {
  std::string padded(cells);
  padded.resize((padded.size() + 2) / 3 * 3, ' ');  // the blank that ends an empty last cell may be trimmed away
  std::string name = "P";
  name += std::to_string(rank + 1);
  if (padded.size() != 27) return message({"rank line ", name, " with ", std::to_string(padded.size() / 3), " cells"});
  for (int file = 0; file < 9; ++file) {
    const std::string_view cell = std::string_view(padded).substr(static_cast<std::size_t>(file) * 3, 3);
    if (cell == " * ") continue;
    auto piece = csa_kind(cell.substr(1));
    if (!piece || (cell[0] != '+' && cell[0] != '-')) return message({"unknown piece ", quoted(cell), " in ", name});
    piece->second = cell[0] == '-';
    position.squares[rank * 9 + file] = piece;
  }
  return {};
}

// PI's removals from the initial position, such as "82HI22KA".
std::string remove_from_initial(std::string_view removals, Position& position) {
  if (removals.size() % 4 != 0) return message({"bad PI ", quoted(removals)});
  for (std::size_t at = 0; at < removals.size(); at += 4) {
    const auto square = csa_square(removals.substr(at, 2));
    const auto named = csa_kind(removals.substr(at + 2, 2));
    const auto there = square ? position.squares[*square] : std::nullopt;
    if (!named || !there || there->kind != named->kind || there->promoted != named->promoted) {
      return message({"bad PI removal ", quoted(removals.substr(at, 4))});
    }
    position.squares[*square].reset();
  }
  return {};
}

// One P+ or P- statement: pieces on squares, in hand ("00"), or all pieces
// not yet placed into that player's hand ("00AL", done last).
std::string place_pieces(std::string_view statement, std::optional<bool>& rest_to_second, Position& position) {
  const bool second = statement[1] == '-';
  const std::string_view items = statement.substr(2);
  if (items.size() % 4 != 0) return message({"bad placement ", quoted(statement)});
  for (std::size_t at = 0; at < items.size(); at += 4) {
    const std::string_view square_text = items.substr(at, 2), name = items.substr(at + 2, 2);
    if (square_text == "00" && name == "AL") {
      rest_to_second = second;
      continue;
    }
    auto piece = csa_kind(name);
    if (!piece) return message({"unknown piece ", quoted(name), " in ", quoted(statement)});
    piece->second = second;
    if (square_text == "00") {
      if (piece->promoted || piece->kind == king) return message({"bad piece in hand ", quoted(name)});
      ++position.hands[second][piece->kind];
      continue;
    }
    const auto square = csa_square(square_text);
    if (!square) return message({"bad square ", quoted(square_text)});
    if (position.squares[*square]) return message({"square ", square_text, " placed twice"});
    position.squares[*square] = piece;
  }
  return {};
}

std::string read_csa(const std::vector<std::string_view>& lines, Position& position) {
  const CsaStatements statements = csa_statements(lines);
  if (!statements.error.empty()) return statements.error;
  const auto& ranks = statements.ranks;
  const bool by_ranks = std::any_of(ranks.begin(), ranks.end(), [](const auto& rank) { return rank.has_value(); });
  if (by_ranks && statements.removals) return "PI and rank lines both given";
  std::string error;
  if (statements.removals) {
    read_sfen_board(kInitialBoard, position);
    error = remove_from_initial(*statements.removals, position);
  }
  for (int rank = 0; by_ranks && rank < 9 && error.empty(); ++rank) {
    error = ranks[rank] ? read_csa_rank(rank, *ranks[rank], position)
                        : message({"rank line P", std::to_string(rank + 1), " missing"});
  }
  std::optional<bool> rest_to_second;
  for (std::size_t i = 0; i < statements.placements.size() && error.empty(); ++i) {
    error = place_pieces(statements.placements[i], rest_to_second, position);
  }
  if (!error.empty() || !rest_to_second) return error;
  const auto counts = pieces_in_play(position);
  for (int kind = pawn; kind < king; ++kind) {
    position.hands[*rest_to_second][kind] += std::max(0, kKindNames[kind].in_set - counts[kind]);
  }
  return {};
}

bool is_csa_position_line(std::string_view line) {
  return line.size() >= 2 && line[0] == 'P' &&
         ((line[1] >= '1' && line[1] <= '9') || line[1] == 'I' || line[1] == '+' || line[1] == '-');
}

PositionReading finish(PositionForm form, std::string error, const Position& position) {
  PositionReading reading;
  reading.form = form;
  if (error.empty()) error = set_error(position);
  if (error.empty()) {
    reading.diagram = diagram_of(position);
  } else {
    reading.error = std::move(error);
  }
  return reading;
}

}  // namespace

PositionReading read_position_text(std::string_view text) {
  if (text.find(sjis::kBoardHeader) != std::string_view::npos) return {};
  if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
  auto lines = split(text, '\n');
  for (auto& line : lines) line = trim(line);
  Position position;
  for (const std::string_view line : lines) {
    if (is_csa_position_line(line)) return finish(PositionForm::csa, read_csa(lines, position), position);
    if (const auto fields = sfen_fields(line)) return finish(PositionForm::sfen, read_sfen(*fields, position), position);
  }
  return {};
}

}  // namespace vokt
