// The frame every dialog of the program has: fixed size, a title bar with only a close box.
#pragma once

#include <QDialog>

namespace krt6 {

inline void SetFixedDialogFrame(QDialog* dialog) {
  dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  dialog->setFixedSize(dialog->size());
}

}  // namespace krt6
