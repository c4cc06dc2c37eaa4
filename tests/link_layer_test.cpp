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
  LinkKind kind;
  std::size_t length;
  std::vector<std::size_t> chunks;
};

class ChunkingTest : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(ChunkingTest, SplitsIntoChunksOfTheLinksSize) {
  const ChunkCase& c = GetParam();
  LinkFixture f;
  auto fake = InstallFake(f.layer, c.kind);
  std::vector<std::size_t> traced;
  std::vector<std::uint8_t> traced_bytes;
  f.layer.SetTraceObserver([&](const TraceEvent& e) {
    EXPECT_EQ(e.direction, TraceDirection::kSent);
    EXPECT_EQ(e.kind, c.kind);
    traced.push_back(e.bytes.size());
    traced_bytes.insert(traced_bytes.end(), e.bytes.begin(), e.bytes.end());
  });
  LinkConnection h = f.Open(c.kind);
  ASSERT_TRUE(h.Ok());
  const auto data = Bytes(c.length);
  EXPECT_TRUE(f.Write(h, data.data(), c.length));
  EXPECT_EQ(fake->write_sizes, c.chunks);
  EXPECT_EQ(fake->written, data);
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
  LinkConnection h = f.Open(lkCom);
  const std::uint8_t command[] = {'{', 'W', 'S', '|', '}'};
  EXPECT_FALSE(f.Write(h, command, sizeof command));
  std::string read;
  std::uint8_t byte = 0;
  while (f.ReadByte(h, byte)) read += static_cast<char>(byte);
  EXPECT_EQ(read, "abcdef");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(std::string(events[0].bytes.begin(), events[0].bytes.end()), "abcd");
  EXPECT_EQ(std::string(events[1].bytes.begin(), events[1].bytes.end()), "ef");
  EXPECT_EQ(events[1].direction, TraceDirection::kReceived);
  EXPECT_LE(events[0].time, events[1].time);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, ChunkingTest,
                         ::testing::Values(ChunkCase{lkUsb, 0, {}}, ChunkCase{lkUsb, 64, {64}},
                                           ChunkCase{lkUsb, 65, {64, 1}}, ChunkCase{lkCom, 0, {}},
                                           ChunkCase{lkCom, 64, {64}},
                                           ChunkCase{lkCom, 65, {64, 1}},
                                           ChunkCase{lkCom, 200, {64, 64, 64, 8}},
                                           ChunkCase{lkLpt, 65, {65}},
                                           ChunkCase{lkEthernet, 130, {130}}));

TEST(LinkWriteTest, ShortChunkStopsTheWriteAndLaterChunksAreNotSent) {
  for (const LinkKind kind : {lkUsb, lkCom}) {
    LinkFixture f;
    auto fake = InstallFake(f.layer, kind);
    fake->accept_limit = 63;
    const auto data = Bytes(150);
    LinkConnection h = f.Open(kind);
    EXPECT_FALSE(f.Write(h, data.data(), 150));
    EXPECT_EQ(fake->write_sizes.size(), 1u) << "kind " << kind;
  }
}

TEST(LinkWriteTest, FailedWholeBufferWriteIsFalseOnLptAndTcp) {
  for (const LinkKind kind : {lkLpt, lkEthernet}) {
    LinkFixture f;
    auto fake = InstallFake(f.layer, kind);
    fake->fail_write_number = 0;
    const auto data = Bytes(5);
    LinkConnection h = f.Open(kind);
    EXPECT_FALSE(f.Write(h, data.data(), 5));
    EXPECT_NE(f.failure.Text().find("Write failed"), std::string::npos);
  }
}

TEST(LinkDispatchTest, KindsWithoutADriverOpenNothingWriteNothingAndSayWhy) {
  const auto data = Bytes(3);
  for (int value : {-1, 4, 99}) {
    const auto kind = static_cast<LinkKind>(value);
    SCOPED_TRACE(value);
    EXPECT_EQ(FindLinkKind(kind), nullptr);
    LinkFixture f;
    f.layer.SetBackend(kind, MakeSystemLink(kind, f.settings));
    LinkConnection c = f.Open(kind);
    EXPECT_FALSE(c.Ok());
    EXPECT_EQ(f.failure.cause, Cause::kUnavailable);
    EXPECT_NE(f.failure.Text().find("not available"), std::string::npos) << f.failure.Text();
    EXPECT_FALSE(f.Write(c, data.data(), 3));
    std::uint8_t b = 0;
    EXPECT_FALSE(f.ReadByte(c, b));
    EXPECT_FALSE(f.layer.CanReceive());
  }
  // A layer that was never given a link names no interface.
  LinkFixture none;
  EXPECT_FALSE(none.Open().Ok());
  EXPECT_EQ(none.failure.cause, Cause::kBadSettings);
}

TEST(LinkReadTest, ParallelLinkNeverReads) {
  LinkFixture f;
  auto fake = InstallFake(f.layer, lkLpt);
  fake->Queue("abc");
  LinkConnection h = f.Open(lkLpt);
  std::uint8_t b = 0;
  EXPECT_FALSE(f.ReadByte(h, b));
  EXPECT_EQ(fake->fills, 0);
}

TEST(LinkReadTest, RingIsRefilledOnlyWhenEmpty) {
  LinkFixture f;
  auto fake = InstallFake(f.layer, lkUsb);
  fake->fill_limit = 64;
  fake->Queue(std::string(100, 'x'));
  LinkConnection h = f.Open(lkUsb);
  std::uint8_t b = 0;
  for (int i = 0; i < 64; ++i) ASSERT_TRUE(f.ReadByte(h, b));
  EXPECT_EQ(fake->fills, 1);
  ASSERT_TRUE(f.ReadByte(h, b));
  EXPECT_EQ(fake->fills, 2);
}

TEST(LinkReadTest, BytesLeftUnreadAreDiscardedAtTheNextOpen) {
  LinkFixture f;
  auto fake = InstallFake(f.layer, lkEthernet);
  fake->Queue("AB");
  LinkConnection h = f.Open(lkEthernet);
  std::uint8_t b = 0;
  ASSERT_TRUE(f.ReadByte(h, b));
  EXPECT_EQ(b, 'A');
  h.Close();
  h = f.Open(lkEthernet);
  fake->Queue("C");
  ASSERT_TRUE(f.ReadByte(h, b));
  EXPECT_EQ(b, 'C');
  EXPECT_FALSE(f.ReadByte(h, b));
}

TEST(LinkSettingsTest, ChangesMadeBetweenExchangesAreSeenAtTheNextOpen) {
  LinkFixture f;
  auto fake = InstallFake(f.layer, lkCom, &f.settings);
  f.Open(lkCom);
  EXPECT_EQ(fake->last_opened, "COM1");
  f.settings.Serial.PortName = "COM10";
  f.Open(lkCom);
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

namespace krt6 {
namespace {

// Every kind in the registry is found again by its kind and by its targets' prefix, sits at the
// index of its kind in the interface list, makes a backend that can do what the entry says, and
// tells the operator what to do when its device is not found.
TEST(LinkKindsTest, EveryEntryIsFoundMadeAndHelpsWithAMissingDevice) {
  const auto kinds = LinkKinds();
  ASSERT_EQ(kinds.size(), 4u);
  for (std::size_t index = 0; index < kinds.size(); ++index) {
    const LinkKindInfo& info = *kinds[index];
    SCOPED_TRACE(info.item.english);
    EXPECT_EQ(static_cast<std::size_t>(info.kind), index);
    EXPECT_EQ(FindLinkKind(info.kind), &info);
    EXPECT_EQ(FindLinkPrefix(std::string(info.prefix) + "rest"), &info);
    std::string upper(info.prefix);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(FindLinkPrefix(upper), &info) << "a scheme is case-insensitive";
    EXPECT_EQ(info.uri_forms.substr(0, info.prefix.size()), info.prefix);
    const auto backend = MakeSystemLink(info.kind, LinkSettings{});
    ASSERT_NE(backend, nullptr);
    EXPECT_EQ(backend->Capabilities().can_receive, info.capabilities.can_receive);
    EXPECT_EQ(backend->Capabilities().chunk_size, info.capabilities.chunk_size);
    EXPECT_FALSE(info.hint(Cause::kNotFound).empty());
    EXPECT_TRUE(info.hint(Cause::kNone).empty());
  }
  EXPECT_EQ(FindLinkPrefix("ftp://host"), nullptr);
  EXPECT_EQ(LinkKindName(static_cast<LinkKind>(7)), "unknown interface");
}

// Port names as a test sees them: the name, marked.
class MarkedPorts final : public PortResolver {
 public:
  std::string SerialDevice(const std::string& name) const override { return "tty-" + name; }
  std::string ParallelDevice(const std::string& name) const override { return "lp-" + name; }
};

// Each kind reads the rest of its krt6ctl targets into its own members, names the printer from
// them (the ports through the resolver given), and refuses a rest that names none in both
// languages.
TEST(LinkKindsTest, EveryKindReadsItsTargetsAndNamesItsPrinter) {
  struct Case {
    LinkKind kind;
    const char* rest;
    const char* key;
    const char* refused;
  };
  const Case cases[] = {
      {lkUsb, "?serial=A1", "usb:?serial=A1", "1-"},
      {lkCom, "COM3?baud=115200", "serial:tty-COM3", "COM31"},
      {lkLpt, "LPT2", "parallel:lp-LPT2", ""},
      {lkEthernet, "Printer.Example:9100/", "printer.example:9100", "host:0"},
  };
  ASSERT_EQ(std::size(cases), LinkKinds().size());
  for (const Case& c : cases) {
    const LinkKindInfo& info = *FindLinkKind(c.kind);
    SCOPED_TRACE(info.item.english);
    LinkAddress address;
    address.Kind = c.kind;
    EXPECT_EQ(info.read_target(c.rest, address, Language::kEnglish), "");
    EXPECT_EQ(info.printer_key(address, MarkedPorts()), c.key);
    LinkAddress refused;
    refused.Kind = c.kind;
    const std::string english = info.read_target(c.refused, refused, Language::kEnglish);
    const std::string japanese = info.read_target(c.refused, refused, Language::kJapanese);
    EXPECT_FALSE(english.empty());
    EXPECT_FALSE(japanese.empty());
    EXPECT_NE(english, japanese);
  }
  // Only the kind's own members are read: the serial options leave the other kinds' defaults.
  LinkAddress serial;
  ASSERT_EQ(FindLinkKind(lkCom)->read_target("COM3?baud=115200", serial, Language::kEnglish), "");
  EXPECT_EQ(serial.Settings.Serial.BaudRateIndex, 6);
  EXPECT_EQ(serial.Settings.Tcp, TcpSettings{});
  EXPECT_EQ(serial.Settings.LptName, "LPT1");
  EXPECT_TRUE(serial.Settings.Other.empty());
}

}  // namespace
}  // namespace krt6
