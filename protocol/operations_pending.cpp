// Printer operations whose command formats are not built yet. Each refuses honestly with
// kUnknownError and says so in the details, rather than pretending to have talked to a printer.
#include "protocol/protocol.h"

namespace krt6 {
namespace {
constexpr const char* kPending = "This printer operation is not available in this build.";
}

ResultCode Protocol::ReadParameters(int, ParameterBlock&) {
  NoteProtocolError(kPending);
  return kUnknownError;
}
ResultCode Protocol::WriteParameters(int, const ParameterBlock&) {
  NoteProtocolError(kPending);
  return kUnknownError;
}
ResultCode Protocol::ReadLanSettings(int, LanSettings&) {
  NoteProtocolError(kPending);
  return kUnknownError;
}
ResultCode Protocol::WriteLanSettings(int, const LanSettings&) {
  NoteProtocolError(kPending);
  return kUnknownError;
}
ResultCode Protocol::SendZ1Command(int, std::int32_t) {
  NoteProtocolError(kPending);
  return kUnknownError;
}
ResultCode Protocol::SendZ4Command(int) {
  NoteProtocolError(kPending);
  return kUnknownError;
}
ResultCode Protocol::CalibrateSensor(int, std::int32_t) {
  NoteProtocolError(kPending);
  return kUnknownError;
}
ResultCode Protocol::ReadFirmwareVersion(int, VersionText&) {
  NoteProtocolError(kPending);
  return kUnknownError;
}

}  // namespace krt6
