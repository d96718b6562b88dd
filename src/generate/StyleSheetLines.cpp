#include "StyleSheetLines.h"

#include "platform/FileOperations.h"

#include <QFile>
#include <QFileInfo>

namespace zandrel {

namespace {

QByteArray upperAsciiLetters(QByteArray text)
{
    for (char &c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

} // namespace

StyleSheetLines splitLines(const QByteArray &content)
{
    StyleSheetLines lines;
    qsizetype start = 0;
    while (start < content.size()) {
        const qsizetype newline = content.indexOf('\n', start);
        if (newline < 0) {
            lines.push_back({content.mid(start), {}});
            break;
        }
        const bool crlf = newline > start && content.at(newline - 1) == '\r';
        const qsizetype textEnd = crlf ? newline - 1 : newline;
        lines.push_back({content.mid(start, textEnd - start), crlf ? QByteArray("\r\n") : QByteArray("\n")});
        start = newline + 1;
    }
    return lines;
}

QByteArray joinLines(const StyleSheetLines &lines)
{
    QByteArray content;
    for (const StyleSheetLine &line : lines)
        content += line.text + line.end;
    return content;
}

std::optional<StyleSheetLines> readStyleSheetLines(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return splitLines(file.readAll());
}

bool writeStyleSheetLines(const QString &path, const StyleSheetLines &lines, QString *error)
{
    const QFile::Permissions permissions = QFileInfo(path).permissions();
    if (!platform::writeFileAtomically(path, joinLines(lines), error))
        return false;
    QFile::setPermissions(path, permissions);
    return true;
}

QString escapeAttributeText(const QString &value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'&':
            escaped += QStringLiteral("&amp;");
            break;
        case u'<':
            escaped += QStringLiteral("&lt;");
            break;
        case u'"':
            escaped += QStringLiteral("&quot;");
            break;
        // Written as references, since a parser turns them into blanks in an attribute.
        case u'\t':
            escaped += QStringLiteral("&#9;");
            break;
        case u'\n':
            escaped += QStringLiteral("&#10;");
            break;
        case u'\r':
            escaped += QStringLiteral("&#13;");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

bool isXmlText(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            return false;
        if (c == 0xFFFE || c == 0xFFFF)
            return false;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate())
                return false;
            ++i;
        } else if (QChar::isLowSurrogate(c)) {
            return false;
        }
    }
    return true;
}

bool UpdateVariableLine(StyleSheetLines &lines, const QString &target, const QString &value)
{
    // A value that XML cannot hold would leave the file unreadable: it applies to this run only.
    if (!isXmlText(value))
        return false;
    const QByteArray key = "<xsl:variable name=\"" + target.toUtf8() + '"';
    for (StyleSheetLine &line : lines) {
        if (!line.text.contains(key))
            continue;
        static const QByteArray select = "select=\"";
        const qsizetype selectAt = line.text.indexOf(select);
        if (selectAt < 0)
            return false;
        const qsizetype valueStart = selectAt + select.size();
        const qsizetype valueEnd = line.text.indexOf('"', valueStart);
        if (valueEnd < 0)
            return false;
        const QByteArray newValue = escapeAttributeText(value).toUtf8();
        if (upperAsciiLetters(line.text.mid(valueStart, valueEnd - valueStart)) == upperAsciiLetters(newValue))
            return false;
        line.text = line.text.left(valueStart) + newValue + line.text.mid(valueEnd);
        return true;
    }
    return false;
}

} // namespace zandrel
