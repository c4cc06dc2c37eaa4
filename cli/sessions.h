// The one place krt6ctl makes a session (for a fleet's targets and for a scan's hosts), so that a
// change in how sessions are made is made here alone.
#pragma once

#include <memory>

#include "link/link_settings.h"
#include "session/session.h"
#include "texts/language.h"

namespace krt6::cli {

// A session over the links `install` puts in, on the link of `kind` with `settings`, its
// details in `language`.
std::unique_ptr<Session> MakeSession(const Session::LinkInstaller& install, LinkKind kind,
                                     const LinkSettings& settings, Language language);

}  // namespace krt6::cli
