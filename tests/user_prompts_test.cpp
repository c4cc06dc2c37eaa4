// The real file dialogs behind QtUserPrompts: how they are set up and what they hand back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QTimer>
#include <functional>

#include "app/user_prompts.h"
#include "support/temp_dir.h"

namespace krt6 {
namespace {

using testing::TempDir;
using testing::WriteBytes;

// How a file dialog was set up when it came up.
struct Seen {
  bool found = false;
  QFileDialog::AcceptMode accept_mode = QFileDialog::AcceptOpen;
  QFileDialog::FileMode file_mode = QFileDialog::ExistingFile;
  QStringList filters;
  QString selected_filter;
  QString suffix;
  bool confirms_overwrite = true;
  QStringList offered;
};

// Once the next modal dialog is up, records it into `seen` and hands it to `act`, which must
// close it. Without a dialog nothing is recorded, and the test fails on `found`.
void WhenDialogOpens(Seen& seen, std::function<void(QFileDialog*)> act) {
  QTimer::singleShot(0, [&seen, act = std::move(act)] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    seen.found = true;
    seen.accept_mode = dialog->acceptMode();
    seen.file_mode = dialog->fileMode();
    seen.filters = dialog->nameFilters();
    seen.selected_filter = dialog->selectedNameFilter();
    seen.suffix = dialog->defaultSuffix();
    seen.confirms_overwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
    seen.offered = dialog->selectedFiles();
    act(dialog);
  });
}

TEST(QtFileDialogTest, SaveDialogAddsTheExtensionAndReplacesWithoutAsking) {
  TempDir dir;
  WriteBytes(dir / "old.ts0", {1, 2, 3});
  QtUserPrompts prompts;
  const QString initial = QString::fromStdString(dir / "old.ts0");
  const QString typed = QString::fromStdString(dir / "new");

  Seen seen;
  WhenDialogOpens(seen, [&](QFileDialog* dialog) {
    dialog->selectFile(typed);
    static_cast<QDialog*>(dialog)->accept();  // the dialog's own checks run
  });
  const QString chosen = prompts.SaveFileName(nullptr, "*.ts0", "ts0", initial);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.accept_mode, QFileDialog::AcceptSave);
  EXPECT_EQ(seen.filters, QStringList{"*.ts0"});
  EXPECT_EQ(seen.selected_filter, "*.ts0");
  EXPECT_EQ(seen.suffix, "ts0");
  EXPECT_FALSE(seen.confirms_overwrite);
  EXPECT_EQ(seen.offered, QStringList{initial});
  EXPECT_EQ(chosen, typed + ".ts0");

  // An existing file is taken as it is, without a question that would keep the dialog open.
  Seen again;
  WhenDialogOpens(again, [](QFileDialog* dialog) {
    static_cast<QDialog*>(dialog)->accept();  // the dialog's own checks run
  });
  EXPECT_EQ(prompts.SaveFileName(nullptr, "*.ts0", "ts0", initial), initial);
  EXPECT_TRUE(again.found);
}

TEST(QtFileDialogTest, OpenDialogTakesANameThatDoesNotExistAndCancelGivesNothing) {
  TempDir dir;
  QtUserPrompts prompts;
  const QString missing = QString::fromStdString(dir / "missing.ts1");

  Seen seen;
  WhenDialogOpens(seen, [&](QFileDialog* dialog) {
    dialog->selectFile(missing);
    static_cast<QDialog*>(dialog)->accept();  // the dialog's own checks run
  });
  EXPECT_EQ(prompts.OpenFileName(nullptr, "*.ts1", "", ""), missing);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.accept_mode, QFileDialog::AcceptOpen);
  EXPECT_EQ(seen.file_mode, QFileDialog::AnyFile);  // no check that the file exists
  EXPECT_EQ(seen.filters, QStringList{"*.ts1"});
  EXPECT_EQ(seen.suffix, "");

  Seen cancelled;
  WhenDialogOpens(cancelled, [](QFileDialog* dialog) { dialog->reject(); });
  EXPECT_EQ(prompts.OpenFileName(nullptr, "*.ts1", "", ""), QString());
  EXPECT_TRUE(cancelled.found);
}

TEST(QtFileDialogTest, TheFirstEntryIsSelectedAndTheSuffixFollowsTheEntry) {
  TempDir dir;
  QtUserPrompts prompts;
  const QString typed = QString::fromStdString(dir / "new");
  Seen seen;
  WhenDialogOpens(seen, [&](QFileDialog* dialog) {
    // As the operator picks the entry in the dialog's list of file types.
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    if (types != nullptr) {
      types->setCurrentIndex(1);
      emit types->activated(1);
      emit types->textActivated(types->itemText(1));
    }
    dialog->selectFile(typed);
    static_cast<QDialog*>(dialog)->accept();
  });
  const QString chosen = prompts.SaveFileName(nullptr, "*.ts0;;*.json", "ts0", "");
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.filters, (QStringList{"*.ts0", "*.json"}));
  EXPECT_EQ(seen.selected_filter, "*.ts0");
  EXPECT_EQ(seen.suffix, "ts0");
  EXPECT_EQ(chosen, typed + ".json");
}

}  // namespace
}  // namespace krt6
