// The LAN settings: the "Z5;3" read and the seven set commands.
#include <cstdio>
#include <cstring>

#include "protocol/commands.h"
#include "protocol/protocol.h"

namespace krt6 {
namespace {

constexpr SettingField kIpFields[4] = {SettingField::kIpAddress1, SettingField::kIpAddress2,
                                       SettingField::kIpAddress3, SettingField::kIpAddress4};
constexpr SettingField kGatewayFields[4] = {SettingField::kGateway1, SettingField::kGateway2,
                                            SettingField::kGateway3, SettingField::kGateway4};
constexpr SettingField kMaskFields[4] = {SettingField::kSubnetMask1, SettingField::kSubnetMask2,
                                         SettingField::kSubnetMask3, SettingField::kSubnetMask4};

SettingField CheckOctets(const SettingField (&fields)[4], const std::int32_t (&values)[4]) {
  for (int i = 0; i < 4; ++i) {
    if (!FieldValueFits(fields[i], values[i])) return fields[i];
  }
  return SettingField::kNone;
}

// A text of a fixed-size record field, terminated within the field even when a loaded file
// left no NUL in it.
template <std::size_t N>
void CopyTerminated(char (&out)[N], const char* field, std::size_t field_chars) {
  static_assert(N > 0);
  const std::size_t n = field_chars < N - 1 ? field_chars : N - 1;
  std::memcpy(out, field, n);
  out[n] = '\0';
}

// The three address groups, copied out: the record is packed, so its arrays cannot be bound to
// references.
struct Addresses {
  std::int32_t ip[4];
  std::int32_t gateway[4];
  std::int32_t mask[4];
};

Addresses CopyAddresses(const LanSettings& s) {
  Addresses a;
  std::memcpy(a.ip, &s.IpAddress, sizeof a.ip);
  std::memcpy(a.gateway, &s.Gateway, sizeof a.gateway);
  std::memcpy(a.mask, &s.SubnetMask, sizeof a.mask);
  return a;
}

}  // namespace

SettingField CheckLanSettings(const LanSettings& s) {
  const Addresses a = CopyAddresses(s);
  // In the order the commands go out.
  SettingField refused = CheckOctets(kIpFields, a.ip);
  if (refused == SettingField::kNone) refused = CheckOctets(kGatewayFields, a.gateway);
  if (refused == SettingField::kNone) refused = CheckOctets(kMaskFields, a.mask);
  if (refused != SettingField::kNone) return refused;
  const std::int32_t mode = s.SocketPortMode;
  const std::int32_t port = s.SocketPort;
  if (!FieldValueFits(SettingField::kSocketPortMode, mode)) return SettingField::kSocketPortMode;
  if (!FieldValueFits(SettingField::kSocketPort, port)) return SettingField::kSocketPort;
  // The texts as the "IH;" and "ZW01;" commands take them: up to the NUL, at most 32 and 15.
  if (!IsCommandText({s.DhcpId, strnlen(s.DhcpId, 32)})) return SettingField::kDhcpId;
  if (!IsHostNameText({s.DhcpHostName, strnlen(s.DhcpHostName, 15)})) {
    return SettingField::kDhcpHostName;
  }
  return SettingField::kNone;
}

SettingField BuildLanCommands(const LanSettings& s, std::vector<std::string>& commands) {
  commands.clear();
  const SettingField refused = CheckLanSettings(s);
  if (refused != SettingField::kNone) return refused;

  const Addresses a = CopyAddresses(s);
  const std::int32_t* const ip = a.ip;
  const std::int32_t* const gateway = a.gateway;
  const std::int32_t* const mask = a.mask;
  const std::int32_t mode = s.SocketPortMode;
  const std::int32_t port = s.SocketPort;
  char dhcp_id[33];
  CopyTerminated(dhcp_id, s.DhcpId, 32);
  char host_name[16];
  CopyTerminated(host_name, s.DhcpHostName, 15);

  auto add = [&](const char* text, std::size_t length) { commands.emplace_back(text, length); };
  char buffer[64] = {};
  std::snprintf(buffer, sizeof buffer, "IP;2,%03d,%03d,%03d,%03d", ip[0], ip[1], ip[2], ip[3]);
  add(buffer, 20);
  std::memset(buffer, 0, sizeof buffer);
  std::snprintf(buffer, sizeof buffer, "IP;3,%03d,%03d,%03d,%03d", gateway[0], gateway[1],
                gateway[2], gateway[3]);
  add(buffer, 20);
  std::memset(buffer, 0, sizeof buffer);
  std::snprintf(buffer, sizeof buffer, "IP;4,%03d,%03d,%03d,%03d", mask[0], mask[1], mask[2],
                mask[3]);
  add(buffer, 20);
  std::memset(buffer, 0, sizeof buffer);
  std::snprintf(buffer, sizeof buffer, "IS;%1d,%05d", mode, port);
  add(buffer, 10);
  std::memset(buffer, 0, sizeof buffer);
  std::snprintf(buffer, sizeof buffer, "IH;%1d,%32s", s.DhcpEnabled == 1 ? 1 : 0, dhcp_id);
  add(buffer, 37);
  std::memset(buffer, 0, sizeof buffer);
  const int host_length = std::snprintf(buffer, sizeof buffer, "ZW01;%s", host_name);
  add(buffer, host_length > 0 ? static_cast<std::size_t>(host_length) : 0);
  add("Z0", 2);
  return SettingField::kNone;
}

void DecodeLanReply(const std::uint8_t* reply, LanSettings& s) {
  s.LanFlag = reply[4] == '0' ? 0 : 1;
  for (int i = 0; i < 4; ++i) {
    s.IpAddress[i] = DecimalField(reply + 5 + 3 * i, 3);
    s.Gateway[i] = DecimalField(reply + 17 + 3 * i, 3);
    s.SubnetMask[i] = DecimalField(reply + 29 + 3 * i, 3);
  }
  s.SocketPortMode = static_cast<std::int32_t>(reply[41]) - '0';
  s.SocketPort = DecimalField(reply + 42, 5);
  s.DhcpEnabled = reply[47] == '0' ? 0 : 1;
  std::memcpy(s.DhcpId, reply + 48, 32);
  s.DhcpId[32] = '\0';
  std::memcpy(s.DhcpHostName, reply + 80, 16);
  s.DhcpHostName[15] = '\0';
}

ResultCode Protocol::ReadLanSettings(int link, LanSettings& settings) {
  const LinkHandle handle = link_.OpenLink(link);
  if (handle == kInvalidLinkHandle) return kPortOpenError;
  if (!SendCommand(handle, link, "Z5;3", 4)) {
    link_.CloseLink(link, handle);
    return kTransmissionError;
  }
  std::uint8_t reply[kLanReplyLength + 1] = {};
  if (!AwaitReply(handle, link, reply, kLanReplyLength, kSTX)) {
    link_.CloseLink(link, handle);
    return kReceivingError;
  }
  link_.CloseLink(link, handle);
  DecodeLanReply(reply, settings);
  return kSuccess;
}

ResultCode Protocol::WriteLanSettings(int link, const LanSettings& settings) {
  std::vector<std::string> commands;
  const SettingField refused = BuildLanCommands(settings, commands);
  if (refused != SettingField::kNone) {
    NoteProtocolError(RefusalText(refused, 0) + ". Nothing was sent.");
    return kUnknownError;
  }
  const LinkHandle handle = link_.OpenLink(link);
  if (handle == kInvalidLinkHandle) return kPortOpenError;
  for (const std::string& command : commands) {
    if (!SendCommand(handle, link, command.data(), command.size())) {
      link_.CloseLink(link, handle);
      return kTransmissionError;
    }
  }
  link_.CloseLink(link, handle);
  return kSuccess;
}

}  // namespace krt6
