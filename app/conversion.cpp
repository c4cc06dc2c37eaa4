#include "app/conversion.h"

#include <limits>

namespace krt6 {

ConversionError::ConversionError(const QString& text)
    : std::runtime_error(
          QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString()) {}

int StrToInt(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && text[i] == QLatin1Char(' ')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
    negative = text[i] == QLatin1Char('-');
    ++i;
  }
  if (i >= text.size()) throw ConversionError(text);
  long long value = 0;
  for (; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) throw ConversionError(text);
    value = value * 10 + (c.unicode() - '0');
    if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1) {
      throw ConversionError(text);
    }
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min()) {
    throw ConversionError(text);
  }
  return static_cast<int>(value);
}

}  // namespace krt6
