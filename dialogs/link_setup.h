// The setup dialog of each kind of link, registered next to the dialog: a kind <name> of
// KRT6_LINK_KINDS (link/CMakeLists.txt) whose dialogs/<name>_setup.cpp exists has that file (and
// its <name>_setup.ui, when there is one) built, and the <Name>LinkSetup() it defines listed here.
// The main window's Setup button opens the entry of the selected kind; a kind without one (USB)
// has nothing to set up.
#pragma once

#include <QWidget>
#include <span>

#include "dialogs/language_apply.h"
#include "link/link_settings.h"

namespace krt6 {

struct LinkSetup {
  LinkKind kind;
  // Shows the kind's dialog modally over `owner` on the kind's members of `settings`; true when
  // it was left with Set (the members were written).
  bool (*open)(QWidget* owner, LinkSettings& settings, Language language,
               const MessageDisplay& show_error);
};

// Every registered setup, in KRT6_LINK_KINDS order.
std::span<const LinkSetup* const> LinkSetups();

// The setup of `kind`; nullptr when it has none.
const LinkSetup* FindLinkSetup(LinkKind kind);
// Opens the setup of `kind` on `settings`; false when the kind has none or it was cancelled.
bool OpenLinkSetup(QWidget* owner, LinkKind kind, LinkSettings& settings, Language language,
                   const MessageDisplay& show_error);

}  // namespace krt6
