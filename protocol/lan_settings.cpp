// The LAN settings: the "Z5;3" read and the seven set commands.
#include <cstdio>
#include <cstring>

#include "protocol/commands.h"
#include "protocol/protocol.h"
#include "texts/field_texts.h"

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

}  // namespace

SettingField CheckLanSettings(const LanSettings& s) {
  // In the order the commands go out.
  SettingField refused = CheckOctets(kIpFields, s.IpAddress);
  if (refused == SettingField::kNone) refused = CheckOctets(kGatewayFields, s.Gateway);
  if (refused == SettingField::kNone) refused = CheckOctets(kMaskFields, s.SubnetMask);
  if (refused != SettingField::kNone) return refused;
  if (!FieldValueFits(SettingField::kSocketPortMode, s.SocketPortMode)) {
    return SettingField::kSocketPortMode;
  }
  if (!FieldValueFits(SettingField::kSocketPort, s.SocketPort)) return SettingField::kSocketPort;
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

  char dhcp_id[33];
  CopyTerminated(dhcp_id, s.DhcpId, 32);
  char host_name[16];
  CopyTerminated(host_name, s.DhcpHostName, 15);

  auto add = [&](const char* text, std::size_t length) { commands.emplace_back(text, length); };
  char buffer[64] = {};
  auto add_address = [&](int number, const std::int32_t(&parts)[4]) {
    std::memset(buffer, 0, sizeof buffer);
    std::snprintf(buffer, sizeof buffer, "IP;%d,%03d,%03d,%03d,%03d", number, parts[0], parts[1],
                  parts[2], parts[3]);
    add(buffer, 20);
  };
  add_address(2, s.IpAddress);
  add_address(3, s.Gateway);
  add_address(4, s.SubnetMask);
  std::memset(buffer, 0, sizeof buffer);
  std::snprintf(buffer, sizeof buffer, "IS;%1d,%05d", s.SocketPortMode, s.SocketPort);
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

ResultCode Protocol::ReadLanSettings(LinkKind link, LanSettings& settings) {
  LinkConnection connection = link_.Open(link);
  if (!connection.Ok()) return kPortOpenError;
  if (!SendCommand(connection, "Z5;3", 4)) {
    return kTransmissionError;
  }
  std::uint8_t reply[kLanReplyLength + 1] = {};
  if (!AwaitReply(connection, reply, kLanReplyLength, kSTX)) {
    return kReceivingError;
  }
  DecodeLanReply(reply, settings);
  return kSuccess;
}

ResultCode Protocol::WriteLanSettings(LinkKind link, const LanSettings& settings) {
  std::vector<std::string> commands;
  const SettingField refused = BuildLanCommands(settings, commands);
  if (refused != SettingField::kNone) {
    NoteProtocolError(RefusalDetail(refused, language_));
    return kUnknownError;
  }
  LinkConnection connection = link_.Open(link);
  if (!connection.Ok()) return kPortOpenError;
  for (const std::string& command : commands) {
    if (!SendCommand(connection, command.data(), command.size())) {
      return kTransmissionError;
    }
  }
  return kSuccess;
}

}  // namespace krt6
