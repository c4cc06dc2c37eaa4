#include "session/session.h"

#include <utility>

#include "protocol/commands.h"

namespace krt6 {

LinkMaker SystemLinks(SystemLinkOptions options) {
  return [options = std::move(options)](LinkKind kind, const LinkSettings& settings) {
    return MakeSystemLink(kind, settings, options);
  };
}

Session::Session(LinkTarget target, LinkMaker make_link, Protocol::Sleeper sleep)
    : target_(std::move(target)),
      make_link_(std::move(make_link)),
      protocol_(link_, std::move(sleep)) {}

bool Session::CanReceive(LinkKind kind) {
  const LinkKindInfo* info = FindLinkKind(kind);
  return info != nullptr && info->capabilities.can_receive;
}

void Session::UseTarget() {
  protocol_.SetEscFraming(target_.Settings.CodeMode != 0);
  if (built_ && built_for_.Kind == target_.Kind && built_for_.Settings == target_.Settings) return;
  link_.SetBackend(target_.Kind, make_link_ ? make_link_(target_.Kind, target_.Settings) : nullptr);
  built_for_ = target_;
  built_ = true;
}

void Session::SetTraceObserver(TraceObserver observer) {
  link_.SetTraceObserver(std::move(observer));
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
