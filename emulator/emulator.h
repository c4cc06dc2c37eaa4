// K-RT6 printers on the other end of TCP connections, a pseudo terminal or a FIFO. One thread
// serves every printer and every connection with non-blocking descriptors, so no client can hold
// up another; tests read back every command a printer received.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
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
  // TCP: this many printers, on consecutive ports from Port (with Port 0 each takes a free port),
  // each with its own state; log lines are then tagged with the printer's port.
  int Count = 1;
  // Printer n (from 0) gets the IP address plus n and the host name "<name>-<n+1, 4 digits>"
  // (<name> the given host name, or "KRT6"), so that a read shows which printer answered.
  bool Vary = false;
  // TCP: a connection that carries nothing either way for this long is closed; 0 keeps it.
  int IdleLimitMs = 60000;
  // Keep every command and byte received for Commands() and ReceivedBytes(); a long-running
  // program turns it off so that its memory stays flat.
  bool Record = true;
};

// Why `path` cannot take the emulator's symlink to its pseudo terminal: something exists there
// that is not such a link (a link into /dev/pts/). Empty when the path is free or such a link.
std::string PtyLinkProblem(const std::string& path);
// Why `path` cannot be the parallel port's FIFO: something exists there that is not a FIFO.
std::string FifoProblem(const std::string& path);

class Emulator {
 public:
  explicit Emulator(EmulatorOptions options);
  ~Emulator();
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  // Opens the transport and starts serving. False with `error` set when it cannot.
  bool Start(std::string& error);
  // Stops serving and closes everything; within milliseconds whatever the clients do. What it
  // made goes: the pseudo terminal's link, a FIFO it created.
  void Stop();

  int Count() const { return static_cast<int>(printers_.size()); }
  int Port(int printer = 0) const;                           // TCP
  const std::string& DevicePath() const { return device_; }  // pty slave or FIFO path

  // What printer `printer` (from 0) received and holds.
  std::vector<ReceivedCommand> Commands(int printer = 0) const;
  std::vector<std::string> CommandTexts(int printer = 0) const;
  std::vector<std::uint8_t> ReceivedBytes(int printer = 0) const;  // frames and noise alike
  int Connections(int printer = 0) const;                          // connections accepted so far
  PrinterState State(int printer = 0) const;
  // The faults of every printer from now on.
  void SetFaults(const Faults& faults);
  // The two status characters printer `printer` (from 0; -1: every printer) answers WS with from
  // now on; false for a printer it does not have.
  bool SetStatus(int printer, char first, char second);
  void ClearLog();

 private:
  struct Watched;
  struct Printer;
  struct Connection;
  using Clock = std::chrono::steady_clock;

  bool StartTcp(std::string& error);
  bool StartPty(std::string& error);
  bool StartFifo(std::string& error);
  void Run();
  // Registers `fd` for `events` with the serving thread's epoll set (0: not at all).
  bool Watch(Watched& w, int fd, std::uint32_t events);
  void Accept(Printer& printer, Clock::time_point now);
  void Receive(Connection& c, Clock::time_point now);
  void Process(Connection& c, const std::uint8_t* data, std::size_t size, Clock::time_point now);
  void Queue(Connection& c, const std::vector<std::uint8_t>& bytes, Clock::time_point ready,
             const Faults& f);
  void Flush(Connection& c, Clock::time_point now);
  void Close(Connection& c, const char* why);
  void Hangup(Connection& c, Faults::Hangup kind);
  void RemovePtyLink();
  void RemoveOwnFifo();
  void Note(const Printer* printer, const std::string& line) const;

  EmulatorOptions options_;
  mutable std::mutex mutex_;  // guards the printers' state, logs and the faults
  Faults faults_;
  std::vector<std::unique_ptr<Printer>> printers_;
  std::vector<std::unique_ptr<Connection>> connections_;  // the serving thread's own
  std::thread thread_;
  int wake_[2] = {-1, -1};
  int epoll_fd_ = -1;
  int slave_hold_fd_ = -1;
  int fifo_hold_fd_ = -1;
  std::string device_;
  // The FIFO this emulator created (not one that was there before), removed at the end.
  bool fifo_made_ = false;
  dev_t fifo_device_ = 0;
  ino_t fifo_inode_ = 0;
  std::atomic<bool> stopping_{false};
};

// Formats bytes as hexadecimal pairs and as text with control characters escaped, for logs.
std::string HexDump(const std::vector<std::uint8_t>& bytes);
std::string Printable(const std::vector<std::uint8_t>& bytes);

}  // namespace krt6::emulator
