// Helpers for tests that run the real links against real OS objects: a port table that points
// at test devices, descriptor counting, and a pseudo terminal whose master the test holds.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/port_names.h"
#include "link/usb_link.h"

namespace krt6::testing {

// Resolves the names it was given to the paths it was given; everything else names nothing.
class MapPorts final : public PortResolver {
 public:
  std::map<std::string, std::string> Serial;
  std::map<std::string, std::string> Parallel;
  std::string SerialDevice(const std::string& name) const override {
    auto it = Serial.find(name);
    return it == Serial.end() ? std::string() : it->second;
  }
  std::string ParallelDevice(const std::string& name) const override {
    auto it = Parallel.find(name);
    return it == Parallel.end() ? std::string() : it->second;
  }
};

// A machine without the printer on USB: every USB open finds nothing.
class NoUsb final : public UsbDeviceSource {
 public:
  std::unique_ptr<UsbPrinterDevice> OpenPrinter(std::uint16_t, const UsbSelector&,
                                                Result& error) override {
    error = Failure(Cause::kNotFound, {}, "No USB device with vendor id 6f2d is attached.");
    return nullptr;
  }
};

// The number of open descriptors of this process.
inline int OpenDescriptorCount() {
  int count = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (dirent* e = ::readdir(d)) {
      if (e->d_name[0] != '.') ++count;
    }
    ::closedir(d);
  }
  return count - 1;  // the directory stream itself
}

// A pseudo terminal: the code under test opens SlavePath(), the test holds the master.
class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) == 0) slave_ = name;
  }
  ~Pty() { CloseMaster(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool Ok() const { return master_ >= 0 && !slave_.empty(); }
  int Master() const { return master_; }
  const std::string& SlavePath() const { return slave_; }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  void Send(const std::string& bytes) const {
    [[maybe_unused]] ssize_t n = ::write(master_, bytes.data(), bytes.size());
  }
  // Reads what the code under test wrote, waiting up to `ms` for the first byte.
  std::string Receive(int ms = 500) const {
    std::string out;
    pollfd p{master_, POLLIN, 0};
    int wait = ms;
    char buffer[4096];
    while (::poll(&p, 1, wait) > 0 && (p.revents & POLLIN) != 0) {
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      out.append(buffer, static_cast<std::size_t>(n));
      wait = 20;
    }
    return out;
  }
  termios Attributes() const {
    termios t{};
    ::tcgetattr(master_, &t);
    return t;
  }

 private:
  int master_ = -1;
  std::string slave_;
};

inline double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace krt6::testing
