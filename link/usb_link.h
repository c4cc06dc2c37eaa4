// The USB link (lkUsb): the attached device with the printer's vendor id (the first, or the one a
// selector names), its bulk endpoints, 64-byte chunks out and 64-byte packets in.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_backend.h"

namespace krt6 {

inline constexpr std::uint16_t kPrinterVendorId = 0x6f2d;

enum class UsbStatus { kOk, kTimeout, kNoDevice, kCancelled, kError };

struct UsbTransfer {
  UsbStatus Status = UsbStatus::kError;
  std::size_t Transferred = 0;
  Result Error;  // why, when Status is not kOk
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

// Which of several attached printers a USB link opens: the one at a bus-port path as the kernel
// names the device in sysfs ("1-2.3": bus 1, port 2 of the root hub, port 3 of the hub behind
// it), the one whose serial number string is `Serial`, or, both empty, the first.
struct UsbSelector {
  std::string PortPath;
  std::string Serial;
  bool Empty() const { return PortPath.empty() && Serial.empty(); }
  // "1-2.3", "serial number ABC", both joined by ", "; "any" when empty.
  std::string Describe() const;
};

// True when `text` is a bus-port path: a bus number, '-', and port numbers joined by '.'
// (decimal, 1..255, at most 7 ports).
bool IsUsbPortPath(std::string_view text);

// One attached device, as a source lists it.
struct UsbDeviceInfo {
  int Bus = 0;
  std::vector<std::uint8_t> Ports;  // from the root hub down
  std::uint16_t VendorId = 0;
  std::uint16_t ProductId = 0;
  int Address = 0;     // the device number on its bus (/dev/bus/usb/BBB/AAA)
  std::string Serial;  // the serial number string; empty when the device has none
  // "1-2.3", as sysfs names the device.
  std::string PortPath() const;
};

// Puts `devices` in the order the links choose from: bus, then port path.
void SortUsbDevices(std::vector<UsbDeviceInfo>& devices);

// Orders `devices` (SortUsbDevices) and gives the index of the first with `vendor_id` that
// `selector` matches; -1 with `error` set (kNotFound, naming the vendor id and the selector) when
// there is none.
int ChooseUsbDevice(std::vector<UsbDeviceInfo>& devices, std::uint16_t vendor_id,
                    const UsbSelector& selector, Result& error);

// Lists the attached devices and opens the printer. Asked again at every open, so a printer
// plugged in or out between two exchanges is seen at the next one.
class UsbDeviceSource {
 public:
  virtual ~UsbDeviceSource() = default;
  // The device with `vendor_id` that `selector` picks (ChooseUsbDevice), opened with its bulk
  // interface claimed; null with `error` set when there is none or it fails.
  virtual std::unique_ptr<UsbPrinterDevice> OpenPrinter(std::uint16_t vendor_id,
                                                        const UsbSelector& selector,
                                                        Result& error) = 0;
};

// The real source, on libusb-1.0. Each opened device holds its own libusb context, released with
// the device. The serial number strings come from sysfs under `sys_root`.
std::unique_ptr<UsbDeviceSource> MakeLibusbDeviceSource(std::string sys_root = "/sys");

// The USB devices with `vendor_id` as the kernel lists them in <sys_root>/bus/usb/devices
// (busnum, devnum, idVendor, idProduct, serial), in the order of ChooseUsbDevice. Needs no access
// to the device nodes.
std::vector<UsbDeviceInfo> ListSysfsUsbDevices(const std::string& sys_root,
                                               std::uint16_t vendor_id);
// The serial number string of the device at `port_path` ("1-2.3") from sysfs; empty when the
// device has none or sysfs does not say.
std::string SysfsUsbSerial(const std::string& sys_root, const std::string& port_path);

struct UsbTimings {
  int ReadMs = 5000;       // one read of a packet
  int WriteBaseMs = 5000;  // a chunk of n bytes must complete within base + n * per byte
  int WritePerByteMs = 10;
};

class UsbLink final : public LinkBackend {
 public:
  static constexpr std::size_t kPacket = 64;

  // `selector` picks the printer among several (empty: the first).
  explicit UsbLink(std::shared_ptr<UsbDeviceSource> source, UsbTimings timings = UsbTimings{},
                   UsbSelector selector = {})
      : source_(std::move(source)), timings_(timings), selector_(std::move(selector)) {}

  // Chunks of this size (0: the whole buffer); whether the printer's replies come back.
  static constexpr LinkCapabilities kCapabilities{true, 64};
  LinkCapabilities Capabilities() const override { return kCapabilities; }

  LinkHandle Open(Result& failure) override;
  std::size_t Write(LinkHandle handle, const std::uint8_t* data, std::size_t size,
                    Result& failure) override;
  std::size_t Fill(LinkHandle handle, std::uint8_t* out, std::size_t capacity,
                   std::chrono::steady_clock::time_point until, Result& failure) override;
  void Close(LinkHandle handle) override;

 private:
  std::shared_ptr<UsbDeviceSource> source_;
  UsbTimings timings_;
  UsbSelector selector_;
  std::unique_ptr<UsbPrinterDevice> device_;
  LinkHandle handle_ = kInvalidLinkHandle;
  LinkHandle next_handle_ = 1;
};

}  // namespace krt6
