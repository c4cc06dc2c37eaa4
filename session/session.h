// One printer: its target (the kind of link and that link's settings), the one backend made for
// it, the protocol over it and the firmware version index the formats follow. Each operation is a
// typed call that takes its input by value and returns its result; it runs on the calling thread
// and blocks on the device. A session is used by one thread at a time (the settings, the language
// and the version index are changed only between operations); only Cancel may come from another
// thread. Sessions share nothing, so many run side by side on separate threads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "link/link_kinds.h"
#include "link/link_layer.h"
#include "link/link_settings.h"
#include "link/trace.h"
#include "protocol/protocol.h"
#include "records/records.h"
#include "session/outcome.h"
#include "texts/language.h"

namespace krt6 {

// Where a session's printer is: the kind of link and the settings that kind reads.
struct LinkTarget {
  LinkKind Kind = lkUsb;
  LinkSettings Settings;
};

// Makes the backend for a target: the system's links in production, fakes in tests.
using LinkMaker =
    std::function<std::unique_ptr<LinkBackend>(LinkKind kind, const LinkSettings& settings)>;

// The system's links, with the system's parts from `options`.
LinkMaker SystemLinks(SystemLinkOptions options = {});

class Session {
 public:
  // `sleep` carries the protocol's fixed waits (the link layer's cancellable pauses when empty).
  explicit Session(LinkTarget target = {}, LinkMaker make_link = SystemLinks(),
                   Protocol::Sleeper sleep = {});
  explicit Session(LinkMaker make_link, Protocol::Sleeper sleep = {})
      : Session(LinkTarget{}, std::move(make_link), std::move(sleep)) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The link settings in use; change them only between operations. The next operation makes the
  // backend again when the kind or its settings changed.
  LinkSettings& Settings() { return target_.Settings; }
  // The link the operations go over (0 USB, 1 COM, 2 LPT, 3 ETHERNET).
  void SetLinkKind(LinkKind kind) { target_.Kind = kind; }
  LinkKind Kind() const { return target_.Kind; }
  // Whether a link of `kind` can carry the printer's replies.
  static bool CanReceive(LinkKind kind);
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

  // Any operation of the table, its record checked by the compiler: the value is the record as
  // the operation left it (what a read brought back).
  template <CommandKind Kind>
  Outcome<typename CommandRecordFor<Kind>::type> Run(typename CommandRecordFor<Kind>::type record) {
    UseTarget();
    protocol_.SetLanguage(language_);
    int version = version_index_;
    Outcome<typename CommandRecordFor<Kind>::type> outcome;
    static_cast<Result&>(outcome) = protocol_.ExecuteCommand<Kind>(record, version);
    outcome.Value = std::move(record);
    return outcome;
  }

  // The printer operations by name.
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
  // An operation whose record goes out and does not come back.
  template <CommandKind Kind>
  Outcome<void> RunWithout(typename CommandRecordFor<Kind>::type record) {
    Outcome<void> outcome;
    static_cast<Result&>(outcome) = Run<Kind>(std::move(record));
    return outcome;
  }
  // Makes the backend again when the target changed since it was made.
  void UseTarget();

  LinkTarget target_;
  LinkMaker make_link_;
  LinkLayer link_;
  Protocol protocol_;
  bool built_ = false;
  LinkTarget built_for_;
  int version_index_ = 4;
  Language language_ = Language::kEnglish;
};

}  // namespace krt6
