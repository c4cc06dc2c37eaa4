// A page of the window's page control. The form makes its pages without a parent and hands them
// to the page control afterwards, so their controls would be made with the application's font and
// take the window's font only then, every list building its drop-down at once on the way. A page
// made while a BuildFont exists takes that font first, so its controls are made with the font they
// draw with; once in the page control it drops it again and follows the window's font like every
// other control.
#pragma once

#include <QFont>
#include <QWidget>

namespace krt6 {

class TabPage : public QWidget {
  Q_OBJECT

 public:
  explicit TabPage(QWidget* parent = nullptr);

  // While one exists, pages made on this thread without a parent start with `font`.
  class BuildFont {
   public:
    explicit BuildFont(const QFont& font);
    ~BuildFont();
    BuildFont(const BuildFont&) = delete;
    BuildFont& operator=(const BuildFont&) = delete;

   private:
    const QFont* outer_;
  };

 protected:
  bool event(QEvent* event) override;
};

}  // namespace krt6
