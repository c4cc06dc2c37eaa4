#include "link/usb_link.h"

#include <algorithm>
#include <vector>

#include "link/posix_io.h"

namespace krt6 {

LinkHandle UsbLink::Open(const LinkSettingsView&) {
  last_error_ = {};
  device_.reset();
  handle_ = kInvalidLinkHandle;
  if (!source_) {
    last_error_ = Failure(LinkCause::kUnavailable, {}, "USB is not available.");
    return kInvalidLinkHandle;
  }
  LinkError error;
  device_ = source_->OpenPrinter(kPrinterVendorId, error);
  if (!device_) {
    last_error_ = error.Failed()
                      ? error
                      : Failure(LinkCause::kNotFound, {}, "No printer is attached over USB.");
    return kInvalidLinkHandle;
  }
  handle_ = next_handle_++;
  if (next_handle_ > 0x7fffffff) next_handle_ = 1;
  return handle_;
}

std::size_t UsbLink::Write(LinkHandle handle, const std::uint8_t* data, std::size_t size) {
  if (!device_ || handle != handle_) return 0;
  const auto limit = static_cast<unsigned>(timings_.WriteBaseMs) +
                     static_cast<unsigned>(timings_.WritePerByteMs) * static_cast<unsigned>(size);
  const UsbTransfer t = device_->BulkWrite(data, size, limit, Cancellation());
  if (t.Status != UsbStatus::kOk) {
    last_error_ = t.Error;
    return std::min(t.Transferred, size);
  }
  return std::min(t.Transferred, size);
}

std::size_t UsbLink::Fill(LinkHandle handle, std::uint8_t* out, std::size_t capacity,
                          std::chrono::steady_clock::time_point until) {
  if (!device_ || handle != handle_ || capacity == 0) return 0;
  // The read's own limit, cut short by the caller's; never 0, which would mean "no limit".
  const int limit =
      std::min(timings_.ReadMs, MillisecondsUntil(until, std::chrono::steady_clock::now()));
  if (limit <= 0) {
    last_error_ = Failure(LinkCause::kTimedOut, "USB read", "no time left for the reply.");
    return 0;
  }
  // Ask for a whole packet: a smaller request overflows when the printer sends a full one.
  const std::size_t ask = std::max(kPacket, device_->InPacketSize());
  std::vector<std::uint8_t> packet(ask);
  const UsbTransfer t =
      device_->BulkRead(packet.data(), ask, static_cast<unsigned>(limit), Cancellation());
  if (t.Status != UsbStatus::kOk && t.Transferred == 0) {
    last_error_ = t.Error;
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
