// The USB device source on libusb-1.0.
#include <libusb.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "link/cancel_token.h"
#include "link/usb_link.h"

namespace krt6 {
namespace {

int ErrnoFor(int libusb_error) {
  switch (libusb_error) {
    case LIBUSB_ERROR_ACCESS: return EACCES;
    case LIBUSB_ERROR_NO_DEVICE: return ENODEV;
    case LIBUSB_ERROR_BUSY: return EBUSY;
    case LIBUSB_ERROR_TIMEOUT: return ETIMEDOUT;
    case LIBUSB_ERROR_PIPE: return EPIPE;
    case LIBUSB_ERROR_NOT_FOUND: return ENOENT;
    case LIBUSB_ERROR_NO_MEM: return ENOMEM;
    case LIBUSB_ERROR_OVERFLOW: return EOVERFLOW;
    case LIBUSB_ERROR_INTERRUPTED: return ECANCELED;  // a transfer cancelled on request
    case LIBUSB_ERROR_NOT_SUPPORTED: return ENOTSUP;
    default: return EIO;
  }
}

// A libusb failure as a link error: the cause through the errno it stands for, the library's
// name for it, and `extra` when the caller knows more.
Result Describe(const std::string& device, int libusb_error, bool opening,
                   const std::string& extra = {}) {
  const std::string name = libusb_error_name(libusb_error);
  return SystemFailure(device, ErrnoFor(libusb_error), extra.empty() ? name : name + ". " + extra,
                       opening);
}

UsbStatus StatusFor(int rc) {
  if (rc == 0) return UsbStatus::kOk;
  if (rc == LIBUSB_ERROR_TIMEOUT) return UsbStatus::kTimeout;
  if (rc == LIBUSB_ERROR_NO_DEVICE) return UsbStatus::kNoDevice;
  if (rc == LIBUSB_ERROR_INTERRUPTED) return UsbStatus::kCancelled;
  return UsbStatus::kError;
}

// The error code of a finished transfer, as the synchronous calls report it; a transfer
// cancelled on request reads as interrupted.
int ResultOf(const libusb_transfer& transfer) {
  switch (transfer.status) {
    case LIBUSB_TRANSFER_COMPLETED: return 0;
    case LIBUSB_TRANSFER_TIMED_OUT: return LIBUSB_ERROR_TIMEOUT;
    case LIBUSB_TRANSFER_CANCELLED: return LIBUSB_ERROR_INTERRUPTED;
    case LIBUSB_TRANSFER_STALL: return LIBUSB_ERROR_PIPE;
    case LIBUSB_TRANSFER_NO_DEVICE: return LIBUSB_ERROR_NO_DEVICE;
    case LIBUSB_TRANSFER_OVERFLOW: return LIBUSB_ERROR_OVERFLOW;
    default: return LIBUSB_ERROR_IO;
  }
}

// How often a running transfer looks at the cancel token: libusb's event wait cannot watch it.
constexpr long kCancelCheckMicroseconds = 50'000;

void LIBUSB_CALL MarkDone(libusb_transfer* transfer) {
  *static_cast<int*>(transfer->user_data) = 1;
}

class LibusbPrinter final : public UsbPrinterDevice {
 public:
  LibusbPrinter(libusb_context* context, libusb_device_handle* handle, int interface_number,
                std::uint8_t out, std::uint8_t in, std::size_t in_packet, std::string name)
      : context_(context),
        handle_(handle),
        interface_(interface_number),
        out_(out),
        in_(in),
        in_packet_(in_packet),
        name_(std::move(name)) {}
  ~LibusbPrinter() override {
    libusb_release_interface(handle_, interface_);
    libusb_close(handle_);
    libusb_exit(context_);
  }
  LibusbPrinter(const LibusbPrinter&) = delete;
  LibusbPrinter& operator=(const LibusbPrinter&) = delete;

  UsbTransfer BulkWrite(const std::uint8_t* data, std::size_t size, unsigned timeout_ms,
                        const CancelToken* cancel) override {
    return Transfer(out_, const_cast<std::uint8_t*>(data), size, timeout_ms, cancel, "write");
  }
  UsbTransfer BulkRead(std::uint8_t* out, std::size_t size, unsigned timeout_ms,
                       const CancelToken* cancel) override {
    return Transfer(in_, out, size, timeout_ms, cancel, "read");
  }
  std::size_t InPacketSize() const override { return in_packet_; }

 private:
  // One bulk transfer, submitted asynchronously so that a cancel can end it: the transfer is
  // cancelled through libusb and its completion awaited, so the buffer is never left in use.
  UsbTransfer Transfer(std::uint8_t endpoint, std::uint8_t* data, std::size_t size,
                       unsigned timeout_ms, const CancelToken* cancel, const char* what) {
    UsbTransfer t;
    int rc = 0;
    int done = 0;
    libusb_transfer* transfer = libusb_alloc_transfer(0);
    if (transfer == nullptr) {
      rc = LIBUSB_ERROR_NO_MEM;
    } else {
      libusb_fill_bulk_transfer(transfer, handle_, endpoint, data, static_cast<int>(size), MarkDone,
                                &done, timeout_ms);
      rc = cancel != nullptr && cancel->Cancelled() ? LIBUSB_ERROR_INTERRUPTED
                                                    : libusb_submit_transfer(transfer);
      if (rc == 0) {
        bool cancelling = false;
        while (done == 0) {
          if (!cancelling && cancel != nullptr && cancel->Cancelled()) {
            cancelling = libusb_cancel_transfer(transfer) == 0;
          }
          timeval slice{0, kCancelCheckMicroseconds};
          const int r = libusb_handle_events_timeout_completed(context_, &slice, &done);
          if (r < 0 && r != LIBUSB_ERROR_INTERRUPTED && !cancelling) {
            // The event handling broke down: stop the transfer and wait for it to finish.
            cancelling = libusb_cancel_transfer(transfer) == 0;
          }
        }
        rc = ResultOf(*transfer);
        t.Transferred =
            transfer->actual_length > 0 ? static_cast<std::size_t>(transfer->actual_length) : 0;
      }
      libusb_free_transfer(transfer);
    }
    t.Status = StatusFor(rc);
    if (rc != 0) {
      const std::string extra =
          rc == LIBUSB_ERROR_TIMEOUT
              ? std::string("No ") + what + " within " + std::to_string(timeout_ms) + " ms."
          : rc == LIBUSB_ERROR_INTERRUPTED ? std::string("Cancelled.")
                                           : std::string();
      t.Error = Describe(name_ + " " + what, rc, false, extra);
    }
    return t;
  }

  libusb_context* context_;
  libusb_device_handle* handle_;
  int interface_;
  std::uint8_t out_;
  std::uint8_t in_;
  std::size_t in_packet_;
  std::string name_;
};

class LibusbSource final : public UsbDeviceSource {
 public:
  explicit LibusbSource(std::string sys_root) : sys_root_(std::move(sys_root)) {}

  std::unique_ptr<UsbPrinterDevice> OpenPrinter(std::uint16_t vendor_id,
                                                const UsbSelector& selector,
                                                Result& error) override {
    libusb_context* context = nullptr;
    int rc = libusb_init(&context);
    if (rc != 0) {
      error = Describe("USB", rc, true, "The USB subsystem is not available.");
      error.cause = Cause::kUnavailable;
      return nullptr;
    }
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    if (count < 0) {
      error = Describe("USB", static_cast<int>(count), true);
      libusb_exit(context);
      return nullptr;
    }
    std::vector<UsbDeviceInfo> found;
    std::vector<libusb_device*> devices;
    for (ssize_t i = 0; i < count; ++i) {
      libusb_device_descriptor d{};
      if (libusb_get_device_descriptor(list[i], &d) != 0 || d.idVendor != vendor_id) continue;
      UsbDeviceInfo info;
      info.Bus = libusb_get_bus_number(list[i]);
      info.VendorId = d.idVendor;
      info.ProductId = d.idProduct;
      info.Address = libusb_get_device_address(list[i]);
      std::uint8_t ports[8];
      const int n = libusb_get_port_numbers(list[i], ports, 8);
      if (n > 0) info.Ports.assign(ports, ports + n);
      // The kernel keeps the serial number string: no need to ask the device.
      info.Serial = SysfsUsbSerial(sys_root_, info.PortPath());
      found.push_back(std::move(info));
      devices.push_back(list[i]);
    }
    std::unique_ptr<UsbPrinterDevice> printer;
    std::vector<UsbDeviceInfo> ordered = found;
    const int chosen = ChooseUsbDevice(ordered, vendor_id, selector, error);
    if (chosen >= 0) {
      const UsbDeviceInfo& info = ordered[static_cast<std::size_t>(chosen)];
      for (std::size_t i = 0; i < found.size(); ++i) {
        if (found[i].Bus == info.Bus && found[i].Address == info.Address) {  // unique on a bus
          printer = OpenDevice(context, devices[i], info, error);
          break;
        }
      }
    }
    libusb_free_device_list(list, 1);
    if (!printer) libusb_exit(context);
    return printer;
  }

 private:
  static std::unique_ptr<UsbPrinterDevice> OpenDevice(libusb_context* context,
                                                      libusb_device* device,
                                                      const UsbDeviceInfo& info, Result& error) {
    char name[128];
    std::snprintf(name, sizeof name, "USB %04x:%04x (%s, /dev/bus/usb/%03d/%03d)", info.VendorId,
                  info.ProductId, info.PortPath().c_str(), info.Bus, info.Address);
    libusb_device_handle* handle = nullptr;
    int rc = libusb_open(device, &handle);
    if (rc != 0) {
      error = Describe(name, rc, true);
      return nullptr;
    }
    libusb_config_descriptor* config = nullptr;
    rc = libusb_get_active_config_descriptor(device, &config);
    if (rc != 0) {
      error = Describe(name, rc, true);
      libusb_close(handle);
      return nullptr;
    }
    int interface_number = -1;
    int alt_setting = 0;
    std::uint8_t out = 0;
    std::uint8_t in = 0;
    std::size_t in_packet = 64;
    for (int i = 0; i < config->bNumInterfaces && interface_number < 0; ++i) {
      const libusb_interface& itf = config->interface[i];
      for (int a = 0; a < itf.num_altsetting && interface_number < 0; ++a) {
        const libusb_interface_descriptor& d = itf.altsetting[a];
        std::uint8_t o = 0, n = 0;
        std::size_t packet = 64;
        for (int e = 0; e < d.bNumEndpoints; ++e) {
          const libusb_endpoint_descriptor& ep = d.endpoint[e];
          if ((ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) continue;
          if ((ep.bEndpointAddress & LIBUSB_ENDPOINT_IN) != 0) {
            if (n == 0) {
              n = ep.bEndpointAddress;
              packet = ep.wMaxPacketSize & 0x7ff;
            }
          } else if (o == 0) {
            o = ep.bEndpointAddress;
          }
        }
        if (o != 0 && n != 0) {
          interface_number = d.bInterfaceNumber;
          alt_setting = d.bAlternateSetting;
          out = o;
          in = n;
          in_packet = packet;
        }
      }
    }
    libusb_free_config_descriptor(config);
    if (interface_number < 0) {
      error =
          Failure(Cause::kUnavailable, name, "the device has no bulk OUT and IN endpoints.");
      libusb_close(handle);
      return nullptr;
    }
    libusb_set_auto_detach_kernel_driver(handle, 1);  // not supported everywhere: not an error
    rc = libusb_claim_interface(handle, interface_number);
    if (rc != 0) {
      error = Describe(name, rc, true);
      libusb_close(handle);
      return nullptr;
    }
    if (alt_setting != 0) {
      rc = libusb_set_interface_alt_setting(handle, interface_number, alt_setting);
      if (rc != 0) {
        error = Describe(name, rc, true);
        libusb_release_interface(handle, interface_number);
        libusb_close(handle);
        return nullptr;
      }
    }
    return std::make_unique<LibusbPrinter>(context, handle, interface_number, out, in, in_packet,
                                           name);
  }

  std::string sys_root_;
};

}  // namespace

std::unique_ptr<UsbDeviceSource> MakeLibusbDeviceSource(std::string sys_root) {
  return std::make_unique<LibusbSource>(std::move(sys_root));
}

}  // namespace krt6
