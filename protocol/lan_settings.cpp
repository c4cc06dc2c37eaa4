// The LAN settings: the "Z5;3" read and the seven set commands.
#include <utility>

#include "protocol/commands.h"
#include "protocol/protocol.h"
#include "texts/field_texts.h"

namespace krt6 {
SettingField CheckLanSettings(const LanSettings& s) {
  return CheckFields(FieldPart::kLan, &s, 0, false);
}

SettingField BuildLanCommands(const LanSettings& s, std::vector<std::string>& commands) {
  commands.clear();
  const SettingField refused = CheckLanSettings(s);
  if (refused != SettingField::kNone) return refused;
  // Each command's fixed characters, the fields' values written over them.
  const std::pair<CommandId, const char*> kCommands[] = {
      {CommandId::kIP2, "IP;2,000,000,000,000"},
      {CommandId::kIP3, "IP;3,000,000,000,000"},
      {CommandId::kIP4, "IP;4,000,000,000,000"},
      {CommandId::kSocket, "IS;0,00000"},
      {CommandId::kDhcp, "IH;0,"},
      {CommandId::kHostName, "ZW01;"},
  };
  for (const auto& [id, text] : kCommands) {
    commands.emplace_back(text);
    PlaceFields(id, &s, 0, commands.back());
  }
  commands.emplace_back("Z0");
  return SettingField::kNone;
}

void DecodeLanReply(const std::uint8_t* reply, LanSettings& s) {
  DecodeFields(ReplyId::kLan, reply, 0, &s);
}

}  // namespace krt6
