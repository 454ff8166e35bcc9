// The position digest: a 64-bit CRC of a normalised board diagram, the line
// normalisation and hand canonicalisation that make differently written copies
// of one position give the same bytes, and the reader of the diagram block.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vokt {

class TextReader;

// One 64-bit CRC register: high = bits 63..32, low = bits 31..0.
struct PositionDigest {
  std::uint32_t high = 0;
  std::uint32_t low = 0;
  friend bool operator==(const PositionDigest&, const PositionDigest&) = default;
};

// The 16 lowercase hexadecimal digits of a digest, high word first.
using DigestText = std::array<char, 16>;

void crc64_init(PositionDigest& digest);

// Feeds `bytes` in order into the digest (CRC-64/ECMA-182, MSB first, no
// reflection, no final XOR). Feeding is incremental.
void crc64_update(PositionDigest& digest, std::string_view bytes);

DigestText digest_text(const PositionDigest& digest);
inline std::string_view text_view(const DigestText& text) { return {text.data(), text.size()}; }

// Removes one trailing line feed; returns the length before the call.
std::size_t chomp(std::string& line);

// Replaces every non-overlapping occurrence of `pattern`, left to right,
// never rescanning replacement text. An empty pattern changes nothing.
void replace_all(std::string& line, std::string_view pattern, std::string_view replacement);

// Canonical kings and dragons in one diagram line; the line feed stays.
void normalize_board_line(std::string& line);
// The same in place on `length` bytes at `text`, up to a NUL among them (the
// replacements are as long as their patterns).
void normalize_board_text(char* text, std::size_t length);

// Chomps a hand line, rewrites labels, spaces and kanji counts, cuts it at the
// first double space and removes one trailing space.
void normalize_hand_line(std::string& line);

// The pieces of a normalised hand line as one string in canonical order. The
// result lives in a buffer of this module that the next call overwrites.
const std::string& canonical_hand(std::string_view hand_line);

// The record identifier of the list row being built: shown in the diagram
// reader's diagnostics and listing. It has no value outside build mode.
void set_record_identifier(std::optional<std::string_view> identifier);
// The identifier as the messages show it: "(null)" when it has no value.
std::string_view record_identifier_text();

// Reads the twelve lines after a board header line from `file`, reports frame
// errors, and feeds the normalised board and canonical hand into `direct` and,
// when given, into `mirrored` as the left-right mirror image. Without
// `mirrored` (build mode) the identifier and the hand are listed on the
// standard output. The caller has set the digests to zero.
void read_diagram(PositionDigest& direct, PositionDigest* mirrored, TextReader& file);

}  // namespace vokt
