// The kinds of link, each described once: what it is called, how krt6ctl writes its targets, what
// it can do, what the operator can do about a failure on it, how the rest of a target after its
// prefix is read into its settings and what names its printer, and how its backend is made from
// its own settings. The window's interface list, krt6ctl's targets, the completion and the
// sessions all read this registry (the window's setup dialogs: dialogs/link_setup.h).
//
// A kind registers itself: its <name>_link.cpp defines <Name>LinkKind(), and its name is one word
// of KRT6_LINK_KINDS in link/CMakeLists.txt (which also builds the file).
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "link/link_backend.h"
#include "link/link_settings.h"
#include "link/parallel_link.h"
#include "link/port_names.h"
#include "link/result.h"
#include "link/serial_link.h"
#include "link/tcp_link.h"
#include "link/usb_link.h"
#include "records/text_pair.h"
#include "texts/language.h"

namespace krt6 {

// What the links take from the system; anything left empty gets the real one (the fixed port
// table, libusb). Tests shorten the limits and put fakes in.
struct SystemLinkOptions {
  std::shared_ptr<const PortResolver> Ports;
  std::shared_ptr<UsbDeviceSource> Usb;
  SerialTimings Serial;
  ParallelTimings Parallel;
  UsbTimings UsbLimits;
  UsbSelector UsbDevice;  // which USB printer (empty: the first, as the window opens)
  TcpTimings Tcp;
};

// Where a krt6ctl target puts the printer: its kind, the settings its link reads and, for USB,
// which printer.
struct LinkAddress {
  LinkKind Kind = lkEthernet;
  LinkSettings Settings;    // the members the link of `Kind` reads
  std::string UsbPortPath;  // usb:BUS-PORTPATH ("1-2.3"); empty for any
  std::string UsbSerial;    // usb:?serial=STRING; empty for any
};

struct LinkKindInfo {
  LinkKind kind;
  TextPair item;  // the window's interface item; its English text names the link in messages
  std::string_view prefix;     // how krt6ctl's targets of this kind begin: "serial:"
  std::string_view uri_forms;  // how krt6ctl writes a target of this kind, for --help
  LinkCapabilities capabilities;
  // What the operator can do about `cause` on this kind; empty when there is nothing to suggest.
  std::string (*hint)(Cause cause);
  // Reads what follows `prefix` in a krt6ctl target into `address` (whose Kind is this kind);
  // empty, or why the target names no printer (a sentence naming the part at fault, in
  // `language`). Only what it has checked reaches `address`.
  std::string (*read_target)(std::string_view rest, LinkAddress& address, Language language);
  // What names the printer at `address` whichever way its target was written (two targets with
  // one key would open one printer twice); `ports` gives the devices port names reach.
  std::string (*printer_key)(const LinkAddress& address, const PortResolver& ports);
  // The backend for the printer `settings` names, with the system's parts from `options`.
  std::unique_ptr<LinkBackend> (*make)(const LinkSettings& settings,
                                       const SystemLinkOptions& options);
};

// Every kind, in the order of the window's interface list (which is LinkKind's order).
std::span<const LinkKindInfo* const> LinkKinds();
// The entry of `kind`, or of the kind whose prefix `target` begins with; nullptr when none has
// it.
const LinkKindInfo* FindLinkKind(LinkKind kind);
const LinkKindInfo* FindLinkPrefix(std::string_view target);
// "COM" for lkCom; "unknown interface" for a value that names no kind.
std::string_view LinkKindName(LinkKind kind);

// The backend of `kind` for `settings`; for a kind this build has none of, one whose every open
// fails and says so.
std::unique_ptr<LinkBackend> MakeSystemLink(LinkKind kind, const LinkSettings& settings,
                                            SystemLinkOptions options = {});

}  // namespace krt6
