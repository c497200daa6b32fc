// The packet sector test: the time rule's boundaries, the sync bytes, and indifference to other bytes.
#include "engine/IsPacketSector.h"

#include "tests/engine/StreamFixtures.h"

#include <gtest/gtest.h>

#include <random>

namespace mtsrescue {
namespace {

std::vector<std::uint8_t> Sector(std::uint16_t a, std::uint16_t b, std::uint16_t c, bool syncs = true) {
  std::vector<std::uint8_t> sector(512, 0);
  const std::uint16_t words[3] = {a, b, c};
  for (int packet = 0; packet < 3; ++packet) {
    sector[packet * 192] = static_cast<std::uint8_t>(words[packet] >> 8);
    sector[packet * 192 + 1] = static_cast<std::uint8_t>(words[packet]);
    if (syncs) {
      sector[packet * 192 + 4] = 0x47;
    }
  }
  return sector;
}

bool IsHit(const std::vector<std::uint8_t>& sector) { return IsPacketSector(sector.data()); }

TEST(IsPacketSector, ZeroSectorIsNoHitThoughItsWordsAreEqual) {
  EXPECT_FALSE(IsHit(std::vector<std::uint8_t>(512, 0)));
  EXPECT_FALSE(IsHit(Sector(7, 7, 7, false)));
  EXPECT_TRUE(IsHit(Sector(7, 7, 7)));
}

TEST(IsPacketSector, TimeRuleRejectsOnlyWhenBothStepsClimbByMoreThan15) {
  EXPECT_FALSE(IsHit(Sector(0x0000, 0x0010, 0x0020)));  // 16, 16
  EXPECT_TRUE(IsHit(Sector(0x0000, 0x000F, 0x001E)));   // 15, 15: not more than 15
  EXPECT_TRUE(IsHit(Sector(0x0000, 0x000F, 0x0100)));   // first step 15
  EXPECT_TRUE(IsHit(Sector(0x0000, 0x0100, 0x010F)));   // second step 15
  EXPECT_TRUE(IsHit(Sector(0, 16, 20)));                // second step 4
  EXPECT_TRUE(IsHit(Sector(0, 4, 40)));                 // first step 4
  EXPECT_TRUE(IsHit(Sector(0x3FFF, 0x0000, 0x0001)));   // falling: the stamp wrapped
  EXPECT_TRUE(IsHit(Sector(0xFFFF, 0x0000, 0xFFFF)));   // extremes do not overflow
  EXPECT_FALSE(IsHit(Sector(0x0000, 0x7FFF, 0xFFFF)));  // largest climbs
}

TEST(IsPacketSector, CopyPermissionBitsTakePartAsTopBitsOfTheWord) {
  EXPECT_FALSE(IsHit(Sector(0x0005, 0x4005, 0x8005)));
  EXPECT_TRUE(IsHit(Sector(0xC005, 0xC005, 0xC006)));
}

TEST(IsPacketSector, WordsAreBigEndian) {
  // Little-endian reading would see steps of 0x0100 - 0x0001 and reject; big-endian sees 1 and 1.
  EXPECT_TRUE(IsHit(Sector(0x0100, 0x0101, 0x0102)));
  // Big-endian steps of 0x100 each; little-endian would see 1 and accept.
  EXPECT_FALSE(IsHit(Sector(0x0001, 0x0101, 0x0201)));
}

TEST(IsPacketSector, EachOfTheThreeSyncBytesIsRequired) {
  for (const int syncAt : {4, 196, 388}) {
    std::vector<std::uint8_t> sector = Sector(1, 1, 1);
    sector[syncAt] = 0x46;
    EXPECT_FALSE(IsHit(sector)) << "sync byte at " << syncAt;
  }
}

TEST(IsPacketSector, PlainTransportStreamSectorIsNoHit) {
  // 188-byte packets with the sync byte at 0, 188, 376 and no arrival-time headers.
  std::vector<std::uint8_t> sector(512, 0xFF);
  sector[0] = sector[188] = sector[376] = 0x47;
  EXPECT_FALSE(IsHit(sector));
}

TEST(IsPacketSector, BytesOutsideTheNineExaminedDoNotMatter) {
  std::mt19937 random(42);
  for (int round = 0; round < 200; ++round) {
    const bool hit = round % 2 == 0;
    std::vector<std::uint8_t> sector = hit ? Sector(0x0100, 0x0100, 0x0101) : Sector(0, 0x100, 0x200);
    for (int at = 0; at < 512; ++at) {
      const int inPacket = at % 192;
      if (at < 390 && (inPacket == 0 || inPacket == 1 || inPacket == 4)) {
        continue;
      }
      sector[at] = static_cast<std::uint8_t>(random());
    }
    EXPECT_EQ(IsHit(sector), hit) << "round " << round;
  }
}

TEST(IsPacketSector, AgreesWithTheThreeDifferenceRuleOnRandomWords) {
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    // Small steps around the threshold are where mistakes hide; mix them with arbitrary words.
    const auto a = static_cast<std::uint16_t>(random());
    const auto b = static_cast<std::uint16_t>(round % 2 ? random() : a + static_cast<int>(random() % 40) - 8);
    const auto c = static_cast<std::uint16_t>(round % 3 ? random() : b + static_cast<int>(random() % 40) - 8);
    const std::int32_t ba = std::int32_t{b} - a, ca = std::int32_t{c} - a, cb = std::int32_t{c} - b;
    const bool expected = !(ba > 15 && ca > 15 && cb > 15);
    ASSERT_EQ(IsHit(Sector(a, b, c)), expected) << a << " " << b << " " << c;
  }
}

TEST(IsPacketSector, PacketStreamHitsOncePerGroupOnly) {
  const std::vector<std::uint8_t> stream = test::PacketStream(4);
  for (std::size_t at = 0; at < stream.size(); at += 512) {
    EXPECT_EQ(IsPacketSector(stream.data() + at), at % 1536 == 0) << "sector at " << at;
  }
}

}  // namespace
}  // namespace mtsrescue
