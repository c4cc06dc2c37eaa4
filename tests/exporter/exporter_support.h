// What the exporter's end-to-end tests share: the exporter (and the emulators) as child
// processes, HTTP requests with bounded waits, promtool on a page.
#pragma once

#include <httplib.h>

#include <chrono>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"

namespace krt6::testing {

using namespace std::chrono_literals;

inline constexpr const char kPrometheus[] = "/usr/bin/prometheus";
inline constexpr const char kPromtool[] = "/usr/bin/promtool";

struct HttpReply {
  int status = 0;  // 0: no reply
  std::string body;
};

inline HttpReply HttpGet(int port, const std::string& path, const httplib::Headers& headers = {},
                         std::chrono::seconds timeout = 10s) {
  httplib::Client client("127.0.0.1", port);
  client.set_connection_timeout(timeout);
  client.set_read_timeout(timeout);
  const httplib::Result result = client.Get(path, headers);
  if (!result) return {};
  return {result->status, result->body};
}

// The number after the first `prefix` in `text`; 0 when there is none (yet).
inline int NumberAfter(const std::string& text, const std::string& prefix) {
  const std::size_t at = text.find(prefix);
  if (at == std::string::npos) return 0;
  std::size_t end = at + prefix.size();
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  // Only once the number is whole: something follows it.
  if (end == at + prefix.size() || end == text.size()) return 0;
  return std::stoi(text.substr(at + prefix.size(), end - at - prefix.size()));
}

// The exporter's port from its "listening on 127.0.0.1:PORT" line on stderr; 0 when it did not
// say it by `deadline`.
inline int ExporterPort(ChildProcess& exporter, ChildClock::time_point deadline) {
  while (ChildClock::now() < deadline) {
    if (const int port = NumberAfter(exporter.Err(), "listening on 127.0.0.1:")) return port;
    exporter.Poll(50ms);
  }
  return 0;
}

// The emulated printers' "HOST:PORT" lines once it serves them.
inline std::vector<std::string> EmulatorAddresses(ChildProcess& emulator, std::size_t count,
                                                  ChildClock::time_point deadline) {
  std::vector<std::string> addresses;
  if (!emulator.ReadLines(count, deadline)) return addresses;
  std::size_t from = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t end = emulator.Out().find('\n', from);
    addresses.push_back(emulator.Out().substr(from, end - from));
    from = end + 1;
  }
  return addresses;
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::trunc) << text;
}

// promtool check metrics on `page`: its exit status and what it said.
inline ProgramRun PromtoolCheck(const std::string& page, const std::string& folder) {
  const std::string file = folder + "/page.prom";
  WriteText(file, page);
  return RunProgram({"/bin/sh", "-c", std::string(kPromtool) + " check metrics < '" + file + "'"},
                    30s);
}

// The value of the series of `name` whose labels include every one of `labels` on a page; empty
// when there is none.
inline std::string SeriesValue(const std::string& page, const std::string& name,
                               const std::map<std::string, std::string>& labels = {}) {
  std::size_t from = 0;
  while (from < page.size()) {
    std::size_t end = page.find('\n', from);
    if (end == std::string::npos) end = page.size();
    const std::string line = page.substr(from, end - from);
    from = end + 1;
    if (!line.starts_with(name) || line.size() <= name.size()) continue;
    const char next = line[name.size()];
    if (next != ' ' && next != '{') continue;
    bool all = true;
    for (const auto& [label, value] : labels) {
      const std::string pair = label + "=\"" + value + "\"";
      all = all && (line.find("{" + pair) != std::string::npos ||
                    line.find("," + pair) != std::string::npos);
    }
    if (all) return line.substr(line.rfind(' ') + 1);
  }
  return {};
}

}  // namespace krt6::testing
