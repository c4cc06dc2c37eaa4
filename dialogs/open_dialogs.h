// What the main window's Setup button and About menu run: each function creates its dialog,
// publishes it through its global reference, binds the member it edits, shows it modally and
// destroys it. The main window refreshes its status bar after every setup dialog.
#pragma once

#include <QWidget>
#include <string>

#include "dialogs/language_apply.h"
#include "link/link_settings.h"

namespace krt6 {

// Each returns true when the dialog was left with Set (the member was written).
bool OpenLPTSetup(QWidget* owner, std::string& LptName);
bool OpenRs232Setup(QWidget* owner, SerialSettings& settings);
bool OpenNetSetup(QWidget* owner, TcpSettings& settings, MessageDisplay show_error);
void OpenAbout(QWidget* owner);

}  // namespace krt6
