// The parallel link (lkLpt): a write-only device node.
#pragma once

#include <chrono>
#include <memory>
#include <set>
#include <string>

#include "link/link_backend.h"
#include "link/port_names.h"

namespace krt6 {

struct ParallelTimings {
  int WriteBaseMs = 5000;  // a write of n bytes must complete within base + n * per byte
  int WritePerByteMs = 10;
  int RetryMs = 5;  // the pause between two attempts while the printer takes nothing
};

class ParallelLink final : public LinkBackend {
 public:
  explicit ParallelLink(std::shared_ptr<const PortResolver> resolver,
                        ParallelTimings timings = ParallelTimings{})
      : resolver_(std::move(resolver)), timings_(timings) {}
  ~ParallelLink() override;

  // Chunks of this size (0: the whole buffer); whether the printer's replies come back.
  static constexpr LinkCapabilities kCapabilities{false, 0};
  LinkCapabilities Capabilities() const override { return kCapabilities; }

  LinkHandle Open(const LinkSettingsView& settings) override;
  std::size_t Write(LinkHandle handle, const std::uint8_t* data, std::size_t size) override;
  std::size_t Fill(LinkHandle, std::uint8_t*, std::size_t,
                   std::chrono::steady_clock::time_point) override {
    return 0;
  }
  void Close(LinkHandle handle) override;
  Result LastError() const override { return last_error_; }

 private:
  std::shared_ptr<const PortResolver> resolver_;
  ParallelTimings timings_;
  std::set<int> open_;
  std::string device_;
  Result last_error_;
};

}  // namespace krt6
