// The About box: the program's version, in English in either interface language.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TFormAbout;
}

namespace krt6 {

class TFormAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TFormAbout(QWidget* parent = nullptr);
  ~TFormAbout() override;

 public slots:
  void Button1Click();

 private:
  std::unique_ptr<Ui::TFormAbout> ui_;
};

// Refers to the About box while it is open.
extern TFormAbout* FormAbout;

}  // namespace krt6
