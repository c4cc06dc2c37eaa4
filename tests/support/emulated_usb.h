// A USB device source whose printer is the emulator's model: what the link writes goes to the
// model, its replies come back as bulk IN packets. Faults are set on the shared state.
#pragma once

#include <cerrno>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "emulator/printer_model.h"
#include "link/usb_link.h"

namespace krt6::testing {

struct EmulatedUsbState {
  emulator::PrinterModel model;
  std::vector<emulator::ReceivedCommand> commands;
  std::deque<std::uint8_t> pending;  // reply bytes not yet read
  bool absent = false;
  Result open_error =
      Failure(Cause::kNotFound, {}, "No USB device with vendor id 6f2d is attached.");
  bool no_reply = false;
  bool unplug_on_read = false;
  std::size_t write_accept_limit = SIZE_MAX;
  int opens = 0;
  int devices_alive = 0;
  std::vector<std::size_t> write_sizes;
  std::vector<unsigned> write_timeouts;
  std::vector<std::size_t> read_sizes;
  std::vector<unsigned> read_timeouts;
};

class EmulatedUsbPrinter final : public UsbPrinterDevice {
 public:
  explicit EmulatedUsbPrinter(std::shared_ptr<EmulatedUsbState> s) : s_(std::move(s)) {
    ++s_->devices_alive;
  }
  ~EmulatedUsbPrinter() override { --s_->devices_alive; }
  UsbTransfer BulkWrite(const std::uint8_t* data, std::size_t size, unsigned timeout_ms,
                        const CancelToken*) override {
    s_->write_sizes.push_back(size);
    s_->write_timeouts.push_back(timeout_ms);
    const std::size_t taken = std::min(size, s_->write_accept_limit);
    std::vector<emulator::Reply> replies;
    s_->model.Feed(data, taken, s_->commands, replies);
    if (!s_->no_reply) {
      for (const auto& r : replies)
        s_->pending.insert(s_->pending.end(), r.Bytes.begin(), r.Bytes.end());
    }
    if (taken < size)
      return {UsbStatus::kTimeout, taken,
              Failure(Cause::kTimedOut, "USB test printer write", "timed out")};
    return {UsbStatus::kOk, taken, {}};
  }
  UsbTransfer BulkRead(std::uint8_t* out, std::size_t size, unsigned timeout_ms,
                       const CancelToken*) override {
    s_->read_sizes.push_back(size);
    s_->read_timeouts.push_back(timeout_ms);
    if (s_->unplug_on_read)
      return {UsbStatus::kNoDevice, 0, SystemFailure("USB test printer read", ENODEV)};
    if (s_->pending.empty())
      return {UsbStatus::kTimeout, 0,
              Failure(Cause::kTimedOut, "USB test printer read", "timed out")};
    std::size_t n = 0;
    while (n < size && n < 64 && !s_->pending.empty()) {
      out[n++] = s_->pending.front();
      s_->pending.pop_front();
    }
    return {UsbStatus::kOk, n, {}};
  }
  std::size_t InPacketSize() const override { return 64; }

 private:
  std::shared_ptr<EmulatedUsbState> s_;
};

class EmulatedUsbSource final : public UsbDeviceSource {
 public:
  explicit EmulatedUsbSource(std::shared_ptr<EmulatedUsbState> s) : s_(std::move(s)) {}
  std::unique_ptr<UsbPrinterDevice> OpenPrinter(std::uint16_t vendor_id, const UsbSelector&,
                                                Result& error) override {
    ++s_->opens;
    if (s_->absent || vendor_id != kPrinterVendorId) {
      error = s_->open_error;
      return nullptr;
    }
    return std::make_unique<EmulatedUsbPrinter>(s_);
  }

 private:
  std::shared_ptr<EmulatedUsbState> s_;
};

}  // namespace krt6::testing
