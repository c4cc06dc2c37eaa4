#include "files/setting_files.h"

#include <cstring>
#include <vector>

namespace krt6 {
namespace {

void PutInt32(std::uint8_t* out, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  out[0] = static_cast<std::uint8_t>(bits);
  out[1] = static_cast<std::uint8_t>(bits >> 8);
  out[2] = static_cast<std::uint8_t>(bits >> 16);
  out[3] = static_cast<std::uint8_t>(bits >> 24);
}

std::int32_t GetInt32(const std::uint8_t* in) {
  const std::uint32_t bits =
      static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
      static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
  return static_cast<std::int32_t>(bits);
}

struct IntField {
  std::size_t offset;
  std::int32_t ParameterBlock::*member;
};

// Every integer of the parameter file with its offset; EuroCode fills bytes 44-47.
constexpr IntField kParameterInts[] = {
    {0, &ParameterBlock::FontCode},       {4, &ParameterBlock::ZeroCode},
    {8, &ParameterBlock::Speed},          {12, &ParameterBlock::DataLeng},
    {16, &ParameterBlock::StopBit},       {20, &ParameterBlock::Parity},
    {24, &ParameterBlock::Control},       {28, &ParameterBlock::Destination},
    {32, &ParameterBlock::ForwardWait},   {36, &ParameterBlock::Code},
    {40, &ParameterBlock::FeedKey},       {48, &ParameterBlock::Reserved1},
    {52, &ParameterBlock::Reserved2},     {56, &ParameterBlock::Reserved3},
    {60, &ParameterBlock::AutoHome},      {64, &ParameterBlock::AutoCalib},
    {68, &ParameterBlock::ModelSelect},   {72, &ParameterBlock::XAdj},
    {76, &ParameterBlock::CarriedValue1}, {80, &ParameterBlock::CarriedValue2},
    {84, &ParameterBlock::CarriedAdj},    {88, &ParameterBlock::BlankSpaceLen},
};
constexpr std::size_t kEuroCodeOffset = 44;

// A run of file bytes and where in the 92-byte layout they land.
struct Span {
  std::size_t file_offset;
  std::size_t record_offset;
  std::size_t length;
};

// 76 bytes: no Destination, no ModelSelect, no CarriedAdj, no BlankSpaceLen.
constexpr Span kLayout76[] = {
    {0, 0, 28}, {28, 32, 12}, {40, 44, 4}, {44, 48, 20}, {64, 72, 12},
};
// 84 bytes, and 88 bytes whose last 4 bytes are not used: no ModelSelect, no BlankSpaceLen.
constexpr Span kLayout84[] = {{0, 0, 68}, {68, 72, 16}};

template <std::size_t N> void Terminate(char (&text)[N]) {
  if (std::memchr(text, 0, N) == nullptr) text[N - 1] = '\0';
}

// Where each LanSettings field sits in the extra setting file; LanFlag is byte 0.
constexpr std::size_t kIpAddressOffset = 1;
constexpr std::size_t kSubnetMaskOffset = 17;
constexpr std::size_t kGatewayOffset = 33;
constexpr std::size_t kSocketPortModeOffset = 49;
constexpr std::size_t kSocketPortOffset = 53;
constexpr std::size_t kDhcpEnabledOffset = 57;
constexpr std::size_t kDhcpIdOffset = 58;
constexpr std::size_t kDhcpHostNameOffset = 91;

}  // namespace

ParameterFileBytes EncodeParameterBlock(const ParameterBlock& block) {
  ParameterFileBytes bytes{};
  for (const IntField& field : kParameterInts) PutInt32(&bytes[field.offset], block.*field.member);
  std::memcpy(&bytes[kEuroCodeOffset], block.EuroCode, sizeof block.EuroCode);
  return bytes;
}

ParameterBlock DecodeParameterBlock(const ParameterFileBytes& bytes) {
  ParameterBlock block;
  for (const IntField& field : kParameterInts) block.*field.member = GetInt32(&bytes[field.offset]);
  std::memcpy(block.EuroCode, &bytes[kEuroCodeOffset], sizeof block.EuroCode);
  return block;
}

void ApplyParameterFile(const std::uint8_t* data, std::size_t size, ParameterBlock& block) {
  if (data == nullptr || size == 0) return;
  ParameterFileBytes bytes = EncodeParameterBlock(block);
  auto place = [&](const auto& layout) {
    for (const Span& span : layout) {
      std::memcpy(&bytes[span.record_offset], data + span.file_offset, span.length);
    }
  };
  if (size == 76) {
    place(kLayout76);
  } else if (size == 84 || size == 88) {
    place(kLayout84);
  } else {
    std::memcpy(bytes.data(), data, size < bytes.size() ? size : bytes.size());
  }
  block = DecodeParameterBlock(bytes);
  TerminateTexts(block);
}

LanSettingsFileBytes EncodeLanSettings(const LanSettings& settings) {
  LanSettingsFileBytes bytes{};
  bytes[0] = settings.LanFlag;
  for (std::size_t i = 0; i < 4; ++i) {
    PutInt32(&bytes[kIpAddressOffset + 4 * i], settings.IpAddress[i]);
    PutInt32(&bytes[kSubnetMaskOffset + 4 * i], settings.SubnetMask[i]);
    PutInt32(&bytes[kGatewayOffset + 4 * i], settings.Gateway[i]);
  }
  PutInt32(&bytes[kSocketPortModeOffset], settings.SocketPortMode);
  PutInt32(&bytes[kSocketPortOffset], settings.SocketPort);
  bytes[kDhcpEnabledOffset] = settings.DhcpEnabled;
  std::memcpy(&bytes[kDhcpIdOffset], settings.DhcpId, sizeof settings.DhcpId);
  std::memcpy(&bytes[kDhcpHostNameOffset], settings.DhcpHostName, sizeof settings.DhcpHostName);
  return bytes;
}

LanSettings DecodeLanSettings(const LanSettingsFileBytes& bytes) {
  LanSettings settings;
  settings.LanFlag = bytes[0];
  for (std::size_t i = 0; i < 4; ++i) {
    settings.IpAddress[i] = GetInt32(&bytes[kIpAddressOffset + 4 * i]);
    settings.SubnetMask[i] = GetInt32(&bytes[kSubnetMaskOffset + 4 * i]);
    settings.Gateway[i] = GetInt32(&bytes[kGatewayOffset + 4 * i]);
  }
  settings.SocketPortMode = GetInt32(&bytes[kSocketPortModeOffset]);
  settings.SocketPort = GetInt32(&bytes[kSocketPortOffset]);
  settings.DhcpEnabled = bytes[kDhcpEnabledOffset];
  std::memcpy(settings.DhcpId, &bytes[kDhcpIdOffset], sizeof settings.DhcpId);
  std::memcpy(settings.DhcpHostName, &bytes[kDhcpHostNameOffset], sizeof settings.DhcpHostName);
  return settings;
}

void ApplyLanSettingsFile(const std::uint8_t* data, std::size_t size, LanSettings& settings) {
  if (data == nullptr || size == 0) return;
  LanSettingsFileBytes bytes = EncodeLanSettings(settings);
  std::memcpy(bytes.data(), data, size < bytes.size() ? size : bytes.size());
  settings = DecodeLanSettings(bytes);
  TerminateTexts(settings);
}

void TerminateTexts(ParameterBlock& block) { Terminate(block.EuroCode); }

void TerminateTexts(LanSettings& settings) {
  Terminate(settings.DhcpId);
  Terminate(settings.DhcpHostName);
}

FileResult SaveParameterFile(const std::string& path, const ParameterBlock& block,
                             const ReplaceHook& hook) {
  const ParameterFileBytes bytes = EncodeParameterBlock(block);
  return ReplaceFileAtomically(path, bytes.data(), bytes.size(), hook);
}

FileResult LoadParameterFile(const std::string& path, ParameterBlock& block) {
  // One byte more than the full layout tells a longer file (read as the 92-byte layout) from
  // one of exactly 92 bytes without asking for the size separately.
  std::vector<std::uint8_t> bytes;
  FileResult result = ReadFilePrefix(path, kParameterFileSize + 1, bytes);
  if (result) ApplyParameterFile(bytes.data(), bytes.size(), block);
  return result;
}

FileResult SaveLanSettingsFile(const std::string& path, const LanSettings& settings,
                               const ReplaceHook& hook) {
  const LanSettingsFileBytes bytes = EncodeLanSettings(settings);
  return ReplaceFileAtomically(path, bytes.data(), bytes.size(), hook);
}

FileResult LoadLanSettingsFile(const std::string& path, LanSettings& settings) {
  std::vector<std::uint8_t> bytes;
  FileResult result = ReadFilePrefix(path, kLanSettingsFileSize, bytes);
  if (result) ApplyLanSettingsFile(bytes.data(), bytes.size(), settings);
  return result;
}

}  // namespace krt6
