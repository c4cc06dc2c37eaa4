#include "cli/sessions.h"

namespace krt6::cli {

std::unique_ptr<Session> MakeSession(const Session::LinkInstaller& install, LinkKind kind,
                                     const LinkSettings& settings, Language language) {
  auto session = std::make_unique<Session>(install);
  session->Settings() = settings;
  session->SetLinkKind(kind);
  session->SetLanguage(language);
  return session;
}

}  // namespace krt6::cli
