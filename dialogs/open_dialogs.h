// What the main window's Setup button and About menu run: each function creates its dialog,
// publishes it through its global reference, binds the member it edits in the language it is
// given, shows it modally and destroys it. The main window refreshes its status bar after every
// setup dialog.
#pragma once

#include <QWidget>
#include <string>

#include "dialogs/language_apply.h"
#include "link/link_settings.h"

namespace krt6 {

// Each returns true when the dialog was left with Set (the member was written).
bool OpenLPTSetup(QWidget* owner, std::string& LptName, Language language);
bool OpenRs232Setup(QWidget* owner, SerialSettings& settings, Language language);
bool OpenNetSetup(QWidget* owner, TcpSettings& settings, Language language,
                  MessageDisplay show_error);
void OpenAbout(QWidget* owner);

}  // namespace krt6
