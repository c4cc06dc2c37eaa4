// The USB link (lkUsb): the first attached device with the printer's vendor id, its bulk
// endpoints, 64-byte chunks out and 64-byte packets in.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "link/link_backend.h"

namespace krt6 {

inline constexpr std::uint16_t kPrinterVendorId = 0x6f2d;

enum class UsbStatus { kOk, kTimeout, kNoDevice, kCancelled, kError };

struct UsbTransfer {
  UsbStatus Status = UsbStatus::kError;
  std::size_t Transferred = 0;
  LinkError Error;  // why, when Status is not kOk
};

// An opened printer: its bulk OUT and IN endpoints, claimed. A transfer ends at its time limit
// (`timeout_ms`, at least 1) or as soon as `cancel` (may be null) is cancelled, with kCancelled
// and what was transferred until then.
class UsbPrinterDevice {
 public:
  virtual ~UsbPrinterDevice() = default;
  virtual UsbTransfer BulkWrite(const std::uint8_t* data, std::size_t size, unsigned timeout_ms,
                                const CancelToken* cancel) = 0;
  // Asks for `size` bytes; `size` is at least one full packet.
  virtual UsbTransfer BulkRead(std::uint8_t* out, std::size_t size, unsigned timeout_ms,
                               const CancelToken* cancel) = 0;
  // The largest packet of the IN endpoint.
  virtual std::size_t InPacketSize() const = 0;
};

// Lists the attached devices and opens the printer. Asked again at every open, so a printer
// plugged in or out between two exchanges is seen at the next one.
class UsbDeviceSource {
 public:
  virtual ~UsbDeviceSource() = default;
  // The first present device with `vendor_id` in a stable order (bus, then port path), opened
  // with its bulk interface claimed; null with `error` set when there is none or it fails.
  virtual std::unique_ptr<UsbPrinterDevice> OpenPrinter(std::uint16_t vendor_id,
                                                        LinkError& error) = 0;
};

// The real source, on libusb-1.0. Each opened device holds its own libusb context, released with
// the device.
std::unique_ptr<UsbDeviceSource> MakeLibusbDeviceSource();

struct UsbTimings {
  int ReadMs = 5000;       // one read of a packet
  int WriteBaseMs = 5000;  // a chunk of n bytes must complete within base + n * per byte
  int WritePerByteMs = 10;
};

class UsbLink final : public LinkBackend {
 public:
  static constexpr std::size_t kPacket = 64;

  explicit UsbLink(std::shared_ptr<UsbDeviceSource> source, UsbTimings timings = UsbTimings{})
      : source_(std::move(source)), timings_(timings) {}

  // Chunks of this size (0: the whole buffer); whether the printer's replies come back.
  static constexpr LinkCapabilities kCapabilities{true, 64};
  LinkCapabilities Capabilities() const override { return kCapabilities; }

  LinkHandle Open(const LinkSettingsView& settings) override;
  std::size_t Write(LinkHandle handle, const std::uint8_t* data, std::size_t size) override;
  std::size_t Fill(LinkHandle handle, std::uint8_t* out, std::size_t capacity,
                   std::chrono::steady_clock::time_point until) override;
  void Close(LinkHandle handle) override;
  LinkError LastError() const override { return last_error_; }

 private:
  std::shared_ptr<UsbDeviceSource> source_;
  UsbTimings timings_;
  std::unique_ptr<UsbPrinterDevice> device_;
  LinkHandle handle_ = kInvalidLinkHandle;
  LinkHandle next_handle_ = 1;
  LinkError last_error_;
};

}  // namespace krt6
