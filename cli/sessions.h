// The one place krt6ctl makes a session (for a fleet's targets and for a scan's hosts), so that a
// change in how sessions are made is made here alone.
#pragma once

#include <memory>

#include "link/link_kinds.h"
#include "link/link_settings.h"
#include "session/session.h"
#include "texts/language.h"

namespace krt6::cli {

// A session on the system's link to `target`, made with `links`, its details in `language`;
// `sleep` carries the protocol's fixed waits (the link's cancellable pauses when empty).
std::unique_ptr<Session> MakeSession(const LinkTarget& target, const SystemLinkOptions& links,
                                     Language language, Protocol::Sleeper sleep = {});

}  // namespace krt6::cli
