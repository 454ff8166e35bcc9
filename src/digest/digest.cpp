#include "digest/digest.h"

namespace vokt {

namespace {
constexpr std::uint64_t kEcma182 = 0x42F0E1EBA9EA3693ULL;
}

void crc64_init(PositionDigest& digest) { digest = PositionDigest{}; }

void crc64_update(PositionDigest& digest, std::string_view bytes) {
  std::uint64_t reg = (static_cast<std::uint64_t>(digest.high) << 32) | digest.low;
  for (const char c : bytes) {
    reg ^= static_cast<std::uint64_t>(static_cast<unsigned char>(c)) << 56;
    for (int bit = 0; bit < 8; ++bit) {
      const bool top = (reg >> 63) != 0;
      reg <<= 1;
      if (top) reg ^= kEcma182;
    }
  }
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
