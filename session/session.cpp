#include "session/session.h"

#include <utility>

#include "protocol/commands.h"

namespace krt6 {

Session::Session(const LinkInstaller& install_links, Protocol::Sleeper sleep)
    : protocol_(link_, std::move(sleep)) {
  if (install_links) install_links(link_);
  link_.SetLinkSettings(settings_.Serial, settings_.LptName, settings_.Tcp, settings_.CodeMode);
}

void Session::SetTraceObserver(TraceObserver observer) {
  link_.SetTraceObserver(std::move(observer));
}

OutcomeStatus Session::Status(ResultCode code) const {
  OutcomeStatus status;
  status.Code = code;
  if (code != kSuccess) {
    status.Details = protocol_.LastError();
    // The link's account of the failure, with the code and the cause of the whole operation (the
    // protocol's own when it saw the failure first).
    status.Link = link_.LastError();
    status.Link.code = code;
    status.Link.cause = protocol_.LastCause();
  }
  return status;
}

template <CommandKind Kind, typename T> Outcome<T> Session::Run(T record) {
  protocol_.SetLanguage(language_);
  int version = version_index_;
  const ResultCode code = protocol_.ExecuteCommand<Kind>(link_kind_, record, version);
  Outcome<T> outcome;
  static_cast<OutcomeStatus&>(outcome) = Status(code);
  outcome.Value = std::move(record);
  return outcome;
}

template <CommandKind Kind, typename Record> Outcome<void> Session::RunWithout(Record record) {
  Outcome<void> outcome;
  static_cast<OutcomeStatus&>(outcome) = Run<Kind>(std::move(record));
  return outcome;
}

Outcome<std::int32_t> Session::ReadStatus() { return Run<ckReadStatus>(std::int32_t{0}); }

Outcome<ParameterBlock> Session::ReadParameters(ParameterBlock start) {
  return Run<ckReadParameters>(std::move(start));
}

Outcome<void> Session::WriteParameters(ParameterBlock block) {
  return RunWithout<ckWriteParameters>(std::move(block));
}

Outcome<LanSettings> Session::ReadLanSettings(LanSettings start) {
  return Run<ckReadLanSettings>(std::move(start));
}

Outcome<void> Session::WriteLanSettings(LanSettings settings) {
  return RunWithout<ckWriteLanSettings>(std::move(settings));
}

Outcome<void> Session::SendZ1Command(std::int32_t selector) {
  return RunWithout<ckSendZ1Command>(selector);
}

Outcome<void> Session::SendZ4Command() { return RunWithout<ckSendZ4Command>(NoRecord{}); }

Outcome<void> Session::CalibrateSensor(std::int32_t sensor) {
  return RunWithout<ckCalibrateSensor>(sensor);
}

Outcome<VersionText> Session::ReadFirmwareVersion() {
  Outcome<VersionText> outcome = Run<ckReadFirmwareVersion>(VersionText{});
  if (outcome.Ok()) version_index_ = VersionIndexForText(outcome.Value.Text);
  return outcome;
}

}  // namespace krt6
