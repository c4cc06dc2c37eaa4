// A K-RT6 printer on the other end of a TCP connection, a pseudo terminal or a FIFO. Runs on its
// own thread; tests read back every command it received.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/printer_model.h"

namespace krt6::emulator {

enum class Transport { kTcp, kPty, kFifo };

struct EmulatorOptions {
  Transport Kind = Transport::kTcp;
  std::string Host = "127.0.0.1";  // TCP: the address to listen on
  int Port = 8000;                 // TCP: 0 picks a free port
  std::string Path;                // pty: a symlink to place to the slave; FIFO: the FIFO's path
  PrinterState Printer;
  Faults Spoil;
  std::function<void(const std::string&)> Log;  // one line per event; may be empty
};

class Emulator {
 public:
  explicit Emulator(EmulatorOptions options);
  ~Emulator();
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  // Opens the transport and starts serving. False with `error` set when it cannot.
  bool Start(std::string& error);
  void Stop();

  int Port() const { return port_; }                         // TCP
  const std::string& DevicePath() const { return device_; }  // pty slave or FIFO path

  std::vector<ReceivedCommand> Commands() const;
  std::vector<std::string> CommandTexts() const;
  std::vector<std::uint8_t> ReceivedBytes() const;  // every byte, frames and noise alike
  int Connections() const { return connections_.load(); }
  PrinterState State() const;
  void SetFaults(const Faults& faults);
  void ClearLog();

 private:
  void Run();
  // Records and applies what arrived; true when it completed at least one command.
  bool Serve(const std::vector<std::uint8_t>& pending, std::vector<Reply>& replies,
             std::size_t& command_bytes);
  bool Respond(int fd, const std::vector<Reply>& replies, std::size_t command_bytes);
  bool WaitMs(int milliseconds);  // false when stopping
  bool SendPaced(int fd, const std::uint8_t* data, std::size_t size, const Faults& faults,
                 std::chrono::steady_clock::time_point& line_free);
  void Hangup(int& fd, bool reset);
  void Note(const std::string& line);

  EmulatorOptions options_;
  mutable std::mutex mutex_;
  PrinterModel model_;
  Faults faults_;
  std::vector<ReceivedCommand> commands_;
  std::vector<std::uint8_t> received_;
  std::thread thread_;
  int wake_[2] = {-1, -1};
  int listen_fd_ = -1;
  int master_fd_ = -1;
  int slave_hold_fd_ = -1;
  int fifo_fd_ = -1;
  int fifo_hold_fd_ = -1;
  int port_ = 0;
  std::string device_;
  std::atomic<int> connections_{0};
  std::atomic<bool> stopping_{false};
};

// Formats bytes as hexadecimal pairs and as text with control characters escaped, for logs.
std::string HexDump(const std::vector<std::uint8_t>& bytes);
std::string Printable(const std::vector<std::uint8_t>& bytes);

}  // namespace krt6::emulator
