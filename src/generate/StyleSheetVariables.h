#pragma once

#include "StyleSheetLines.h"
#include "uservalue/UserValue.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

namespace zandrel {

class Interaction;
namespace processor {
class XmlDocument;
}

// The value of a select text: '' is empty; a text in apostrophes (a doubled one counts as one)
// or in double quotes gives what stands between them, and a concat() of such texts their
// concatenation; anything else is taken whole.
QString UnquoteSelect(const QString &select);

// A select text that yields exactly the text: in apostrophes, in double quotes when the text
// holds an apostrophe, or a concat() when it holds both.
QString QuoteSelect(const QString &text);

// The output extension: the select value of the first xsl:variable named "fileExt", or "txt".
QString GetOutputExtension(const processor::XmlDocument &styleSheet);

// A user variable definition's type part, read.
struct ValueDefinition {
    bool valid = true;             // false for a faulty menu definition
    std::optional<ValueType> type; // not set by an empty or unknown type word
    QString minimumText;           // lower limit; for FILENAME the extension
    QString maximumText;
    QStringList menuEntries;
};
ValueDefinition ParseValueDefinition(const QString &typePart);

// A definition's fields: the target variable, the prompt, and the type part.
struct DefinitionFields {
    QString target;
    QString prompt;
    QString typePart;
};
DefinitionFields SplitDefinition(const QString &definition);

// The text offered for a target's select text: the select value, and for DOUBLE the number in
// the locale's form with as many decimals as the style sheet writes. Throws GenerationError
// when a DOUBLE value is no number.
QString FormatInitialValue(const QString &select, ValueType type, const QLocale &locale);

// A number written with "." whatever the locale. Throws GenerationError when it is none.
double StrToFloatDot(const QString &text);
// The shortest text with up to 15 significant digits and "." as decimal separator, without
// an exponent, so that it stays a valid number in an XPath expression.
QString FloatToStrDot(double value);

enum class UserVariablesResult { Applied, Cancelled, Failed };

// Asks for every user variable of the style sheet, sets the answers in the document, and
// writes them back into the style sheet file so that they are offered again next time.
UserVariablesResult ApplyUserVariables(processor::XmlDocument &styleSheet, const QString &styleSheetPath,
                                       Interaction &interaction, const QLocale &locale = QLocale::system());
// The same with the style sheet file as it was read when the document was loaded: a file that
// is a FIFO can be read only once.
UserVariablesResult ApplyUserVariables(processor::XmlDocument &styleSheet, const QString &styleSheetPath,
                                       StyleSheetLines styleSheetLines, Interaction &interaction,
                                       const QLocale &locale = QLocale::system());

} // namespace zandrel
