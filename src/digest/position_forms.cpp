#include "digest/position_forms.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>
#include <optional>

#include "digest/sjis.h"
#include "platform/console.h"

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
    {"FU", "TO", 'P', sjis::kFu, sjis::kTo, 18, "pawns"},
    {"KY", "NY", 'L', sjis::kKyo, sjis::kNariKyo, 4, "lances"},
    {"KE", "NK", 'N', sjis::kKei, sjis::kNariKei, 4, "knights"},
    {"GI", "NG", 'S', sjis::kGin, sjis::kNariGin, 4, "silvers"},
    {"KI", "", 'G', sjis::kKin, "", 4, "golds"},
    {"KA", "UM", 'B', sjis::kKaku, sjis::kUma, 2, "bishops"},
    {"HI", "RY", 'R', sjis::kHisha, sjis::kRyu, 2, "rooks"},
    {"OU", "", 'K', sjis::kGyoku, "", 2, "kings"},  // both players' king as KIF writers write it
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

// Cuts the text before the first `separator` off `rest` (the separator too)
// and returns it; all of `rest` where there is none.
std::string_view next_part(std::string_view& rest, char separator) {
  const std::size_t end = rest.find(separator);
  const std::string_view part = rest.substr(0, end);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  return part;
}

// Cuts the next blank-separated word off `rest`; empty when none is left.
std::string_view next_word(std::string_view& rest) {
  rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
  const std::size_t end = std::min(rest.find_first_of(" \t"), rest.size());
  const std::string_view word = rest.substr(0, end);
  rest.remove_prefix(end);
  return word;
}

// A message made of `parts`. (Joined here rather than with "text" +
// std::string, where GCC 12 warns of an overlap that cannot happen.)
std::string message(std::initializer_list<std::string_view> parts) {
  std::string joined;
  for (const std::string_view part : parts) joined += part;
  return joined;
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
      } else {
        out += piece->second ? 'v' : ' ';
        out += piece->promoted ? kKindNames[piece->kind].cell_promoted : kKindNames[piece->kind].cell;
      }
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
  for (const bool second : {false, true}) {
    const auto kings = std::count_if(position.squares.begin(), position.squares.end(), [&](const auto& piece) {
      return piece && piece->kind == king && piece->second == second;
    });
    if (kings > 1) return message({"2 kings of the ", second ? "second" : "first", " player"});
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

// A rank is refused as soon as it passes nine files, however long it is.
std::string read_sfen_board(std::string_view board, Position& position) {
  const auto ranks = std::count(board.begin(), board.end(), '/') + 1;
  if (ranks != 9) return message({"SFEN board with ", std::to_string(ranks), " ranks"});
  for (int rank = 0; rank < 9; ++rank) {
    const std::string_view text = next_part(board, '/');
    int files = 0;
    for (std::size_t at = 0; at < text.size() && files <= 9; ++at) {
      if (text[at] >= '1' && text[at] <= '9') {
        files += text[at] - '0';
        continue;
      }
      const std::size_t start = at;
      const bool promoted = text[at] == '+' && at + 1 < text.size();
      if (promoted) ++at;
      const auto piece = sfen_piece(text[at], promoted);
      if (!piece) return message({"unknown piece ", quoted(text.substr(start, at + 1 - start)), " in the SFEN board"});
      if (files < 9) position.squares[rank * 9 + files] = piece;
      ++files;
    }
    if (files > 9) return message({"SFEN rank ", std::to_string(rank + 1), " with more than 9 files"});
    if (files < 9) return message({"SFEN rank ", std::to_string(rank + 1), " with ", std::to_string(files), " files"});
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

struct SfenFields {
  std::string_view board, side, hands;  // whatever follows them does not count
};

std::string read_sfen(const SfenFields& fields, Position& position) {
  if (fields.hands.empty()) return "SFEN without side or hands";
  std::string error = read_sfen_board(fields.board, position);
  if (error.empty() && fields.side != "b" && fields.side != "w") {
    error = message({"bad SFEN side ", quoted(fields.side)});
  }
  if (error.empty()) error = read_sfen_hands(fields.hands, position);
  return error;
}

bool looks_like_sfen_board(std::string_view word) {
  const auto board_byte = [](char c) {
    return is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '+' || c == '/';
  };
  return std::count(word.begin(), word.end(), '/') == 8 && std::all_of(word.begin(), word.end(), board_byte);
}

// The fields of the SFEN on `line` when the line is an "sfen" line, a
// "position sfen" command or a bare SFEN (with or without its move number).
std::optional<SfenFields> sfen_fields(std::string_view line) {
  std::string_view first = next_word(line);
  if (first == "position" && next_word(line) == "sfen") first = "sfen";
  SfenFields fields;
  fields.board = first == "sfen" ? next_word(line) : first;
  fields.side = next_word(line);
  fields.hands = next_word(line);
  if (first == "sfen") return fields.board.empty() ? std::nullopt : std::optional(fields);
  const std::string_view number = next_word(line);
  const bool bare = next_word(line).empty() && std::all_of(number.begin(), number.end(), is_digit) &&
                    !fields.hands.empty() && (fields.side == "b" || fields.side == "w");
  return bare && looks_like_sfen_board(fields.board) ? std::optional(fields) : std::nullopt;
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

bool is_position_statement(std::string_view statement) {
  return statement.size() >= 2 && statement[0] == 'P' &&
         ((statement[1] >= '1' && statement[1] <= '9') || statement[1] == 'I' || statement[1] == '+' ||
          statement[1] == '-');
}

// Calls `visit` with each position statement (P1 to P9, PI, P+ and P-) of a
// CSA text before its first move, in order, until one gives an error. A
// move before any of them is one: no writer writes it.
template <typename Visit>
std::string each_position_statement(std::string_view text, const Visit& visit) {
  bool any = false;
  while (!text.empty()) {
    for (std::string_view line = next_part(text, '\n'); !line.empty();) {
      const std::string_view statement = trim(next_part(line, ','));
      if (statement.empty()) continue;
      const char first = statement.front();
      // A comment, a header or a player's name: the rest of the line is its text.
      if (first == '\'' || first == '$' || first == 'N') break;
      if (first == '%' || ((first == '+' || first == '-') && statement.size() > 1)) {  // the first move
        return any ? std::string() : message({"move ", quoted(statement), " before the position"});
      }
      if (!is_position_statement(statement)) continue;  // the version, the side to move, a time
      any = true;
      if (std::string error = visit(statement); !error.empty()) return error;
    }
  }
  return {};
}

std::string read_csa_rank(int rank, std::string_view cells, Position& position) {
  const std::string name = message({"P", std::to_string(rank + 1)});
  // The blank that ends an empty last cell may be trimmed away.
  const std::size_t count = (cells.size() + 2) / 3;
  if (count != 9) return message({"rank line ", name, " with ", std::to_string(count), " cells"});
  for (int file = 0; file < 9; ++file) {
    std::string cell(cells.substr(static_cast<std::size_t>(file) * 3, 3));
    cell.resize(3, ' ');
    if (cell == " * ") continue;
    auto piece = csa_kind(std::string_view(cell).substr(1));
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
    std::optional<Piece>* const there = square ? &position.squares[*square] : nullptr;
    if (!named || !there || !*there || (*there)->kind != named->kind || (*there)->promoted != named->promoted) {
      return message({"bad PI removal ", quoted(removals.substr(at, 4))});
    }
    there->reset();
  }
  return {};
}

// One P+ or P- statement: pieces on squares, in hand ("00"), or all pieces
// not yet placed into that player's hand ("00AL", done last).
std::string place_pieces(std::string_view statement, std::array<bool, 2>& rest_to, Position& position) {
  const bool second = statement[1] == '-';
  const std::string_view items = statement.substr(2);
  if (items.size() % 4 != 0) return message({"bad placement ", quoted(statement)});
  for (std::size_t at = 0; at < items.size(); at += 4) {
    const std::string_view square_text = items.substr(at, 2), name = items.substr(at + 2, 2);
    if (square_text == "00" && name == "AL") {
      rest_to[second] = true;
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

// One position statement read into `position`: a rank line, PI (onto the
// initial position) or a placement.
std::string read_statement(std::string_view statement, std::array<bool, 2>& rest_to, Position& position) {
  const char what = statement[1];
  if (what == '+' || what == '-') return place_pieces(statement, rest_to, position);
  if (what != 'I') return read_csa_rank(what - '1', statement.substr(2), position);
  read_sfen_board(kInitialBoard, position);
  return remove_from_initial(statement.substr(2), position);
}

// First the board (the rank lines, or PI's removals from the initial
// position), then the placements, in two walks over the statements.
std::string read_csa(std::string_view text, Position& position) {
  std::array<bool, 2> rest_to{};  // the player given the pieces not placed ("00AL")
  std::array<bool, 9> ranks{};
  bool initial = false;
  const auto by_ranks = [&] { return std::find(ranks.begin(), ranks.end(), true) != ranks.end(); };
  std::string error = each_position_statement(text, [&](std::string_view statement) -> std::string {
    const char what = statement[1];
    if (what == '+' || what == '-') return {};
    if (what == 'I' ? by_ranks() : initial) return "PI and rank lines both given";
    bool& seen = what == 'I' ? initial : ranks[what - '1'];
    if (seen) return what == 'I' ? "PI repeated" : message({"rank line ", statement.substr(0, 2), " repeated"});
    seen = true;
    return read_statement(statement, rest_to, position);
  });
  const auto missing = std::find(ranks.begin(), ranks.end(), false);
  if (error.empty() && by_ranks() && missing != ranks.end()) {
    error = message({"rank line P", std::to_string(missing - ranks.begin() + 1), " missing"});
  }
  if (error.empty()) {
    error = each_position_statement(text, [&](std::string_view statement) {
      return statement[1] == '+' || statement[1] == '-' ? place_pieces(statement, rest_to, position) : std::string();
    });
  }
  if (!error.empty() || !(rest_to[0] || rest_to[1])) return error;
  if (rest_to[0] && rest_to[1]) return "P+00AL and P-00AL both given";
  const auto counts = pieces_in_play(position);
  for (int kind = pawn; kind < king; ++kind) {
    position.hands[rest_to[1]][kind] += std::max(0, kKindNames[kind].in_set - counts[kind]);
  }
  return {};
}

// How a line reads: as a statement of which form, and whether a sound one
// (damaged pieces, counts and sets aside, which the whole reading finds).
struct LineForm {
  PositionForm form = PositionForm::none;
  bool sound = false;
};

LineForm form_of_line(std::string_view line) {
  const std::string_view statement = trim(line.substr(0, line.find(',')));
  if (is_position_statement(statement)) {
    Position scratch;
    std::array<bool, 2> rest_to{};
    return {PositionForm::csa, read_statement(statement, rest_to, scratch).empty()};
  }
  const auto fields = sfen_fields(line);
  if (!fields) return {};
  Position scratch;
  return {PositionForm::sfen, read_sfen(*fields, scratch).empty()};
}

PositionReading finish(PositionForm form, std::string error, const Position& position) {
  if (error.empty()) error = set_error(position);
  return error.empty() ? PositionReading{form, diagram_of(position), {}} : PositionReading{form, {}, std::move(error)};
}

}  // namespace

PositionReading read_position_text(std::string_view text) {
  if (text.find(sjis::kBoardHeader) != std::string_view::npos) return {};
  if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
  // The first line that is a sound statement of either form decides which
  // form the text is in; where no line is, the first damaged one does.
  PositionForm form = PositionForm::none;
  std::string_view deciding;
  for (std::string_view rest = text; !rest.empty();) {
    const std::string_view line = trim(next_part(rest, '\n'));
    const LineForm read = form_of_line(line);
    if (read.form == PositionForm::none || (form != PositionForm::none && !read.sound)) continue;
    form = read.form;
    deciding = line;
    if (read.sound) break;
  }
  Position position;
  if (form == PositionForm::csa) return finish(form, read_csa(text, position), position);
  if (form == PositionForm::sfen) return finish(form, read_sfen(*sfen_fields(deciding), position), position);
  return {};
}

}  // namespace vokt
