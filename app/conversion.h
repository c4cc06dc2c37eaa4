// The strict text-to-integer conversion the window uses when it gathers number fields.
#pragma once

#include <QString>
#include <stdexcept>
#include <string>

namespace krt6 {

// Raised when a number field does not hold an integer. Its text is the one shown to the
// operator: "'<text>' is not a valid integer value". Handlers catch it at their boundary.
class ConversionError : public std::runtime_error {
 public:
  explicit ConversionError(const QString& text);
};

// The rule of IntegerFromText (dialogs/integer_text.h): optional leading blanks, an optional
// sign and decimal digits that fit in 32 bits. Anything else raises ConversionError.
int StrToInt(const QString& text);

}  // namespace krt6
