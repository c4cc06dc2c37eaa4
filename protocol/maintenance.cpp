// The maintenance commands: Z1, Z4, the sensor calibration and the firmware version query.
#include <cstring>

#include "protocol/commands.h"
#include "protocol/protocol.h"
#include "texts/texts.h"

namespace krt6 {
namespace {

constexpr int kZ4SettleMilliseconds = 3000;
constexpr int kVersionSettleMilliseconds = 500;
constexpr int kVersionAttempts = 3;

}  // namespace

const char* Z1CommandText(std::int32_t selector) { return selector == 0 ? "Z10" : "Z11"; }

const char* CalibrationCommandText(std::int32_t sensor) {
  switch (sensor) {
    case 0: return "WT;1000,1";
    case 1: return "WT;1000,2";
    default: return "WT;1000,3";
  }
}

bool DecodeVersionReply(const std::uint8_t* reply, VersionText& version) {
  if (reply[18] != 'V' && reply[18] != 'v') return false;
  std::memcpy(version.Text, reply + 19, 4);
  version.Text[4] = '\0';
  return true;
}

int VersionIndexForText(const char* text) {
  if (text == nullptr || std::strncmp(text, "1.0", 3) != 0) return 4;
  const char letter = text[3];
  if (letter >= 'B' && letter <= 'C') return 0;
  if (letter >= 'D' && letter <= 'E') return 1;
  if (letter >= 'F' && letter <= 'I') return 2;
  if (letter >= 'J' && letter <= 'T') return 3;
  return 4;
}

ResultCode Protocol::SendOneCommand(LinkKind link, const char* text, int settle_milliseconds) {
  LinkConnection connection = link_.Open(link);
  if (!connection.Ok()) return kPortOpenError;
  if (!SendCommand(connection, text, std::strlen(text))) {
    return kTransmissionError;
  }
  // The printer needs the link held open while it acts on some commands.
  if (settle_milliseconds > 0) Sleep(settle_milliseconds);
  return kSuccess;
}

ResultCode Protocol::SendZ1Command(LinkKind link, std::int32_t selector) {
  return SendOneCommand(link, Z1CommandText(selector), 0);
}

ResultCode Protocol::SendZ4Command(LinkKind link) {
  return SendOneCommand(link, "Z4;0", kZ4SettleMilliseconds);
}

ResultCode Protocol::CalibrateSensor(LinkKind link, std::int32_t sensor) {
  return SendOneCommand(link, CalibrationCommandText(sensor), 0);
}

ResultCode Protocol::ReadFirmwareVersion(LinkKind link, VersionText& version) {
  LinkConnection connection = link_.Open(link);
  if (!connection.Ok()) return kPortOpenError;
  for (int attempt = 0; attempt < kVersionAttempts; ++attempt) {
    if (!SendCommand(connection, "WV", 2)) {
      return kTransmissionError;
    }
    std::uint8_t reply[kVersionReplyLength + 1] = {};
    if (!AwaitReplyPair(connection, reply, kVersionReplyLength, kSOH, kSTX)) {
      return kReceivingError;
    }
    if (DecodeVersionReply(reply, version)) {
      connection.Close();
      // The printer is given time after the query before the next exchange opens the link.
      Sleep(kVersionSettleMilliseconds);
      return kSuccess;
    }
  }
  NoteProtocolError(TextFor(kNoFirmwareVersionText, language_));
  return kReceivingError;
}

}  // namespace krt6
