#include "link/usb_link.h"

#include "link/link_kinds.h"
#include "link/target_forms.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "link/posix_io.h"

namespace krt6 {

std::string UsbSelector::Describe() const {
  std::string text = PortPath;
  if (!Serial.empty()) text += (text.empty() ? "" : ", ") + std::string("serial number ") + Serial;
  return text.empty() ? "any" : text;
}

bool IsUsbPortPath(std::string_view text) {
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos) return false;
  // A number of 1..3 digits without a leading zero, at most `max`.
  auto number = [](std::string_view n, int max) {
    if (n.empty() || n.size() > 3 || n[0] == '0') return false;
    int value = 0;
    for (char c : n) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    return value <= max;
  };
  if (!number(text.substr(0, dash), 255)) return false;
  std::string_view ports = text.substr(dash + 1);
  int count = 0;
  while (true) {
    const std::size_t dot = ports.find('.');
    if (!number(ports.substr(0, dot), 255) || ++count > 7) return false;
    if (dot == std::string_view::npos) return true;
    ports.remove_prefix(dot + 1);
  }
}

std::string UsbDeviceInfo::PortPath() const {
  std::string path = std::to_string(Bus) + "-";
  for (std::size_t i = 0; i < Ports.size(); ++i) {
    path += (i ? "." : "") + std::to_string(Ports[i]);
  }
  return path;
}

void SortUsbDevices(std::vector<UsbDeviceInfo>& devices) {
  std::stable_sort(devices.begin(), devices.end(),
                   [](const UsbDeviceInfo& a, const UsbDeviceInfo& b) {
                     return a.Bus != b.Bus ? a.Bus < b.Bus : a.Ports < b.Ports;
                   });
}

int ChooseUsbDevice(std::vector<UsbDeviceInfo>& devices, std::uint16_t vendor_id,
                    const UsbSelector& selector, Result& error) {
  SortUsbDevices(devices);
  std::string others;  // the printers attached elsewhere, for the operator to pick from
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const UsbDeviceInfo& d = devices[i];
    if (d.VendorId != vendor_id) continue;
    if ((selector.PortPath.empty() || d.PortPath() == selector.PortPath) &&
        (selector.Serial.empty() || d.Serial == selector.Serial)) {
      return static_cast<int>(i);
    }
    others += (others.empty() ? "" : ", ") + d.PortPath();
    if (!d.Serial.empty()) others += " (serial number " + d.Serial + ")";
  }
  char text[96];
  std::snprintf(text, sizeof text, "No USB device with vendor id %04x is attached", vendor_id);
  std::string detail = text;
  if (!selector.Empty()) {
    detail += " at " + selector.Describe();
    if (!others.empty()) detail += "; attached: " + others;
  }
  error = Failure(Cause::kNotFound, {}, detail + ".");
  return -1;
}

LinkHandle UsbLink::Open(Result& failure) {
  device_.reset();
  handle_ = kInvalidLinkHandle;
  if (!source_) {
    failure = Failure(Cause::kUnavailable, {}, "USB is not available.");
    return kInvalidLinkHandle;
  }
  Result error;
  device_ = source_->OpenPrinter(kPrinterVendorId, selector_, error);
  if (!device_) {
    failure =
        error.Failed() ? error : Failure(Cause::kNotFound, {}, "No printer is attached over USB.");
    return kInvalidLinkHandle;
  }
  handle_ = next_handle_++;
  if (next_handle_ > 0x7fffffff) next_handle_ = 1;
  return handle_;
}

std::size_t UsbLink::Write(LinkHandle handle, const std::uint8_t* data, std::size_t size,
                           Result& failure) {
  if (!device_ || handle != handle_) return 0;
  const auto limit = static_cast<unsigned>(timings_.WriteBaseMs) +
                     static_cast<unsigned>(timings_.WritePerByteMs) * static_cast<unsigned>(size);
  const UsbTransfer t = device_->BulkWrite(data, size, limit, Cancellation());
  if (t.Status != UsbStatus::kOk) {
    failure = t.Error;
    return std::min(t.Transferred, size);
  }
  return std::min(t.Transferred, size);
}

std::size_t UsbLink::Fill(LinkHandle handle, std::uint8_t* out, std::size_t capacity,
                          std::chrono::steady_clock::time_point until, Result& failure) {
  if (!device_ || handle != handle_ || capacity == 0) return 0;
  // The read's own limit, cut short by the caller's; never 0, which would mean "no limit".
  const int limit =
      std::min(timings_.ReadMs, MillisecondsUntil(until, std::chrono::steady_clock::now()));
  if (limit <= 0) {
    failure = Failure(Cause::kTimedOut, "USB read", "no time left for the reply.");
    return 0;
  }
  // Ask for a whole packet: a smaller request overflows when the printer sends a full one.
  const std::size_t ask = std::max(kPacket, device_->InPacketSize());
  std::vector<std::uint8_t> packet(ask);
  const UsbTransfer t =
      device_->BulkRead(packet.data(), ask, static_cast<unsigned>(limit), Cancellation());
  if (t.Status != UsbStatus::kOk && t.Transferred == 0) {
    failure = t.Error;
    return 0;
  }
  const std::size_t got = std::min({t.Transferred, ask, capacity});
  std::copy_n(packet.begin(), got, out);
  return got;
}

void UsbLink::Close(LinkHandle handle) {
  if (handle == handle_) {
    device_.reset();
    handle_ = kInvalidLinkHandle;
  }
}

}  // namespace krt6

namespace krt6 {
namespace {

std::string UsbHint(Cause cause) {
  switch (cause) {
    case Cause::kPermission:
      return "Install the udev rule SUBSYSTEM==\"usb\", ATTRS{idVendor}==\"6f2d\", "
             "MODE=\"0660\", TAG+=\"uaccess\" (e.g. /etc/udev/rules.d/70-krt6.rules), then "
             "plug the printer in again.";
    case Cause::kBusy: return "The printer is held by another program.";
    case Cause::kNotFound: return "Check that the printer is connected and switched on.";
    case Cause::kGone: return "The printer was unplugged.";
    default: return {};
  }
}

}  // namespace

const LinkKindInfo& UsbLinkKind() {
  static const LinkKindInfo kind{
      .kind = lkUsb,
      .item = {"USB", "USB"},
      .prefix = "usb:",
      .uri_forms = "usb:, usb:BUS-PORTPATH, usb:?serial=STRING",
      .capabilities = UsbLink::kCapabilities,
      .hint = UsbHint,
      .read_target = ReadUsbTarget,
      .printer_key = UsbPrinterKey,
      .make = [](const LinkSettings&,
                 const SystemLinkOptions& options) -> std::unique_ptr<LinkBackend> {
        return std::make_unique<UsbLink>(options.Usb ? options.Usb : MakeLibusbDeviceSource(),
                                         options.UsbLimits, options.UsbDevice);
      }};
  return kind;
}

}  // namespace krt6
