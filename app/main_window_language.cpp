// The interface language of the main window, the setup dialogs and the About box.
#include "app/main_window.h"

namespace krt6 {

// The captions are laid out in English; the caption table is applied here once it lands.
void TFormMain::SetLanguage(int) {}

void TFormMain::ButtonInterFaceClick() {
  // The setup dialogs of COM, LPT and ETHERNET open here once they land; the status bar is
  // rewritten after every closing.
  ShowPortSettings();
}

void TFormMain::About1Click() {}

}  // namespace krt6
