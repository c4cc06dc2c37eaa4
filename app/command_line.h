// What the program does with its command line and environment before any window exists.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace krt6 {

struct StartupAction {
  bool OpenWindow = false;  // false: write Output to stdout and Error to stderr, exit ExitCode
  int ExitCode = 0;
  std::string Output;
  std::string Error;  // one line, newline included
};

// `arguments` without the program name; `getenv_fn` is injected for tests. --help and --version
// answer without a display; any other argument is left to Qt (-platform, -style, ...). With no
// display to open (DISPLAY and WAYLAND_DISPLAY unset, no QT_QPA_PLATFORM and no -platform) the
// program ends with one line instead of Qt's abort.
StartupAction ReadCommandLine(const std::vector<std::string>& arguments,
                              const std::function<const char*(const char*)>& getenv_fn);

// The one line for a display that was named but could not be opened.
std::string DisplayFailedLine(const std::function<const char*(const char*)>& getenv_fn);

}  // namespace krt6
