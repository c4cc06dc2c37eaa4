// The controls of the Parameter Setting and Extra Setting pages and the fields they show. Each
// page has one binding per field, by the control's object name; everything else about a field
// (its kind, its record member, its caption and items, the firmware classes that take it, the
// characters it may hold) is the field table's. The moves between the controls and a record follow
// the field's kind and the control's type:
//   a list in a QComboBox      the item index is the value; a value outside shows no selection
//   a number in a QComboBox    item 0 is the field's least value (the blank space length: 2)
//   a flag in a QComboBox      item 0 is 0, any other item 1
//   a number in a QLineEdit    decimal; gathering raises ConversionError for a text that is none
//   a text in a QLineEdit      Latin-1, cut to the characters a printer takes, then a NUL (NULs
//                              through the two bytes of the euro code's command); the bytes
//                              after stay as the record held them
//   an address                 four QLineEdits, the control's name with 1..4 appended
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "records/fields.h"
#include "texts/language.h"

class QChar;
class QObject;
class QWidget;

namespace krt6 {

struct ControlBinding {
  const char* control;  // the object name; an address: its four edits' name without the digit;
                        // null: a field the page shows no control for
  const char* label;    // the label that names the control, or null
  const char* key;      // the field's key in the page's part
  // Where the window departs from the table, each said at its binding:
  std::int32_t fallback = -1;  // what gathering stores for a list without a selection, and for
                               // a field without a control
  VersionSet enabled_for = kNoVersion;  // when set: the firmware classes the control is enabled
                                        // for, in place of those whose commands carry the field
  std::int32_t japanese = -1;  // when set: the value the page starts with on a Japanese system
};

// The page of the part's record (the Parameter Setting page for kParameters, the Extra Setting
// page for kLan) in the order its fields are gathered: the order of the table, but for a field
// set before the others.
std::span<const ControlBinding> PageBindings(FieldPart part);
// The field a binding of the part's page names, or null.
const FieldRow* BoundField(FieldPart part, const ControlBinding& binding);

// One control of a page: an address has four, `part` 0..3. The widget is null for a field the
// page shows no control for.
struct BoundControl {
  QWidget* widget;
  const ControlBinding* binding;
  const FieldRow* row;
  int part;
};
// Whether the page of the field's part has a control for it.
bool PageShows(const FieldRow& row);

// The controls of the part's page below `window`, in binding order.
std::vector<BoundControl> PageControls(const QWidget& window, FieldPart part);
// The field of a page control, or null for any other object.
const FieldRow* FieldOfControl(const QObject& control);

// The page's controls into `record` (of the part), field by field: a number that is no integer
// raises ConversionError with the fields before it already taken.
void GatherPage(const QWidget& window, FieldPart part, void* record);
// The record's values into the page's controls; a control is enabled for the firmware classes
// that take its field (see ControlBinding::enabled_for); one every class takes is left as it is.
void ShowPage(const QWidget& window, FieldPart part, const void* record, int version_index);
// The first text edit of the page, in the order the commands go out, whose text has a character
// beyond Latin-1, which its record cannot hold, or when `to_send` one its command cannot carry;
// kNone when there is none.
SettingField CheckPageTexts(const QWidget& window, FieldPart part, bool to_send);

// The values the part's page starts with on a system in `language`, over the record gathered
// from the controls as the form left them.
void StartPage(FieldPart part, Language language, void* record);

// A typed key of a text field: Backspace and the ASCII characters the field may hold pass; any
// other key is set to 0, which swallows it.
void FilterTypedKey(const FieldRow& row, QChar& key);

}  // namespace krt6
