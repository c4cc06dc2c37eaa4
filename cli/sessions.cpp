#include "cli/sessions.h"

namespace krt6::cli {

std::unique_ptr<Session> MakeSession(const LinkTarget& target, const SystemLinkOptions& links,
                                     Language language, Protocol::Sleeper sleep) {
  auto session = std::make_unique<Session>(target, SystemLinks(links), std::move(sleep));
  session->SetLanguage(language);
  return session;
}

}  // namespace krt6::cli
