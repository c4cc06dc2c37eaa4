// krt6ctl for the tests: run in this process through RunKrt6ctl (its output captured), or as the
// built program through the child-process helper, each against emulated printers; every JSON
// line a target gives is checked to keep the output contract's keys in order.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/app.h"
#include "emulator/emulator.h"
#include "support/child_process.h"

namespace krt6::cli_test {

using emulator::Emulator;
using emulator::EmulatorOptions;
using emulator::Transport;
using nlohmann::json;

// Each line of `out` as JSON.
inline std::vector<json> JsonLines(const std::string& out) {
  std::vector<json> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
  return lines;
}

struct CtlRun {
  int status = -1;
  std::string out;
  std::string err;
  std::vector<json> Lines() const { return JsonLines(out); }
};

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every target's line keeps the keys of the output contract in its order.
inline void ExpectContractKeys(const std::string& out) {
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("{\"target\"", 0) != 0) continue;
    std::vector<std::string> keys;
    const auto parsed = nlohmann::ordered_json::parse(line);
    for (auto it = parsed.begin(); it != parsed.end(); ++it) keys.push_back(it.key());
    EXPECT_EQ(keys,
              (std::vector<std::string>{"target", "command", "ok", "code", "result", "cause",
                                        "detail", "elapsed_ms", "changed", "changes", "data"}))
        << line;
  }
}

// English messages unless the arguments ask for Japanese.
inline std::vector<std::string> WithLanguage(std::vector<std::string> args) {
  if (std::find(args.begin(), args.end(), "--lang=ja") == args.end()) {
    args.insert(args.begin(), "--lang=en");
  }
  return args;
}

// krt6ctl `args` in this process.
inline CtlRun Krt6ctl(std::vector<std::string> args) {
#ifdef KRT6_TEST_STATE_HOME
  // A test program started by hand keeps its runs' history in the build tree too.
  ::setenv("XDG_STATE_HOME", KRT6_TEST_STATE_HOME, 0);
#endif
  args = WithLanguage(std::move(args));
  args.insert(args.begin(), "krt6ctl");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::ostringstream out;
  std::ostringstream err;
  CtlRun run;
  run.status = cli::RunKrt6ctl(static_cast<int>(args.size()), argv.data(), out, err);
  run.out = out.str();
  run.err = err.str();
  ExpectContractKeys(run.out);
  return run;
}

// The command line of the built krt6ctl with `args`.
inline std::vector<std::string> ProgramLine(std::vector<std::string> args) {
  args = WithLanguage(std::move(args));
  args.insert(args.begin(), testing::BuiltProgram("cli/krt6ctl"));
  return args;
}

// The built krt6ctl with `args`, given at most 120 s; standard error goes to `error_device`
// instead when it is given (a terminal).
inline CtlRun Krt6ctlProgram(std::vector<std::string> args, const std::string& error_device = {}) {
  testing::ChildOptions options;
  options.ErrorPath = error_device;
  const testing::ProgramRun ran =
      testing::RunProgram(ProgramLine(std::move(args)), std::chrono::seconds(120), options);
  // A run that hangs is killed and fails the test instead of holding up the suite.
  EXPECT_FALSE(ran.TimedOut) << "krt6ctl did not end within 120 s";
  ExpectContractKeys(ran.Out);
  return {ran.Status, ran.Out, ran.Err};
}

inline std::unique_ptr<Emulator> StartEmulator(EmulatorOptions o) {
  auto emu = std::make_unique<Emulator>(o);
  std::string error;
  EXPECT_TRUE(emu->Start(error)) << error;
  return emu;
}

inline std::unique_ptr<Emulator> Tcp(int count = 1, emulator::Faults faults = {}) {
  EmulatorOptions o;
  o.Port = 0;
  o.Count = count;
  o.Vary = count > 1;
  o.Spoil = faults;
  return StartEmulator(o);
}

inline std::string TcpTarget(const Emulator& emu, int printer = 0) {
  return "socket://127.0.0.1:" + std::to_string(emu.Port(printer));
}

// A printer on `transport` (TCP or a pseudo terminal) and the target that reaches it.
inline std::unique_ptr<Emulator> Over(Transport transport, std::string& target) {
  EmulatorOptions o;
  o.Kind = transport;
  o.Port = 0;
  auto emu = StartEmulator(o);
  target = transport == Transport::kTcp ? TcpTarget(*emu)
                                        : "serial:" + emu->DevicePath() + "?baud=9600+flow=none";
  return emu;
}

inline const char* TransportName(Transport transport) {
  return transport == Transport::kTcp ? "tcp" : "pty";
}

inline bool IsRead(const std::string& text) {
  return text == "WS" || text == "WV" || text.rfind("Z5;", 0) == 0;
}

// The commands that change the printer: everything but the queries.
inline std::vector<std::string> Sets(const Emulator& emu, int printer = 0) {
  std::vector<std::string> sets;
  for (const std::string& text : emu.CommandTexts(printer)) {
    if (!IsRead(text)) sets.push_back(text);
  }
  return sets;
}

// A line of the output contract for `command` with `code`.
inline void ExpectContract(const json& line, const std::string& command, int code) {
  EXPECT_EQ(line["command"], command);
  EXPECT_EQ(line["code"], code) << line;
  EXPECT_EQ(line["ok"], code == 0);
  EXPECT_TRUE(line["elapsed_ms"].is_number());
}

// `args` with --json on `target`: one contract line for `command` with `code` and the exit status
// that goes with it; the line (null when there was none).
inline json OneLine(const std::string& target, std::vector<std::string> args,
                    const std::string& command, int code = 0) {
  args.insert(args.begin(), {"--json", "-t", target});
  const CtlRun run = Krt6ctl(args);
  EXPECT_EQ(run.status, code == 0 ? 0 : 1) << run.err;
  const auto lines = run.Lines();
  EXPECT_EQ(lines.size(), 1u) << run.out;
  if (lines.empty()) return json();
  ExpectContract(lines[0], command, code);
  EXPECT_EQ(lines[0]["target"], target);
  return lines[0];
}

}  // namespace krt6::cli_test
