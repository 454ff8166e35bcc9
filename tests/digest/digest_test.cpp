#include <gtest/gtest.h>

#include <string>

#include "digest/digest.h"

namespace vokt {
namespace {

std::string text_of(const PositionDigest& digest) { return std::string(text_view(digest_text(digest))); }

std::string crc_of(std::initializer_list<std::string_view> pieces) {
  PositionDigest digest{0x1234, 0x5678};
  crc64_init(digest);
  for (const std::string_view piece : pieces) crc64_update(digest, piece);
  return text_of(digest);
}

TEST(Crc64, CatalogueValuesPiecesAndPadding) {
  EXPECT_EQ(crc_of({"123456789"}), "6c40df5f0b497347");
  EXPECT_EQ(crc_of({"123", "", "456789"}), "6c40df5f0b497347");
  EXPECT_EQ(crc_of({"abc"}), "66501a349a0e0855");
  EXPECT_EQ(crc_of({}), "0000000000000000");
  // Every byte value in order, fed as unsigned; from an independent bitwise model.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(crc_of({all}), "62b0da1c1b130a91");
  EXPECT_EQ(text_of(PositionDigest{0xA, 0xB}), "0000000a0000000b");  // high word first, zero padded
}

}  // namespace
}  // namespace vokt
