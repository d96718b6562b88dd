#pragma once

#include "platform/FileOperations.h"
#include "processor/XmlEncoding.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace zandrel {

// A style sheet file as it is stored: its bytes, and its text in the encoding that its byte order
// mark or XML declaration names. Writing an answer changes the bytes of one attribute value and
// no other byte, line ends included.
class StyleSheetLines {
public:
    StyleSheetLines() = default;
    // The bytes, and which file they were read from when it is a regular file.
    explicit StyleSheetLines(QByteArray bytes, std::optional<platform::FileIdentity> readFrom = std::nullopt);

    const QByteArray &bytes() const { return m_bytes; }
    bool isEmpty() const { return m_bytes.isEmpty(); }
    const std::optional<platform::FileIdentity> &readFrom() const { return m_readFrom; }
    const QByteArray &readBytes() const { return m_readBytes; }
    // A blank in the file's encoding; empty when it cannot be written.
    QByteArray blank() const;

private:
    friend bool UpdateVariableLine(StyleSheetLines &lines, const QString &target, const QString &value);

    QByteArray m_bytes;
    std::optional<platform::FileIdentity> m_readFrom;
    QByteArray m_readBytes; // the bytes as they were read, before any answer
    // Without a codec (an encoding that cannot be read, bytes not valid in it) nothing is changed.
    std::optional<processor::TextCodec> m_codec;
    qsizetype m_bodyStart = 0; // after the byte order mark
    QString m_text;            // the bytes after the mark, decoded
};

// nullopt when the file cannot be read; *error then says why.
std::optional<StyleSheetLines> readStyleSheetLines(const QString &path, QString *error);

// Writes the lines over the file, keeping its owner, group and mode; only over the file they were
// read from, unchanged since (FileChanged otherwise). Failed with a reason when writing fails.
platform::RewriteResult writeStyleSheetLines(const QString &path, const StyleSheetLines &lines,
                                             QString *error);

// An attribute's text as a parser reports its value: references resolved, line ends and tabs
// read as blanks.
QString unescapeAttributeText(QStringView raw);

// A select value as it stands between the quotes of an attribute delimited by the quote.
QString escapeAttributeText(const QString &value, QChar quote = u'"');

// Puts the value into the select attribute of the first xsl:variable element, in document order,
// whose name is the target; markup in comments and CDATA sections does not count. True when the
// file changed; a value equal to the old one (letters a to z compared without regard to case)
// changes nothing, and so does a value that XML cannot hold.
bool UpdateVariableLine(StyleSheetLines &lines, const QString &target, const QString &value);

} // namespace zandrel
