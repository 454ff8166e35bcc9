#include <gtest/gtest.h>

#include <string>

#include "digest/digest.h"

namespace vokt {
namespace {

std::string text_of(std::string_view bytes) {
  PositionDigest digest;
  crc64_init(digest);
  crc64_update(digest, bytes);
  return std::string(text_view(digest_text(digest)));
}

TEST(Crc64, MatchesCatalogueValues) {
  EXPECT_EQ(text_of("123456789"), "6c40df5f0b497347");
  EXPECT_EQ(text_of("abc"), "66501a349a0e0855");
}

TEST(Crc64, EmptyDigestIsZeroAndPrintsSixteenZeros) {
  PositionDigest digest{0x1234, 0x5678};
  crc64_init(digest);
  EXPECT_EQ(digest, PositionDigest{});
  EXPECT_EQ(text_of(""), "0000000000000000");
  // Zero padding of each word, high word first.
  EXPECT_EQ(std::string(text_view(digest_text(PositionDigest{0xA, 0xB}))), "0000000a0000000b");
}

TEST(Crc64, FeedingInPiecesEqualsOneFeed) {
  PositionDigest pieces;
  crc64_init(pieces);
  crc64_update(pieces, "123");
  crc64_update(pieces, "");
  crc64_update(pieces, "456789");
  EXPECT_EQ(std::string(text_view(digest_text(pieces))), "6c40df5f0b497347");
}

TEST(Crc64, HighBytesAreFedAsUnsignedValues) {
  // Every byte value 0x00..0xFF in order; the expected value comes from an
  // independent bitwise model of the same CRC.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(text_of(all), "62b0da1c1b130a91");
}

}  // namespace
}  // namespace vokt
