#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace zandrel {

// The lines of a style sheet file as they are stored: bytes with their own line ends, so that
// writing them back changes nothing but a rewritten line, whatever the file's encoding.
struct StyleSheetLine {
    QByteArray text;
    QByteArray end; // "\n", "\r\n", or empty for a last line without line end
};
using StyleSheetLines = std::vector<StyleSheetLine>;

StyleSheetLines splitLines(const QByteArray &content);
QByteArray joinLines(const StyleSheetLines &lines);

// nullopt when the file cannot be read; *error then says why.
std::optional<StyleSheetLines> readStyleSheetLines(const QString &path, QString *error);

// Replaces the file atomically with the lines, keeping its permissions. False with a reason
// when that fails; the file then stays as it was.
bool writeStyleSheetLines(const QString &path, const StyleSheetLines &lines, QString *error);

// A select value as it stands between the double quotes of an attribute in the file.
QString escapeAttributeText(const QString &value);

// True when XML can hold every character of the text.
bool isXmlText(const QString &text);

// Puts the value into the select attribute of the first line that holds
// <xsl:variable name="target". True when that line changed; a value equal to the old one
// (letters a to z compared without regard to case) changes nothing, and so does a value that
// XML cannot hold.
bool UpdateVariableLine(StyleSheetLines &lines, const QString &target, const QString &value);

} // namespace zandrel
