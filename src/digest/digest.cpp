#include <array>
#include <bit>
#include <cstring>

#include "digest/digest.h"

namespace vokt {

namespace {

constexpr std::uint64_t kEcma182 = 0x42F0E1EBA9EA3693ULL;

using CrcTable = std::array<std::uint64_t, 256>;

// kCrcTables[k][b]: the register after feeding the byte b and then k zero
// bytes into a zero register. Feeding one byte is then one lookup, and 16
// bytes are 16 independent lookups ("slicing by sixteen"), of which only the
// eight for the register's bytes wait for the step before.
constexpr auto kCrcTables = [] {
  std::array<CrcTable, 16> tables{};
  for (std::uint64_t byte = 0; byte < 256; ++byte) {
    std::uint64_t reg = byte << 56;
    for (int bit = 0; bit < 8; ++bit) reg = (reg << 1) ^ ((reg >> 63) != 0 ? kEcma182 : 0);
    tables[0][byte] = reg;
  }
  for (std::size_t k = 1; k < tables.size(); ++k) {
    const CrcTable& before = tables[k - 1];
    for (std::size_t b = 0; b < 256; ++b) tables[k][b] = (before[b] << 8) ^ tables[0][before[b] >> 56];
  }
  return tables;
}();

}  // namespace

void crc64_init(PositionDigest& digest) { digest = PositionDigest{}; }

void crc64_update(PositionDigest& digest, std::string_view bytes) {
  std::uint64_t reg = (static_cast<std::uint64_t>(digest.high) << 32) | digest.low;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  for (; n >= 16; n -= 16, p += 16) {
    // The register joins the first eight bytes (its most significant byte the first); each byte is then one
    // lookup, by its distance to the step's end, joined as a tree so that they wait for each other the least.
    std::uint64_t word = 0;
    std::memcpy(&word, p, 8);
    word ^= std::endian::native == std::endian::little ? __builtin_bswap64(reg) : reg;
    std::array<unsigned char, 8> head{};
    std::memcpy(head.data(), &word, 8);
    const auto at = [&](std::size_t k) { return kCrcTables[15 - k][k < 8 ? head[k] : p[k]]; };
    const auto quad = [&](std::size_t k) { return (at(k) ^ at(k + 1)) ^ (at(k + 2) ^ at(k + 3)); };
    reg = (quad(0) ^ quad(4)) ^ (quad(8) ^ quad(12));
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
