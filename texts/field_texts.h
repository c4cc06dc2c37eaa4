// The fields of the Parameter Setting and Extra Setting pages in both languages: their captions,
// the item texts of their lists, and the operator's message when a value is refused.
#pragma once

#include <span>
#include <string>

#include "records/fields.h"
#include "texts/texts.h"

namespace krt6 {

// The caption of the field's label on its page ("FONT CODE", "COMM. SPEED"). The four fields of
// an address share the caption of the address ("IP ADDRESS"); both socket port fields read
// "SOCKET PORT". Fields the pages do not show (the carried values) have their own name. An empty
// pair for kNone and kVersion.
const TextPair& FieldCaption(SettingField field);

// The field as a message names it: its caption, and for an address field the number of the part
// ("IP ADDRESS 2"). Empty for kNone and kVersion.
std::string FieldName(SettingField field, Language language);

// The item texts of the field's list in item order, so that a record value is an index into
// them ("19200 bps" is item 3 of the communication speed). Empty for fields without a list of named
// items (the blank space length's items are its values, "2" to "99").
std::span<const TextPair> FieldItems(SettingField field);

// The operator's message for a refused value. It names the field and gives the values (or
// characters) that fit. Empty for kNone.
std::string RefusalText(SettingField field, Language language);

// The same message as the details of an exchange that was refused before anything was sent.
std::string RefusalDetail(SettingField field, Language language);

}  // namespace krt6
