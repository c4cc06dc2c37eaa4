// The printer's side of the command protocol: it takes the bytes a setting tool sends, finds the
// framed commands in them, keeps the printer's settings and builds the fixed-length replies.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace krt6::emulator {

struct LanState {
  char Flag = '1';
  int Ip[4] = {192, 168, 10, 20};
  int Gateway[4] = {0, 0, 0, 0};
  int Mask[4] = {255, 255, 255, 0};
  char PortMode = '1';
  int Port = 8000;
  bool Dhcp = false;
  std::string DhcpId = std::string(32, 'F');  // the 32 characters as last received
  std::string HostName;                       // at most 16 characters
};

struct PrinterState {
  std::string Firmware = "1.0J";
  char Status[2] = {'0', '0'};
  // What the "Z5;1" reply carries from byte 4 on: the characters of positions 5..28 of the last
  // "Z2;1," command, kept as they came (the font code digit is the one the tool sent).
  std::string Parameters1 = "0021002010000000B0000000";
  // What the "Z5;0" reply carries from byte 4 on: positions 5..41 of the last "Z2;2," command.
  std::string Parameters2 = "+000+000+00+000-00+00-00+000000323202";
  LanState Lan;
};

// How a reply is spoiled, for testing how a tool copes.
struct Faults {
  bool NoReply = false;     // commands are taken, nothing is answered
  int CutAfter = -1;        // only the first N bytes of each reply are sent
  std::string Noise;        // bytes sent before each reply
  int DelayMs = 0;          // the wait before each reply
  int WvWithoutMarker = 0;  // the first N "WV" replies lack the "V" marker
  enum class Hangup { kNone, kClose, kReset } HangupAfterReply = Hangup::kNone;
  int TrickleMs = 0;        // the pause between two reply bytes
  bool Stall = false;       // serial: XOFF for every command; TCP and FIFO: stop reading
  int LineRate = 0;         // serial: pace commands and replies at this rate (10 bits a byte)
  bool IgnoreSets = false;  // Set commands are taken (and logged) but change nothing
};

struct ReceivedCommand {
  std::vector<std::uint8_t> Raw;  // the frame as it came, start and end bytes included
  std::string Text;               // the command text between the frame bytes
  bool EscFraming = false;
  // Filled in by the emulator (the model has no clock): when the command's first byte was read,
  // and when the line had carried its last byte (on a paced line, one byte after another at the
  // line's rate; otherwise when it was read).
  std::chrono::steady_clock::time_point Arrived{};
  std::chrono::steady_clock::time_point LineDone{};
};

struct Reply {
  std::string Command;
  std::vector<std::uint8_t> Bytes;
};

// Finds the framed commands ("{text|}" or ESC text LF NUL) in a byte stream that may arrive in
// pieces; bytes outside a frame are line noise. One per stream: a printer with several
// connections frames each on its own.
class CommandFramer {
 public:
  static constexpr std::size_t kMaxText = 32768;

  // Appends every command completed by these bytes. With `ends`, also the offset in `data` just
  // past each command's last byte.
  void Feed(const std::uint8_t* data, std::size_t size, std::vector<ReceivedCommand>& commands,
            std::vector<std::size_t>* ends = nullptr);
  // True while a frame has begun and not yet ended.
  bool InFrame() const { return frame_ != Frame::kIdle; }

 private:
  enum class Frame { kIdle, kBrace, kBraceBar, kEsc, kEscLf };
  void Complete(std::vector<ReceivedCommand>& commands, std::vector<std::size_t>* ends,
                std::size_t end);

  Frame frame_ = Frame::kIdle;
  std::vector<std::uint8_t> raw_;
  std::string text_;
  bool esc_ = false;
};

class PrinterModel {
 public:
  static constexpr std::size_t kMaxText = CommandFramer::kMaxText;

  explicit PrinterModel(PrinterState state = PrinterState{}) : state_(std::move(state)) {}

  // Takes received bytes. Every complete command is recorded and applied; the replies of those
  // that have one are appended to `replies` in order.
  void Feed(const std::uint8_t* data, std::size_t size, std::vector<ReceivedCommand>& commands,
            std::vector<Reply>& replies);

  // Applies one command text (framed elsewhere); its reply, if it has one, is appended.
  void Execute(const std::string& text, std::vector<Reply>& replies);

  const PrinterState& State() const { return state_; }
  PrinterState& MutableState() { return state_; }

  // The replies, built from the current state.
  std::vector<std::uint8_t> StatusReply() const;                   // "WS": 13 bytes from SOH
  std::vector<std::uint8_t> VersionReply(bool with_marker) const;  // "WV": 27 bytes from SOH STX
  std::vector<std::uint8_t> Parameters0Reply() const;              // "Z5;0": 44, or 42 before 1.0J
  std::vector<std::uint8_t> Parameters1Reply() const;              // "Z5;1": 30
  std::vector<std::uint8_t> LanReply() const;                      // "Z5;3": 99

  // True for firmware texts 1.0B to 1.0I, whose "Z5;0" reply is 42 bytes long.
  static bool ShortParameterReply(const std::string& firmware);

  // The next `count` "WV" queries are answered without the marker.
  void SetVersionRepliesWithoutMarker(int count) { wv_without_marker_left_ = count; }
  // A printer that takes Set commands (parameters, LAN settings, host name) without applying
  // them: what a read-back afterwards shows is what was there before.
  void SetIgnoreSets(bool ignore) { ignore_sets_ = ignore; }

 private:
  PrinterState state_;
  CommandFramer framer_;
  int wv_without_marker_left_ = 0;
  bool ignore_sets_ = false;
};

}  // namespace krt6::emulator
