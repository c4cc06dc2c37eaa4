// A UserPrompts that records every message instead of showing a modal box.
#pragma once

#include <QString>
#include <vector>

#include "app/user_prompts.h"

namespace krt6::testing {

class RecordingPrompts : public UserPrompts {
 public:
  struct Message {
    QString text;
    QString details;
  };

  void ShowMessage(QWidget*, const QString& text, const QString& details) override {
    messages.push_back({text, details});
  }

  std::vector<Message> messages;
};

}  // namespace krt6::testing
