#include "app/command_line.h"

#include <algorithm>

#ifndef KRT6_VERSION
#define KRT6_VERSION "0"
#endif

namespace krt6 {
namespace {

const char kUsage[] =
    "Usage: krt6-setting-tool [--help] [--version]\n"
    "Opens the K-RT6 Setting Tool window, which reads and writes the settings of a K-RT6\n"
    "thermal label printer attached over USB, a serial port, a parallel port or Ethernet:\n"
    "its status, the parameter block, the LAN settings, the media-sensor calibration, and\n"
    "setting files (.ts0, .ts1) that carry one configuration to many printers. The window is\n"
    "in Japanese under a Japanese locale (ja_JP), in English otherwise.\n"
    "\n"
    "  --help      this text\n"
    "  --version   the program's name and version\n"
    "\n"
    "It needs a graphical session (DISPLAY or WAYLAND_DISPLAY set); QT_QPA_PLATFORM or Qt's\n"
    "-platform option chooses another Qt platform. Other arguments go to Qt (-style, ...).\n"
    "Exit status: 0 when the window was closed, 1 when it could not be opened.\n"
    "For scripts and many printers: krt6ctl(1). Without hardware: krt6-emulator(1).\n";

bool Set(const std::function<const char*(const char*)>& getenv_fn, const char* name) {
  const char* value = getenv_fn(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

StartupAction ReadCommandLine(const std::vector<std::string>& arguments,
                              const std::function<const char*(const char*)>& getenv_fn) {
  StartupAction action;
  for (const std::string& a : arguments) {
    if (a == "--help" || a == "-h") {
      action.Output = kUsage;
      return action;
    }
    if (a == "--version") {
      action.Output = "krt6-setting-tool " KRT6_VERSION "\n";
      return action;
    }
  }
  const bool platform_named =
      std::any_of(arguments.begin(), arguments.end(), [](const std::string& a) {
        return a == "-platform" || a == "--platform" || a.rfind("-platform=", 0) == 0 ||
               a.rfind("--platform=", 0) == 0;
      });
  if (!platform_named && !Set(getenv_fn, "QT_QPA_PLATFORM") && !Set(getenv_fn, "DISPLAY") &&
      !Set(getenv_fn, "WAYLAND_DISPLAY")) {
    action.ExitCode = 1;
    action.Error =
        "krt6-setting-tool: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are "
        "not set); start it in a desktop session, or use krt6ctl on a terminal\n";
    return action;
  }
  action.OpenWindow = true;
  return action;
}

std::string DisplayFailedLine(const std::function<const char*(const char*)>& getenv_fn) {
  std::string where;
  for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) {
    if (Set(getenv_fn, name)) {
      where += where.empty() ? " (" : ", ";
      where += std::string(name) + "=" + getenv_fn(name);
    }
  }
  if (!where.empty()) where += ")";
  return "krt6-setting-tool: the display could not be opened" + where +
         "; start it in a desktop session, or use krt6ctl on a terminal\n";
}

}  // namespace krt6
