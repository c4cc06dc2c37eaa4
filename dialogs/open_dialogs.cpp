#include "dialogs/open_dialogs.h"

#include <memory>
#include <utility>

#include "dialogs/about_box.h"
#include "dialogs/lpt_setup.h"
#include "dialogs/net_setup.h"
#include "dialogs/rs232_setup.h"

namespace krt6 {

namespace {

// Creates the dialog and publishes it at once; its destructor clears the global again.
template <class Form, class... Args>
std::unique_ptr<Form> CreatePublished(Form*& global, Args&&... args) {
  auto dialog = std::make_unique<Form>(std::forward<Args>(args)...);
  global = dialog.get();
  return dialog;
}

}  // namespace

bool OpenLPTSetup(QWidget* owner, std::string& LptName, Language language) {
  auto dialog = CreatePublished(FormLPTSetup, owner);
  dialog->BindSettings(LptName, language);
  return dialog->exec() == QDialog::Accepted;
}

bool OpenRs232Setup(QWidget* owner, SerialSettings& settings, Language language) {
  auto dialog = CreatePublished(FormRs232Setup, owner);
  dialog->BindSettings(settings, language);
  return dialog->exec() == QDialog::Accepted;
}

bool OpenNetSetup(QWidget* owner, TcpSettings& settings, Language language,
                  MessageDisplay show_error) {
  auto dialog = CreatePublished(FormNetSetup, owner, std::move(show_error));
  dialog->BindSettings(settings, language);
  return dialog->exec() == QDialog::Accepted;
}

void OpenAbout(QWidget* owner) {
  auto dialog = CreatePublished(FormAbout, owner);
  dialog->exec();
}

}  // namespace krt6
