// One printer: its link settings, its link layer with the backends installed for it, the protocol
// over them and the firmware version index the formats follow. Each operation is a typed call
// that takes its input by value and returns its result; it runs on the calling thread and blocks
// on the device. A session is used by one thread at a time (the settings, the language and the
// version index are changed only between operations); only Cancel may come from another thread.
// Sessions share nothing, so many run side by side on separate threads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "link/link_layer.h"
#include "link/link_settings.h"
#include "link/trace.h"
#include "protocol/protocol.h"
#include "records/records.h"
#include "session/outcome.h"
#include "texts/language.h"

namespace krt6 {

class Session {
 public:
  // Installs the backends of the link layer: the system's links in production, fakes in tests.
  using LinkInstaller = std::function<void(LinkLayer& link)>;

  // `sleep` carries the protocol's fixed waits (the link layer's cancellable pauses when empty).
  explicit Session(const LinkInstaller& install_links, Protocol::Sleeper sleep = {});
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The link settings in use; change them only between operations.
  LinkSettings& Settings() { return settings_; }
  // The link the operations go over (0 USB, 1 COM, 2 LPT, 3 ETHERNET).
  void SetLinkKind(LinkKind kind) { link_kind_ = kind; }
  LinkKind Kind() const { return link_kind_; }
  // Whether a link of `kind` can carry the printer's replies.
  bool CanReceive(LinkKind kind) const { return link_.CanReceive(kind); }
  // The firmware version index the formats follow (0..4; -1 while none is chosen).
  void SetVersionIndex(int index) { version_index_ = index; }
  int VersionIndex() const { return version_index_; }
  // The language of the protocol's detail sentences.
  void SetLanguage(Language language) { language_ = language; }
  Language CurrentLanguage() const { return language_; }
  // Sees every chunk sent and received, on the thread that runs the operation.
  void SetTraceObserver(TraceObserver observer);

  // Every byte the printer's link took since the session was made: whether a failed write sent
  // anything.
  std::uint64_t BytesSent() const { return link_.BytesSent(); }

  // Ends the running operation from any thread: it gives kCancelled. Stays in force until
  // ClearCancel, which arms the session again while no operation runs.
  void Cancel() noexcept { protocol_.Cancel(); }
  void ClearCancel() noexcept { protocol_.ClearCancel(); }

  // The printer operations.
  Outcome<std::int32_t> ReadStatus();
  Outcome<ParameterBlock> ReadParameters(ParameterBlock start = {});
  Outcome<void> WriteParameters(ParameterBlock block);
  Outcome<LanSettings> ReadLanSettings(LanSettings start = {});
  Outcome<void> WriteLanSettings(LanSettings settings);
  Outcome<void> SendZ1Command(std::int32_t selector);
  Outcome<void> SendZ4Command();
  Outcome<void> CalibrateSensor(std::int32_t sensor);
  // On success the session follows the version the printer reported.
  Outcome<VersionText> ReadFirmwareVersion();

 private:
  template <CommandKind Kind, typename T> Outcome<T> Run(T record);
  template <CommandKind Kind, typename Record> Outcome<void> RunWithout(Record record);
  OutcomeStatus Status(ResultCode code) const;

  LinkSettings settings_;
  LinkLayer link_;
  Protocol protocol_;
  LinkKind link_kind_ = lkUsb;
  int version_index_ = 4;
  Language language_ = Language::kEnglish;
};

}  // namespace krt6
