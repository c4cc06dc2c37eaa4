#include "dialogs/link_setup.h"

#include <vector>

namespace krt6 {

// In link_setups_list.cpp, generated from KRT6_LINK_KINDS and the setup files there are.
std::vector<const LinkSetup*> RegisteredLinkSetups();

std::span<const LinkSetup* const> LinkSetups() {
  static const std::vector<const LinkSetup*> setups = RegisteredLinkSetups();
  return setups;
}

const LinkSetup* FindLinkSetup(LinkKind kind) {
  for (const LinkSetup* setup : LinkSetups()) {
    if (setup->kind == kind) return setup;
  }
  return nullptr;
}

bool OpenLinkSetup(QWidget* owner, LinkKind kind, LinkSettings& settings, Language language,
                   const MessageDisplay& show_error) {
  const LinkSetup* setup = FindLinkSetup(kind);
  return setup != nullptr && setup->open(owner, settings, language, show_error);
}

}  // namespace krt6
