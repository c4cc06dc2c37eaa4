// A UserPrompts that records every message and file dialog instead of showing a modal box.
#pragma once

#include <QString>
#include <deque>
#include <vector>

#include "app/user_prompts.h"

namespace krt6::testing {

class RecordingPrompts : public UserPrompts {
 public:
  struct Message {
    QString text;
    QString details;
  };

  // How a file dialog was set up when the window opened it.
  struct FileRequest {
    bool save = false;
    QString filter;
    QString default_suffix;
    QString initial_name;
  };

  void ShowMessage(QWidget*, const QString& text, const QString& details) override {
    messages.push_back({text, details});
  }

  QString SaveFileName(QWidget*, const QString& filter, const QString& default_suffix,
                       const QString& initial_name) override {
    return Answer({true, filter, default_suffix, initial_name});
  }
  QString OpenFileName(QWidget*, const QString& filter, const QString& default_suffix,
                       const QString& initial_name) override {
    return Answer({false, filter, default_suffix, initial_name});
  }

  std::vector<Message> messages;
  std::vector<FileRequest> file_requests;
  // The names the next file dialogs answer, in order; an empty name, or none left, cancels.
  std::deque<QString> file_names;

 private:
  QString Answer(FileRequest request) {
    file_requests.push_back(std::move(request));
    if (file_names.empty()) return {};
    QString name = file_names.front();
    file_names.pop_front();
    return name;
  }
};

}  // namespace krt6::testing
