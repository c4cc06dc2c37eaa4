#include "emulator/printer_model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace krt6::emulator {
namespace {

constexpr std::uint8_t kSOH = 0x01;
constexpr std::uint8_t kSTX = 0x02;
constexpr std::uint8_t kETX = 0x03;
constexpr std::uint8_t kLF = 0x0A;
constexpr std::uint8_t kESC = 0x1B;

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

void Put(std::vector<std::uint8_t>& out, std::size_t at, const std::string& text) {
  for (std::size_t i = 0; i < text.size() && at + i < out.size(); ++i) {
    out[at + i] = static_cast<std::uint8_t>(text[i]);
  }
}

std::string Digits(int value, int width) {
  char buffer[16];
  const int clamped = std::clamp(value, 0, width == 3 ? 999 : 99999);
  std::snprintf(buffer, sizeof buffer, "%0*d", width, clamped);
  return buffer;
}

// "a,b,c,d" after the "IP;N," prefix: four numbers.
void ParseAddress(const std::string& text, int (&out)[4]) {
  std::size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    const std::size_t comma = text.find(',', pos);
    out[i] = std::clamp(std::atoi(text.substr(pos, comma - pos).c_str()), 0, 999);
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
}

}  // namespace

bool PrinterModel::ShortParameterReply(const std::string& firmware) {
  return firmware.size() >= 4 && StartsWith(firmware, "1.0") && firmware[3] >= 'B' &&
         firmware[3] <= 'I';
}

void CommandFramer::Feed(const std::uint8_t* data, std::size_t size,
                         std::vector<ReceivedCommand>& commands, std::vector<std::size_t>* ends) {
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t b = data[i];
    switch (frame_) {
      case Frame::kIdle:
        if (b == '{' || b == kESC) {
          frame_ = b == '{' ? Frame::kBrace : Frame::kEsc;
          esc_ = b == kESC;
          raw_.assign(1, b);
          text_.clear();
        }
        break;  // bytes outside a frame are line noise
      case Frame::kBrace:
        raw_.push_back(b);
        if (b == '|') {
          frame_ = Frame::kBraceBar;
        } else {
          text_.push_back(static_cast<char>(b));
        }
        break;
      case Frame::kBraceBar:
        raw_.push_back(b);
        if (b == '}') {
          Complete(commands, ends, i + 1);
        } else {
          text_.push_back('|');
          if (b == '|') break;  // still waiting for the closing brace
          text_.push_back(static_cast<char>(b));
          frame_ = Frame::kBrace;
        }
        break;
      case Frame::kEsc:
        raw_.push_back(b);
        if (b == kLF) {
          frame_ = Frame::kEscLf;
        } else {
          text_.push_back(static_cast<char>(b));
        }
        break;
      case Frame::kEscLf:
        if (b == 0x00) {
          raw_.push_back(b);
          Complete(commands, ends, i + 1);
        } else {
          Complete(commands, ends, i);  // a frame without its NUL still ends at the LF
          --i;                          // look at this byte again, outside the frame
        }
        break;
    }
    if (text_.size() > kMaxText) {  // no command is this long: drop it
      frame_ = Frame::kIdle;
      text_.clear();
      raw_.clear();
    }
  }
}

void CommandFramer::Complete(std::vector<ReceivedCommand>& commands, std::vector<std::size_t>* ends,
                             std::size_t end) {
  frame_ = Frame::kIdle;
  ReceivedCommand c;
  c.Raw = std::move(raw_);
  c.Text = std::move(text_);
  c.EscFraming = esc_;
  commands.push_back(std::move(c));
  if (ends != nullptr) ends->push_back(end);
  raw_.clear();
  text_.clear();
}

void PrinterModel::Feed(const std::uint8_t* data, std::size_t size,
                        std::vector<ReceivedCommand>& commands, std::vector<Reply>& replies) {
  const std::size_t first = commands.size();
  framer_.Feed(data, size, commands);
  for (std::size_t i = first; i < commands.size(); ++i) Execute(commands[i].Text, replies);
}

void PrinterModel::Execute(const std::string& text, std::vector<Reply>& replies) {
  LanState& lan = state_.Lan;
  const bool apply = !ignore_sets_;
  if (text == "WS") {
    replies.push_back({text, StatusReply()});
  } else if (text == "WV") {
    const bool marker = wv_without_marker_left_ <= 0;
    if (!marker) --wv_without_marker_left_;
    replies.push_back({text, VersionReply(marker)});
  } else if (text == "Z5;0") {
    replies.push_back({text, Parameters0Reply()});
  } else if (text == "Z5;1") {
    replies.push_back({text, Parameters1Reply()});
  } else if (text == "Z5;3") {
    replies.push_back({text, LanReply()});
  } else if (!apply) {
    // Set commands are taken and change nothing.
  } else if (StartsWith(text, "Z2;1,")) {
    for (std::size_t i = 5; i < text.size() && i - 5 < state_.Parameters1.size(); ++i) {
      state_.Parameters1[i - 5] = text[i];
    }
  } else if (StartsWith(text, "Z2;2,")) {
    for (std::size_t i = 5; i < text.size() && i - 5 < state_.Parameters2.size(); ++i) {
      state_.Parameters2[i - 5] = text[i];
    }
  } else if (StartsWith(text, "IP;2,")) {
    ParseAddress(text.substr(5), lan.Ip);
  } else if (StartsWith(text, "IP;3,")) {
    ParseAddress(text.substr(5), lan.Gateway);
  } else if (StartsWith(text, "IP;4,")) {
    ParseAddress(text.substr(5), lan.Mask);
  } else if (StartsWith(text, "IS;") && text.size() >= 4) {
    lan.PortMode = text[3];
    if (text.size() > 5) lan.Port = std::clamp(std::atoi(text.c_str() + 5), 0, 99999);
  } else if (StartsWith(text, "IH;") && text.size() >= 4) {
    lan.Dhcp = text[3] == '1';
    std::string id = text.size() > 5 ? text.substr(5, 32) : std::string();
    id.resize(32, ' ');
    lan.DhcpId = id;
  } else if (StartsWith(text, "ZW01;")) {
    lan.HostName = text.substr(5, 16);
  }
  // "Z0", "WT;...", "Z10", "Z11", "Z4;0" and anything unknown are only recorded.
}

std::vector<std::uint8_t> PrinterModel::StatusReply() const {
  std::vector<std::uint8_t> out(13, '0');
  out[0] = kSOH;
  out[1] = 'S';
  out[2] = static_cast<std::uint8_t>(state_.Status[0]);
  out[3] = static_cast<std::uint8_t>(state_.Status[1]);
  out[12] = kETX;
  return out;
}

std::vector<std::uint8_t> PrinterModel::VersionReply(bool with_marker) const {
  std::vector<std::uint8_t> out(27, ' ');
  out[0] = kSOH;
  out[1] = kSTX;
  Put(out, 2, "K-RT6");
  out[18] = with_marker ? 'V' : ' ';
  std::string version = state_.Firmware.substr(0, 4);
  version.resize(4, ' ');
  Put(out, 19, version);
  out[26] = kETX;
  return out;
}

std::vector<std::uint8_t> PrinterModel::Parameters0Reply() const {
  const std::size_t size = ShortParameterReply(state_.Firmware) ? 42 : 44;
  std::vector<std::uint8_t> out(size, '0');
  out[0] = kSTX;
  Put(out, 4, state_.Parameters2.substr(0, size - 5));
  out[size - 1] = kETX;
  return out;
}

std::vector<std::uint8_t> PrinterModel::Parameters1Reply() const {
  std::vector<std::uint8_t> out(30, '0');
  out[0] = kSTX;
  Put(out, 4, state_.Parameters1);
  out[29] = kETX;
  return out;
}

std::vector<std::uint8_t> PrinterModel::LanReply() const {
  const LanState& lan = state_.Lan;
  std::vector<std::uint8_t> out(99, '0');
  out[0] = kSTX;
  out[4] = static_cast<std::uint8_t>(lan.Flag);
  for (int i = 0; i < 4; ++i) {
    Put(out, 5 + 3 * static_cast<std::size_t>(i), Digits(lan.Ip[i], 3));
    Put(out, 17 + 3 * static_cast<std::size_t>(i), Digits(lan.Gateway[i], 3));
    Put(out, 29 + 3 * static_cast<std::size_t>(i), Digits(lan.Mask[i], 3));
  }
  out[41] = static_cast<std::uint8_t>(lan.PortMode);
  Put(out, 42, Digits(lan.Port, 5));
  out[47] = lan.Dhcp ? '1' : '0';
  std::string id = lan.DhcpId.substr(0, 32);
  id.resize(32, ' ');
  Put(out, 48, id);
  std::fill(out.begin() + 80, out.begin() + 96, 0);
  Put(out, 80, lan.HostName.substr(0, 16));
  out[98] = kETX;
  return out;
}

}  // namespace krt6::emulator
