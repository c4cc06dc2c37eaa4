#include "app/tab_page.h"

#include <QEvent>

namespace krt6 {
namespace {

thread_local const QFont* build_font = nullptr;

}  // namespace

TabPage::TabPage(QWidget* parent) : QWidget(parent) {
  if (parent == nullptr && build_font != nullptr) setFont(*build_font);
}

bool TabPage::event(QEvent* event) {
  // In its page control the page has the font it was given by inheritance: it stops holding its
  // own, so that a later change of the window's font reaches it.
  if (event->type() == QEvent::ParentChange && parentWidget() != nullptr &&
      testAttribute(Qt::WA_SetFont)) {
    setFont(QFont());
  }
  return QWidget::event(event);
}

TabPage::BuildFont::BuildFont(const QFont& font) : outer_(build_font) { build_font = &font; }

TabPage::BuildFont::~BuildFont() { build_font = outer_; }

}  // namespace krt6
