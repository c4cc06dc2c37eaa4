// One QApplication for a widget test program, created on first use and kept to the end.
#pragma once

#include <QApplication>

namespace krt6::testing {

inline QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "krt6-test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace krt6::testing
