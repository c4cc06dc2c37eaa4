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
  // The port `port_name` names (LPT1..LPT4 or a device path), through `resolver`.
  explicit ParallelLink(std::shared_ptr<const PortResolver> resolver,
                        ParallelTimings timings = ParallelTimings{}, std::string port_name = "LPT1")
      : resolver_(std::move(resolver)), timings_(timings), port_name_(std::move(port_name)) {}
  ~ParallelLink() override;

  // Chunks of this size (0: the whole buffer); whether the printer's replies come back.
  static constexpr LinkCapabilities kCapabilities{false, 0};
  LinkCapabilities Capabilities() const override { return kCapabilities; }

  LinkHandle Open(Result& failure) override;
  std::size_t Write(LinkHandle handle, const std::uint8_t* data, std::size_t size,
                    Result& failure) override;
  std::size_t Fill(LinkHandle, std::uint8_t*, std::size_t, std::chrono::steady_clock::time_point,
                   Result& failure) override {
    failure = Failure(Cause::kCannotReceive, device_, "a parallel port carries no replies.");
    return 0;
  }
  void Close(LinkHandle handle) override;

 private:
  std::shared_ptr<const PortResolver> resolver_;
  ParallelTimings timings_;
  std::string port_name_;
  std::set<int> open_;
  std::string device_;
};

}  // namespace krt6
