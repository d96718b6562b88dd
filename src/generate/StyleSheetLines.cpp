#include "StyleSheetLines.h"

#include "platform/FileDescriptor.h"
#include "platform/FileNames.h"
#include "platform/FileOperations.h"
#include "platform/SystemError.h"
#include "uservalue/UserValue.h"

#include <cerrno>
#include <fcntl.h>
#include <vector>

namespace zandrel {

namespace {

QString upperAsciiLetters(QString text)
{
    for (QChar &c : text)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    return text;
}

bool isXmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// One attribute of a start tag: its name and where its value stands between the quotes.
struct Attribute {
    QStringView name;
    qsizetype valueStart = 0;
    qsizetype valueEnd = 0;
    QChar quote;
};

struct StartTag {
    QStringView name;
    std::vector<Attribute> attributes;
    qsizetype end = 0; // just after the closing ">"

    const Attribute *attribute(QStringView wanted) const
    {
        for (const Attribute &candidate : attributes)
            if (candidate.name == wanted)
                return &candidate;
        return nullptr;
    }
};

// Reads the start tag whose name begins at the position; nullopt when it is not well-formed.
std::optional<StartTag> readStartTag(const QString &text, qsizetype at)
{
    const qsizetype size = text.size();
    auto skipSpaces = [&] {
        while (at < size && isXmlSpace(text.at(at)))
            ++at;
    };
    auto isNameEnd = [&](QChar c) { return isXmlSpace(c) || c == u'=' || c == u'/' || c == u'>'; };
    StartTag tag;
    const qsizetype nameStart = at;
    while (at < size && !isNameEnd(text.at(at)))
        ++at;
    tag.name = QStringView(text).mid(nameStart, at - nameStart);
    for (;;) {
        skipSpaces();
        if (at >= size)
            return std::nullopt;
        if (text.at(at) == u'>') {
            tag.end = at + 1;
            return tag;
        }
        if (text.at(at) == u'/' && at + 1 < size && text.at(at + 1) == u'>') {
            tag.end = at + 2;
            return tag;
        }
        const qsizetype attributeStart = at;
        while (at < size && !isNameEnd(text.at(at)))
            ++at;
        Attribute attribute;
        attribute.name = QStringView(text).mid(attributeStart, at - attributeStart);
        skipSpaces();
        if (attribute.name.isEmpty() || at >= size || text.at(at) != u'=')
            return std::nullopt;
        ++at;
        skipSpaces();
        if (at >= size || (text.at(at) != u'"' && text.at(at) != u'\''))
            return std::nullopt;
        attribute.quote = text.at(at);
        attribute.valueStart = at + 1;
        attribute.valueEnd = text.indexOf(attribute.quote, attribute.valueStart);
        if (attribute.valueEnd < 0)
            return std::nullopt;
        at = attribute.valueEnd + 1;
        tag.attributes.push_back(attribute);
    }
}

// Just after the terminator that follows the position; -1 when there is none.
qsizetype skipPast(const QString &text, qsizetype at, QStringView terminator)
{
    const qsizetype found = text.indexOf(terminator, at);
    return found < 0 ? -1 : found + terminator.size();
}

// Just after a "<!" declaration such as DOCTYPE, whose internal subset may hold quoted text,
// comments and declarations of its own.
qsizetype skipDeclaration(const QString &text, qsizetype at)
{
    int depth = 0;
    while (at < text.size()) {
        const QChar c = text.at(at);
        if (c == u'"' || c == u'\'') {
            at = skipPast(text, at + 1, QStringView(&c, 1));
            if (at < 0)
                return -1;
            continue;
        }
        if (QStringView(text).mid(at).startsWith(u"<!--")) {
            at = skipPast(text, at + 4, u"-->");
            if (at < 0)
                return -1;
            continue;
        }
        if (c == u'[')
            ++depth;
        else if (c == u']')
            --depth;
        else if (c == u'>' && depth <= 0)
            return at + 1;
        ++at;
    }
    return -1;
}

// The select attribute of the first xsl:variable element named target, outside comments, CDATA
// sections, processing instructions and declarations.
std::optional<Attribute> findVariableSelect(const QString &text, const QString &target)
{
    qsizetype at = 0;
    while (at >= 0) {
        const qsizetype open = text.indexOf(u'<', at);
        if (open < 0)
            return std::nullopt;
        const QStringView markup = QStringView(text).mid(open);
        if (markup.startsWith(u"<!--")) {
            at = skipPast(text, open + 4, u"-->");
        } else if (markup.startsWith(u"<![CDATA[")) {
            at = skipPast(text, open + 9, u"]]>");
        } else if (markup.startsWith(u"<?")) {
            at = skipPast(text, open + 2, u"?>");
        } else if (markup.startsWith(u"<!")) {
            at = skipDeclaration(text, open + 2);
        } else if (markup.startsWith(u"</")) {
            at = skipPast(text, open + 2, u">");
        } else {
            const std::optional<StartTag> tag = readStartTag(text, open + 1);
            if (!tag)
                return std::nullopt;
            if (tag->name == u"xsl:variable") {
                const Attribute *name = tag->attribute(u"name");
                const Attribute *select = tag->attribute(u"select");
                if (name && select &&
                    unescapeAttributeText(
                        QStringView(text).mid(name->valueStart, name->valueEnd - name->valueStart)) == target)
                    return *select;
            }
            at = tag->end;
        }
    }
    return std::nullopt;
}

} // namespace

QString unescapeAttributeText(QStringView raw)
{
    QString value;
    value.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c == u'\r') {
            if (i + 1 < raw.size() && raw.at(i + 1) == u'\n')
                ++i;
            value += u' ';
        } else if (c == u'\n' || c == u'\t') {
            value += u' ';
        } else if (c == u'&' && raw.indexOf(u';', i) > i) {
            const qsizetype end = raw.indexOf(u';', i);
            const QStringView reference = raw.mid(i + 1, end - i - 1);
            bool ok = false;
            char32_t codePoint = 0;
            if (reference.startsWith(u"#x"))
                codePoint = reference.mid(2).toUInt(&ok, 16);
            else if (reference.startsWith(u'#'))
                codePoint = reference.mid(1).toUInt(&ok, 10);
            if (ok)
                value += QString::fromUcs4(&codePoint, 1);
            else if (reference == u"lt")
                value += u'<';
            else if (reference == u"gt")
                value += u'>';
            else if (reference == u"amp")
                value += u'&';
            else if (reference == u"quot")
                value += u'"';
            else if (reference == u"apos")
                value += u'\'';
            else
                value += raw.mid(i, end - i + 1); // an entity of the document's own, kept as written
            i = end;
        } else {
            value += c;
        }
    }
    return value;
}

StyleSheetLines::StyleSheetLines(QByteArray bytes, std::optional<platform::FileIdentity> readFrom)
    : m_bytes(std::move(bytes)), m_readFrom(readFrom), m_readBytes(m_bytes)
{
    const std::optional<processor::XmlFileEncoding> encoding = processor::detectXmlEncoding(m_bytes);
    if (!encoding)
        return;
    m_codec = processor::TextCodec::forName(encoding->name);
    m_bodyStart = encoding->bomLength;
    const std::optional<QString> text =
        m_codec ? m_codec->decode(m_bytes.mid(m_bodyStart)) : std::optional<QString>();
    if (!text) {
        m_codec.reset();
        return;
    }
    m_text = *text;
}

std::optional<StyleSheetLines> readStyleSheetLines(const QString &path, QString *error)
{
    const platform::FileDescriptor file(
        ::open(platform::nativeFileName(path).constData(), O_RDONLY | O_CLOEXEC));
    const std::optional<platform::FileIdentity> identity =
        file.isOpen() ? platform::FileIdentity::of(file.get()) : std::nullopt;
    QByteArray bytes;
    if (!file.isOpen() || !platform::readAllFrom(file.get(), bytes)) {
        if (error)
            *error = platform::systemErrorText(errno);
        return std::nullopt;
    }
    return StyleSheetLines(std::move(bytes), identity);
}

QByteArray StyleSheetLines::blank() const
{
    return m_codec ? m_codec->encodeForXml(QStringLiteral(" ")).value_or(QByteArray()) : QByteArray();
}

platform::RewriteResult writeStyleSheetLines(const QString &path, const StyleSheetLines &lines,
                                             QString *error)
{
    if (lines.readFrom())
        return platform::rewriteFileAsRead(path, lines.bytes(), *lines.readFrom(), lines.readBytes(), error,
                                           lines.blank());
    // Read from a FIFO or a device: there is no file to keep the answers in.
    if (error)
        *error = QStringLiteral("It is not a regular file.");
    return platform::RewriteResult::Failed;
}

QString escapeAttributeText(const QString &value, QChar quote)
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
            if (c == quote)
                escaped += c == u'"' ? QStringLiteral("&quot;") : QStringLiteral("&apos;");
            else
                escaped += c;
        }
    }
    return escaped;
}

bool UpdateVariableLine(StyleSheetLines &lines, const QString &target, const QString &value)
{
    // A value that XML cannot hold would leave the file unreadable: it applies to this run only.
    if (!lines.m_codec || !isXmlText(value))
        return false;
    const std::optional<Attribute> select = findVariableSelect(lines.m_text, target);
    if (!select)
        return false;
    const QStringView old =
        QStringView(lines.m_text).mid(select->valueStart, select->valueEnd - select->valueStart);
    if (upperAsciiLetters(unescapeAttributeText(old)) == upperAsciiLetters(value))
        return false;

    // Only the value's bytes change: the text around it, encoded again, must give the file's own
    // bytes, or the file is left alone.
    const processor::TextCodec &codec = *lines.m_codec;
    const std::optional<QByteArray> head = codec.encodeForXml(lines.m_text.left(select->valueStart));
    const std::optional<QByteArray> tail = codec.encodeForXml(lines.m_text.mid(select->valueEnd));
    const std::optional<QByteArray> newValue = codec.encodeForXml(escapeAttributeText(value, select->quote));
    const QByteArrayView body = QByteArrayView(lines.m_bytes).sliced(lines.m_bodyStart);
    if (!head || !tail || !newValue || head->size() + tail->size() > body.size() || !body.startsWith(*head) ||
        !body.endsWith(*tail))
        return false;
    QByteArray bytes =
        lines.m_bytes.left(lines.m_bodyStart + head->size()) + *newValue + lines.m_bytes.right(tail->size());
    std::optional<QString> text = codec.decode(bytes.mid(lines.m_bodyStart));
    if (!text)
        return false;
    lines.m_bytes = std::move(bytes);
    lines.m_text = std::move(*text);
    return true;
}

} // namespace zandrel
