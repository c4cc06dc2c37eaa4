// The tcp kind's setup: the network dialog (dialogs/open_dialogs.h).
#include "dialogs/link_setup.h"
#include "dialogs/open_dialogs.h"

namespace krt6 {

const LinkSetup& TcpLinkSetup() {
  static const LinkSetup setup{lkEthernet, [](QWidget* owner, LinkSettings& settings,
                                              Language language, const MessageDisplay& show_error) {
                                 return OpenNetSetup(owner, settings.Tcp, language, show_error);
                               }};
  return setup;
}

}  // namespace krt6
