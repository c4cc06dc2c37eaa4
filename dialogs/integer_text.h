// Reading a number field the way the program's conversion error describes it.
#pragma once

#include <QString>
#include <optional>

namespace krt6 {

// Optional leading blanks, an optional sign, then only decimal digits whose value fits in 32
// bits; anything else (an empty text, letters, trailing characters) gives no value.
std::optional<int> IntegerFromText(const QString& text);

// "'<text>' is not a valid integer value".
QString NotAnIntegerText(const QString& text);

}  // namespace krt6
