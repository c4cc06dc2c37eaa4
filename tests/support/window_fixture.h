// A main window over in-memory links, with message boxes recorded instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "support/fake_link.h"
#include "support/recording_prompts.h"

namespace krt6::testing {

// Processes events until the main window has no exchange running (the start-up query, or a
// handler's exchanges one after the other): what a click started has then ended and been shown.
inline void WaitIdle(int timeout_ms = 20000) {
  if (!QTest::qWaitFor([] { return FormMain == nullptr || !FormMain->ExchangeRunning(); },
                       timeout_ms)) {
    ADD_FAILURE() << "the window's exchange did not end";
  }
}

struct WindowFixture {
  FakeLinks links;
  std::vector<std::shared_ptr<FakeLinkState>>& fakes = links.state;
  Session session{links.Maker()};
  RecordingPrompts prompts;
  std::unique_ptr<TFormMain> window;

  explicit WindowFixture(const std::string& locale = "en_US.UTF-8", bool usb_absent = true) {
    // Like a machine without a printer on USB: the start-up version query fails quietly.
    fakes[lkUsb]->fail_open = usb_absent;
    window = std::make_unique<TFormMain>(session, prompts, locale);
    WaitIdle();
  }
  void WaitIdle() const { testing::WaitIdle(); }

  template <typename T> T* Find(const char* name) const {
    return window->findChild<T*>(QString::fromLatin1(name));
  }
  QComboBox* Combo(const char* name) const { return Find<QComboBox>(name); }
  QLineEdit* Edit(const char* name) const { return Find<QLineEdit>(name); }
  QPushButton* Button(const char* name) const { return Find<QPushButton>(name); }

  // Selects an item as the operator would, so that the list's change handler runs.
  void Choose(const char* combo, int index) const {
    QComboBox* c = Combo(combo);
    c->setCurrentIndex(index);
    emit c->activated(index);
  }
};

}  // namespace krt6::testing
