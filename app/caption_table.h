// The main window's vocabulary in both languages: one entry per caption or translated list, in
// the order SetLanguage applies them. The captions and list items of the setting fields come
// from the field table through the pages' bindings (app/page_fields.h): each label's caption,
// then its list's items where they read differently in the two languages. The caption of a control
// that runs a printer operation comes from the operation's row (protocol/operations.h: its control
// and caption); a control no entry places is added after the others.
#pragma once

#include <cstddef>
#include <span>

#include "dialogs/language.h"

namespace krt6 {

// The controls take the font of the language from the window; the table gives their texts.
enum class CaptionKind {
  kMenu,     // a menu or menu entry: its text (menus keep the application's font)
  kCaption,  // a label, button or group box: its caption
  kPage,     // a page of PageControl1: its tab text
  kItems,    // a list: the texts of the items from `first_item` on; selection kept
};

struct CaptionEntry {
  const char* control;  // the control's objectName
  CaptionKind kind;
  std::span<const TextPair> texts;  // one pair for a caption, one per item for a list
  int first_item = 0;
};

// The 60 entries; the Extra Setting page's buttons reuse the pairs of the Parameter Setting
// page's Load, Save, Set and Read buttons, so the table holds 75 distinct pairs.
extern const std::span<const CaptionEntry> CaptionTable;

}  // namespace krt6
