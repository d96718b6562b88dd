#pragma once

#include <QString>

#include <initializer_list>
#include <variant>

namespace zandrel {

// One argument of formatText: a text for %s, a whole number for %d and for the width and
// precision of %*.*f, a real number for %*.*f.
using FormatArgument = std::variant<QString, int, double>;

// Formats a text with the placeholders of the string table: %s, %d, %*.*f (width and precision
// taken from the arguments) and %% for a percent sign. Real numbers use the given decimal
// separator; an infinite one is written ∞. A placeholder without a fitting argument is left as written, so a faulty
// translation shows its fault instead of crashing.
QString formatText(const QString &format, std::initializer_list<FormatArgument> arguments,
                   QChar decimalSeparator = u'.');

} // namespace zandrel
