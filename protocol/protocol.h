// The printer command protocol: framing, reply readers and the nine printer operations behind
// one entry point, ExecuteCommand.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "link/link_layer.h"
#include "link/posix_io.h"
#include "link/result.h"
#include "protocol/operations.h"
#include "records/records.h"
#include "texts/language.h"

namespace krt6 {

inline constexpr std::uint8_t kLF = 0x0A;
inline constexpr std::uint8_t kESC = 0x1B;

// The StatusIndex (0..24) of the two status characters of a status reply; 0 when unknown.
int DecodeStatus(char first, char second);

// Frames the first `length` bytes of `text` ('{' text '|' '}', or ESC text LF NUL when
// `esc_mode`). Always length + 3 bytes; the text is copied by length, not up to a NUL.
std::vector<std::uint8_t> FrameCommand(const char* text, std::size_t length, bool esc_mode);

// Delivers the next received byte, waiting no later than `until`; false when none came within
// the link's limit or by `until`.
using ByteReader =
    std::function<bool(std::uint8_t& byte, std::chrono::steady_clock::time_point until)>;

// A device that sends bytes forever without the start byte must not keep the reader searching
// forever: after this many discarded bytes the reply counts as not received.
inline constexpr std::size_t kMaxDiscardedBytes = 65536;

// Nor may a device that trickles bytes slowly enough to pass every read's own limit: a reply
// that is not complete this long after its command was sent counts as not received.
inline constexpr std::chrono::milliseconds kReplyTimeLimit{10000};

// When a reply must be complete: `At`, read on the clock `Now`. The default never passes.
struct ReplyDeadline {
  std::chrono::steady_clock::time_point At = std::chrono::steady_clock::time_point::max();
  SteadyClock Now = SteadyNow;
  bool Passed() const { return Now() > At; }
};

// Stores a reply of `total` bytes that begins with `start` into `buffer`, followed by a NUL
// (`buffer` holds total + 1 bytes). Bytes before `start` are discarded. Fails as soon as a byte
// comes after `deadline`.
bool ReadReply(const ByteReader& next, std::uint8_t* buffer, std::size_t total, std::uint8_t start,
               const ReplyDeadline& deadline = {});

// The same for a reply that begins with `first` directly followed by `second`. A byte after
// `first` that is not `second` is discarded and not examined as a new `first`.
bool ReadReplyPair(const ByteReader& next, std::uint8_t* buffer, std::size_t total,
                   std::uint8_t first, std::uint8_t second, const ReplyDeadline& deadline = {});

class Protocol {
 public:
  using Sleeper = std::function<void(int milliseconds)>;

  // `sleep` carries the fixed waits of some operations; tests replace it. By default they are
  // the link layer's pauses, which a cancel ends.
  explicit Protocol(LinkLayer& link, Sleeper sleep = {});
  Protocol(const Protocol&) = delete;
  Protocol& operator=(const Protocol&) = delete;

  // Runs one printer operation over the link: the record each kind takes is checked by the
  // compiler. Kinds that need a reply are refused with kReceivingError before anything is opened
  // when the link cannot receive. The result says how it ended and, on failure, why: the link's
  // own account or the protocol's sentence (in the language last set, English until then).
  template <CommandKind Kind>
  Result ExecuteCommand(typename CommandRecordFor<Kind>::type& record, int& version) {
    return Execute(Kind, &record, version);
  }

  // The same with the kind chosen at run time. A record of the wrong type gives kUnknownError,
  // as does a value that names no kind.
  Result Execute(CommandKind kind, CommandRecord record, int& version);

  // Set between exchanges, from the thread that runs them.
  void SetLanguage(Language language) { language_ = language; }
  // Frames commands with ESC ... LF NUL instead of braces.
  void SetEscFraming(bool esc) { esc_framing_ = esc; }

  // Cancels the running operation, from any thread: the link's waits end at once, the link is
  // closed, and the operation gives kCancelled. Stays in force until ClearCancel.
  void Cancel() noexcept { link_.Cancel(); }
  // Arms the protocol for the next operation: only while none runs, on the thread that cancels.
  void ClearCancel() noexcept { link_.ClearCancel(); }

  int CurrentVersionIndex() const { return version_index_; }

 private:
  // Carries out one row of the operation table: opens the link, sends each step's command and
  // reads its reply into the record, gives the printer its settling time.
  Result Run(const Operation& operation, const CommandRecord& record);
  // Frames one command with the chosen framing and writes it.
  bool SendCommand(LinkConnection& connection, const std::string& text, Result& failure);
  // Reads a reply of `shape` that must be complete kReplyTimeLimit from now: called right after
  // its command was sent.
  bool AwaitReply(LinkConnection& connection, const ReplyShape& shape, std::uint8_t* buffer,
                  Result& failure);

  LinkLayer& link_;
  Sleeper sleep_;
  int version_index_ = 4;
  Language language_ = Language::kEnglish;
  bool esc_framing_ = false;
};

}  // namespace krt6
