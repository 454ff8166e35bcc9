#include <array>

#include "digest/digest.h"

namespace vokt {

namespace {

constexpr std::uint64_t kEcma182 = 0x42F0E1EBA9EA3693ULL;

using CrcTable = std::array<std::uint64_t, 256>;

// kCrcTables[k][b]: the register after feeding the byte b and then k zero
// bytes into a zero register. Feeding one byte is then one lookup, and eight
// bytes are eight independent lookups ("slicing by eight").
constexpr std::array<CrcTable, 8> make_crc_tables() {
  std::array<CrcTable, 8> tables{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    std::uint64_t reg = static_cast<std::uint64_t>(byte) << 56;
    for (int bit = 0; bit < 8; ++bit) {
      const bool top = (reg >> 63) != 0;
      reg <<= 1;
      if (top) reg ^= kEcma182;
    }
    tables[0][byte] = reg;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (unsigned byte = 0; byte < 256; ++byte) {
      const std::uint64_t reg = tables[k - 1][byte];
      tables[k][byte] = (reg << 8) ^ tables[0][reg >> 56];
    }
  }
  return tables;
}

constexpr std::array<CrcTable, 8> kCrcTables = make_crc_tables();

}  // namespace

void crc64_init(PositionDigest& digest) { digest = PositionDigest{}; }

void crc64_update(PositionDigest& digest, std::string_view bytes) {
  std::uint64_t reg = (static_cast<std::uint64_t>(digest.high) << 32) | digest.low;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  for (; n >= 8; n -= 8, p += 8) {
    std::uint64_t word = 0;
    for (int k = 0; k < 8; ++k) word = (word << 8) | p[k];  // the first byte is the most significant
    const std::uint64_t x = reg ^ word;
    reg = kCrcTables[7][x >> 56] ^ kCrcTables[6][(x >> 48) & 0xFF] ^ kCrcTables[5][(x >> 40) & 0xFF] ^
          kCrcTables[4][(x >> 32) & 0xFF] ^ kCrcTables[3][(x >> 24) & 0xFF] ^ kCrcTables[2][(x >> 16) & 0xFF] ^
          kCrcTables[1][(x >> 8) & 0xFF] ^ kCrcTables[0][x & 0xFF];
  }
  for (; n > 0; --n, ++p) reg = (reg << 8) ^ kCrcTables[0][(reg >> 56) ^ *p];
  digest.high = static_cast<std::uint32_t>(reg >> 32);
  digest.low = static_cast<std::uint32_t>(reg);
}

DigestText digest_text(const PositionDigest& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  const std::uint64_t reg = (static_cast<std::uint64_t>(digest.high) << 32) | digest.low;
  DigestText text{};
  for (int i = 0; i < 16; ++i) text[static_cast<std::size_t>(i)] = kHex[(reg >> (60 - 4 * i)) & 0xF];
  return text;
}

}  // namespace vokt
