#pragma once

#include "base/UserValueRequest.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

namespace zandrel {

// A number written with "." as decimal separator whatever the locale: leading blanks, a sign
// and an exponent are allowed, trailing blanks are not. nullopt when the text is no such number.
std::optional<double> parseDotNumber(const QString &text);

// The limits of a request: its limit texts read with "."; NoLimit where one does not parse.
struct ValueLimits {
    double minimum = NoLimit;
    double maximum = NoLimit;
};
ValueLimits parseLimits(const QString &minimumText, const QString &maximumText);

// Checks an answer as the OK button does. nullopt when it is accepted, otherwise the message
// to show. No answer may hold a character that a style sheet cannot store; DOUBLE answers are
// read with the locale's decimal separator, INTEGER answers as 32-bit whole numbers.
std::optional<QString> validateUserValue(const UserValueRequest &request, const QString &answer,
                                         const QLocale &locale);

// Reads a DOUBLE answer as the user typed it, in the locale's form.
std::optional<double> parseLocalNumber(const QString &answer, const QLocale &locale);

// The index of the last entry that equals the text when both are trimmed and upper-cased;
// -1 when none does.
int matchingMenuEntry(const QStringList &entries, const QString &text);

// True when XML can hold every character of the text: no control character but tab, line feed
// and carriage return, no unpaired surrogate, no U+FFFE or U+FFFF.
bool isXmlText(const QString &text);

// Trims white space and control characters at both ends.
QString trimmedText(const QString &text);

} // namespace zandrel
