// The serial kind's setup: the RS-232C dialog (dialogs/open_dialogs.h).
#include "dialogs/link_setup.h"
#include "dialogs/open_dialogs.h"

namespace krt6 {

const LinkSetup& SerialLinkSetup() {
  static const LinkSetup setup{
      lkCom, [](QWidget* owner, LinkSettings& settings, Language language, const MessageDisplay&) {
        return OpenRs232Setup(owner, settings.Serial, language);
      }};
  return setup;
}

}  // namespace krt6
