// The link contract's dispatch: chunking, the pending-messages callback, rings and refusals.
#include <gtest/gtest.h>

#include "support/fake_link.h"

namespace krt6 {
namespace {

using testing::InstallFake;
using testing::LinkFixture;

std::vector<std::uint8_t> Bytes(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i);
  return v;
}

struct ChunkCase {
  int kind;
  std::size_t length;
  std::vector<std::size_t> chunks;
  int callbacks;
};

class ChunkingTest : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(ChunkingTest, SplitsIntoChunksAndProcessesMessagesAfterEach) {
  const ChunkCase& c = GetParam();
  LinkFixture f;
  auto fake = InstallFake(f.layer, c.kind);
  int callbacks = 0;
  f.layer.SetPendingMessagesHandler([&] { ++callbacks; });
  std::vector<std::size_t> traced;
  std::vector<std::uint8_t> traced_bytes;
  f.layer.SetTraceObserver([&](const TraceEvent& e) {
    EXPECT_EQ(e.direction, TraceDirection::kSent);
    EXPECT_EQ(e.kind, c.kind);
    traced.push_back(e.bytes.size());
    traced_bytes.insert(traced_bytes.end(), e.bytes.begin(), e.bytes.end());
  });
  const LinkHandle h = f.layer.OpenLink(c.kind);
  ASSERT_NE(h, kInvalidLinkHandle);
  const auto data = Bytes(c.length);
  EXPECT_TRUE(f.layer.LinkWrite(h, c.kind, data.data(), static_cast<std::uint32_t>(c.length)));
  EXPECT_EQ(fake->write_sizes, c.chunks);
  EXPECT_EQ(fake->written, data);
  EXPECT_EQ(callbacks, c.callbacks);
  // The trace sees each chunk the device took, in order.
  EXPECT_EQ(traced, c.chunks);
  EXPECT_EQ(traced_bytes, data);
}

TEST(LinkTraceTest, SeesEachRefillOnceAndNothingOfAFailedWrite) {
  LinkFixture f;
  auto fake = InstallFake(f.layer, lkCom);
  fake->Queue("abcdef");
  fake->fill_limit = 4;
  fake->fail_write_number = 0;
  std::vector<TraceEvent> events;
  f.layer.SetTraceObserver([&](const TraceEvent& e) { events.push_back(e); });
  const LinkHandle h = f.layer.OpenLink(lkCom);
  const std::uint8_t command[] = {'{', 'W', 'S', '|', '}'};
  EXPECT_FALSE(f.layer.LinkWrite(h, lkCom, command, sizeof command));
  std::string read;
  std::uint8_t byte = 0;
  while (f.layer.LinkReadByte(h, lkCom, byte)) read += static_cast<char>(byte);
  EXPECT_EQ(read, "abcdef");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(std::string(events[0].bytes.begin(), events[0].bytes.end()), "abcd");
  EXPECT_EQ(std::string(events[1].bytes.begin(), events[1].bytes.end()), "ef");
  EXPECT_EQ(events[1].direction, TraceDirection::kReceived);
  EXPECT_LE(events[0].time, events[1].time);
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, ChunkingTest,
    ::testing::Values(ChunkCase{lkUsb, 0, {}, 0}, ChunkCase{lkUsb, 64, {64}, 1},
                      ChunkCase{lkUsb, 65, {64, 1}, 2}, ChunkCase{lkCom, 0, {}, 0},
                      ChunkCase{lkCom, 64, {64}, 1}, ChunkCase{lkCom, 65, {64, 1}, 2},
                      ChunkCase{lkCom, 200, {64, 64, 64, 8}, 4}, ChunkCase{lkLpt, 65, {65}, 1},
                      ChunkCase{lkEthernet, 130, {130}, 1}));

TEST(LinkWriteTest, ShortChunkStopsTheWriteAndLaterChunksAreNotSent) {
  for (int kind : {lkUsb, lkCom}) {
    LinkFixture f;
    auto fake = InstallFake(f.layer, kind);
    fake->accept_limit = 63;
    int callbacks = 0;
    f.layer.SetPendingMessagesHandler([&] { ++callbacks; });
    const auto data = Bytes(150);
    const LinkHandle h = f.layer.OpenLink(kind);
    EXPECT_FALSE(f.layer.LinkWrite(h, kind, data.data(), 150));
    EXPECT_EQ(fake->write_sizes.size(), 1u) << "kind " << kind;
    EXPECT_EQ(callbacks, 0);
  }
}

TEST(LinkWriteTest, FailedWholeBufferWriteIsFalseOnLptAndTcp) {
  for (int kind : {lkLpt, lkEthernet}) {
    LinkFixture f;
    auto fake = InstallFake(f.layer, kind);
    fake->fail_write_number = 0;
    const auto data = Bytes(5);
    const LinkHandle h = f.layer.OpenLink(kind);
    EXPECT_FALSE(f.layer.LinkWrite(h, kind, data.data(), 5));
    EXPECT_NE(f.layer.LastError().find("Write failed"), std::string::npos);
  }
}

TEST(LinkDispatchTest, UnknownKindsOpenNothingAndWriteNothing) {
  LinkFixture f;
  int callbacks = 0;
  f.layer.SetPendingMessagesHandler([&] { ++callbacks; });
  const auto data = Bytes(3);
  for (int kind : {-1, 4, 99}) {
    EXPECT_EQ(f.layer.OpenLink(kind), kInvalidLinkHandle);
    EXPECT_FALSE(f.layer.LinkWrite(7, kind, data.data(), 3));
    std::uint8_t b = 0;
    EXPECT_FALSE(f.layer.LinkReadByte(7, kind, b));
  }
  EXPECT_EQ(callbacks, 0);
}

TEST(LinkDispatchTest, WithoutDriversEveryKindFailsToOpenAndSaysWhy) {
  LinkFixture f;
  for (int kind = 0; kind < 4; ++kind) {
    EXPECT_EQ(f.layer.OpenLink(kind), kInvalidLinkHandle);
    EXPECT_FALSE(f.layer.LastError().empty());
  }
}

TEST(LinkReadTest, ParallelLinkNeverReads) {
  LinkFixture f;
  auto fake = InstallFake(f.layer, lkLpt);
  fake->Queue("abc");
  const LinkHandle h = f.layer.OpenLink(lkLpt);
  std::uint8_t b = 0;
  EXPECT_FALSE(f.layer.LinkReadByte(h, lkLpt, b));
  EXPECT_EQ(fake->fills, 0);
}

TEST(LinkReadTest, RingIsRefilledOnlyWhenEmpty) {
  LinkFixture f;
  auto fake = InstallFake(f.layer, lkUsb);
  fake->fill_limit = 64;
  fake->Queue(std::string(100, 'x'));
  const LinkHandle h = f.layer.OpenLink(lkUsb);
  std::uint8_t b = 0;
  for (int i = 0; i < 64; ++i) ASSERT_TRUE(f.layer.LinkReadByte(h, lkUsb, b));
  EXPECT_EQ(fake->fills, 1);
  ASSERT_TRUE(f.layer.LinkReadByte(h, lkUsb, b));
  EXPECT_EQ(fake->fills, 2);
}

TEST(LinkReadTest, BytesLeftUnreadAreDiscardedAtTheNextOpen) {
  LinkFixture f;
  auto fake = InstallFake(f.layer, lkEthernet);
  fake->Queue("AB");
  LinkHandle h = f.layer.OpenLink(lkEthernet);
  std::uint8_t b = 0;
  ASSERT_TRUE(f.layer.LinkReadByte(h, lkEthernet, b));
  EXPECT_EQ(b, 'A');
  f.layer.CloseLink(lkEthernet, h);
  h = f.layer.OpenLink(lkEthernet);
  fake->Queue("C");
  ASSERT_TRUE(f.layer.LinkReadByte(h, lkEthernet, b));
  EXPECT_EQ(b, 'C');
  EXPECT_FALSE(f.layer.LinkReadByte(h, lkEthernet, b));
}

TEST(LinkSettingsTest, ChangesMadeBetweenExchangesAreSeenAtTheNextOpen) {
  LinkFixture f;
  auto fake = InstallFake(f.layer, lkCom);
  f.layer.CloseLink(lkCom, f.layer.OpenLink(lkCom));
  EXPECT_EQ(fake->last_opened, "COM1");
  f.settings.Serial.PortName = "COM10";
  f.layer.CloseLink(lkCom, f.layer.OpenLink(lkCom));
  EXPECT_EQ(fake->last_opened, "COM10");
}

TEST(ReceiveRingTest, WrapsAroundAtTheEnd) {
  auto ring = std::make_unique<ReceiveRing>();
  std::vector<std::uint8_t> block(4096, 0);
  std::uint8_t b = 0;
  for (int round = 0; round < 17; ++round) {  // 17 * 4096 passes the 65,536 boundary
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(round + i);
    ring->Append(block.data(), block.size());
    for (std::size_t i = 0; i < block.size(); ++i) {
      ASSERT_TRUE(ring->Take(b));
      ASSERT_EQ(b, block[i]);
    }
  }
  EXPECT_FALSE(ring->Take(b));
}

}  // namespace
}  // namespace krt6
