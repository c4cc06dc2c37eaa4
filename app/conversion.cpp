#include "app/conversion.h"

#include <optional>

#include "dialogs/integer_text.h"

namespace krt6 {

ConversionError::ConversionError(const QString& text)
    : std::runtime_error(NotAnIntegerText(text).toStdString()) {}

int StrToInt(const QString& text) {
  const std::optional<int> value = IntegerFromText(text);
  if (!value) throw ConversionError(text);
  return *value;
}

}  // namespace krt6
