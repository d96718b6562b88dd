#pragma once

#include <QString>

namespace zandrel {

class Interaction;
namespace platform {
class XmlDocument;
}

// The value of a "select" text: '' is empty; a text that starts with an apostrophe gives what
// stands up to the next single apostrophe (a doubled one counts as one); anything else is whole.
QString UnquoteSelect(const QString &select);

// The output extension: the select value of the first xsl:variable named "fileExt", or "txt".
QString GetOutputExtension(const platform::XmlDocument &styleSheet);

// Asks for the style sheet's user variables and writes the answers into the document and file.
// False when the user cancelled.
bool ApplyUserVariables(platform::XmlDocument &styleSheet, const QString &styleSheetPath,
                        Interaction &interaction);

} // namespace zandrel
