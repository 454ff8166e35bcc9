#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "digest/digest.h"

namespace vokt {
namespace {

// The digest's definition, one bit at a time: the reference that the
// table-driven computation must agree with.
std::uint64_t bitwise_crc64(std::uint64_t reg, std::string_view bytes) {
  for (const char c : bytes) {
    reg ^= static_cast<std::uint64_t>(static_cast<unsigned char>(c)) << 56;
    for (int bit = 0; bit < 8; ++bit) {
      const bool top = (reg >> 63) != 0;
      reg <<= 1;
      if (top) reg ^= 0x42F0E1EBA9EA3693ULL;
    }
  }
  return reg;
}

std::uint64_t value_of(const PositionDigest& digest) {
  return (static_cast<std::uint64_t>(digest.high) << 32) | digest.low;
}

TEST(Crc64Table, AgreesWithTheBitwiseDefinitionWhateverTheFeeding) {
  std::mt19937_64 rng(42);
  for (int round = 0; round < 3000; ++round) {
    std::string bytes(rng() % 300, '\0');
    for (auto& c : bytes) c = static_cast<char>(rng());
    PositionDigest digest;
    crc64_init(digest);
    // Fed in random slices: the eight-byte steps meet every alignment.
    for (std::size_t at = 0; at < bytes.size();) {
      const std::size_t length = std::min<std::size_t>(bytes.size() - at, rng() % 40);
      crc64_update(digest, std::string_view(bytes).substr(at, length));
      at += length;
    }
    ASSERT_EQ(value_of(digest), bitwise_crc64(0, bytes)) << round;
  }
}

}  // namespace
}  // namespace vokt
