// The parallel kind's setup: the printer port dialog (dialogs/open_dialogs.h).
#include "dialogs/link_setup.h"
#include "dialogs/open_dialogs.h"

namespace krt6 {

const LinkSetup& ParallelLinkSetup() {
  static const LinkSetup setup{
      lkLpt, [](QWidget* owner, LinkSettings& settings, Language language, const MessageDisplay&) {
        return OpenLPTSetup(owner, settings.LptName, language);
      }};
  return setup;
}

}  // namespace krt6
