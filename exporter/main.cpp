// krt6-exporter: the printers' status for Prometheus (see --help and docs/krt6ctl.md).
#include <malloc.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "exporter/flags.h"
#include "exporter/fleet_file.h"
#include "exporter/server.h"

#ifndef KRT6_VERSION
#define KRT6_VERSION "0"
#endif

int main(int argc, char** argv) {
  using namespace krt6::exporter;
  // A fleet's probes run on many threads; a few allocation arenas keep the memory flat across
  // scrapes instead of one arena a thread.
  mallopt(M_ARENA_MAX, 2);
  auto parsed = ParseFlags(std::vector<std::string>(argv + 1, argv + argc));
  if (auto* why = std::get_if<std::string>(&parsed)) {
    std::fprintf(stderr, "krt6-exporter: %s (see --help)\n", why->c_str());
    return 2;
  }
  Flags flags = std::get<Flags>(std::move(parsed));
  if (flags.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (flags.version) {
    std::printf("krt6-exporter %s\n", KRT6_VERSION);
    return 0;
  }
  Fleet fleet;
  if (!flags.config_file.empty()) {
    // A fleet file that cannot be read is exit status 1, one that says something wrong 2.
    std::string contents, unreadable;
    if (!krt6::cli::ReadTargetsBytes(flags.config_file, contents, unreadable)) {
      std::fprintf(stderr, "krt6-exporter: %s\n", unreadable.c_str());
      return 1;
    }
    auto loaded = ParseFleet(contents, flags.config_file);
    if (auto* why = std::get_if<std::string>(&loaded)) {
      std::fprintf(stderr, "krt6-exporter: %s\n", why->c_str());
      return 2;
    }
    fleet = std::get<Fleet>(std::move(loaded));
    Log("info",
        "fleet " + flags.config_file + ": " + std::to_string(fleet.targets.size()) + " targets");
  }
  // Every thread started from here on leaves SIGINT and SIGTERM to the one that waits for them.
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGINT);
  sigaddset(&ending, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &ending, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Exporter exporter(std::move(flags), std::move(fleet));
  std::string error;
  if (!exporter.Bind(error)) {
    Log("error", error);
    return 1;
  }
  std::atomic<bool> signalled{false};
  std::thread waiter([&exporter, &signalled, ending] {
    int signal_number = 0;
    sigwait(&ending, &signal_number);
    if (signalled.exchange(true)) return;  // the server had ended by itself
    Log("info", "ending at a signal");
    exporter.Stop();
  });
  exporter.Serve();
  // Served until a signal, or the server ended by itself: then the waiter is woken to end.
  if (!signalled.exchange(true)) pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  return 0;
}
