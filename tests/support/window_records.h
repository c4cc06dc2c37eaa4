// The main window's records seen from outside, as an operator can see them: an empty setting file
// changes no record, so loading one shows a page again from its record; Save then writes the
// record with the page's values, which are the record's, and keeps what no control shows.
#pragma once

#include <QString>

#include "app/main_window.h"
#include "files/setting_files.h"
#include "support/recording_prompts.h"
#include "support/temp_dir.h"

namespace krt6::testing {

// Shows both pages again from the window's records.
inline void ShowRecords(TFormMain& window, RecordingPrompts& prompts) {
  TempDir dir;
  WriteBytes(dir / "empty.ts0", {});
  WriteBytes(dir / "empty.ts1", {});
  prompts.file_names.push_back(QString::fromStdString(dir / "empty.ts0"));
  window.ButtonLoadClick();
  prompts.file_names.push_back(QString::fromStdString(dir / "empty.ts1"));
  window.ButtonExLoadClick();
}

struct SavedRecords {
  ParameterBlock parameters{};
  LanSettings lan{};
};

// The records the window holds, as it saves them once the pages show them again.
inline SavedRecords SaveRecords(TFormMain& window, RecordingPrompts& prompts) {
  ShowRecords(window, prompts);
  TempDir dir;
  prompts.file_names.push_back(QString::fromStdString(dir / "p.ts0"));
  window.ButtonSaveClick();
  prompts.file_names.push_back(QString::fromStdString(dir / "l.ts1"));
  window.ButtonExSaveClick();
  SavedRecords saved;
  EXPECT_TRUE(LoadParameterFile(dir / "p.ts0", saved.parameters));
  EXPECT_TRUE(LoadLanSettingsFile(dir / "l.ts1", saved.lan));
  return saved;
}

}  // namespace krt6::testing
