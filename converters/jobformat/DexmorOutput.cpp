#include "DexmorOutput.h"

namespace zjob {

namespace {

// Characters that would let a name break out of its tag.
// The ASCII characters that XML names may hold; letters beyond ASCII are let through whole.
bool isNameCharacter(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
           || c == '_' || c == ':' || c >= 0x80;
}

void checkText(std::string_view text, std::uint64_t offset);

void checkName(std::string_view name, std::uint64_t offset)
{
    if (name.empty())
        throw FormatError("an empty name", offset);
    checkText(name, offset); // letters beyond ASCII must be whole UTF-8 characters
    for (const unsigned char c : name) {
        if (!isNameCharacter(c))
            throw FormatError("a name with a character that names cannot hold", offset);
    }
    const unsigned char first = static_cast<unsigned char>(name.front());
    if (first == '-' || first == '.' || (first >= '0' && first <= '9'))
        throw FormatError("a name that starts with a character that names cannot start with", offset);
}

// Text that an XML document can hold: well-formed UTF-8 without control characters other than
// tab, line feed and carriage return, and without the two non-characters U+FFFE and U+FFFF.
void checkText(std::string_view text, std::uint64_t offset)
{
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                throw FormatError("text with a control character", offset);
            ++i;
            continue;
        }
        const std::size_t length = (c >= 0xC2 && c <= 0xDF)   ? 2
                                   : (c >= 0xE0 && c <= 0xEF) ? 3
                                   : (c >= 0xF0 && c <= 0xF4) ? 4
                                                              : 0;
        if (length == 0 || i + length > text.size())
            throw FormatError("text that is not UTF-8", offset);
        std::uint32_t code = c & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                throw FormatError("text that is not UTF-8", offset);
            code = (code << 6) | (next & 0x3F);
        }
        const std::uint32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF)
            throw FormatError("text that is not UTF-8", offset);
        i += length;
    }
}

bool isBlank(const std::string &text)
{
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// The replacement of a character in text, or null when it stands as it is.
const char *textEscape(char c)
{
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '\r': // a reader would turn a bare CR into LF
        return "&#13;";
    default:
        return nullptr;
    }
}

const char *attributeEscape(char c)
{
    switch (c) {
    case '"':
        return "&quot;";
    // A reader turns these into blanks inside attribute values; references keep them.
    case '\t':
        return "&#9;";
    case '\n':
        return "&#10;";
    default:
        return textEscape(c);
    }
}

// Collects the output in a large buffer and hands it to the stream in big pieces.
class XmlOut {
public:
    explicit XmlOut(std::FILE *file) : m_file(file) { m_buffer.reserve(bufferSize); }
    ~XmlOut() { flush(); }
    XmlOut(const XmlOut &) = delete;
    XmlOut &operator=(const XmlOut &) = delete;

    void put(std::string_view text)
    {
        m_buffer.append(text);
        if (m_buffer.size() >= bufferSize)
            flush();
    }
    void put(char c)
    {
        m_buffer.push_back(c);
        if (m_buffer.size() >= bufferSize)
            flush();
    }
    template <typename Escape> void putEscaped(std::string_view text, Escape escape)
    {
        std::size_t plain = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (const char *replacement = escape(text[i])) {
                m_buffer.append(text.substr(plain, i - plain));
                m_buffer.append(replacement);
                plain = i + 1;
            }
        }
        put(text.substr(plain));
    }
    void flush()
    {
        if (!m_buffer.empty())
            std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file);
        m_buffer.clear();
    }

private:
    static constexpr std::size_t bufferSize = 1 << 20;
    std::FILE *m_file;
    std::string m_buffer;
};

std::string escaped(const std::string &text, const char *(*escape)(char))
{
    std::string out;
    for (const char c : text) {
        const char *replacement = escape(c);
        out += replacement ? replacement : std::string(1, c);
    }
    return out;
}

} // namespace

std::string escapeText(const std::string &text)
{
    return escaped(text, textEscape);
}

std::string escapeAttribute(const std::string &value)
{
    return escaped(value, attributeEscape);
}

OutputResult writeDexmor(Reader &reader, std::FILE *file, const OutputExtras &extras)
{
    XmlOut out(file);
    Reader::Record record;
    ElementStartView element;
    std::vector<std::string> openElements;
    bool rootSeen = false;
    bool anyNode = false;
    std::uint64_t count = 0;

    for (;;) {
        const std::uint64_t offset = reader.offset();
        reader.next(record);
        if (extras.keepGoing && ++count % 1024 == 0 && !extras.keepGoing())
            return OutputResult::Stopped;
        const bool topLevel = openElements.empty();
        switch (record.type) {
        case RecordType::Declaration: {
            if (anyNode)
                throw FormatError("a declaration after the start of the document", offset);
            const Declaration declaration = parseDeclaration(record, offset);
            // XML versions are "1." followed by digits.
            const std::string &version = declaration.version;
            if (version.size() < 3 || version.compare(0, 2, "1.") != 0 ||
                version.find_first_not_of("0123456789", 2) != std::string::npos)
                throw FormatError("a declaration with an unusable version", offset);
            out.put("<?xml version=\"" + declaration.version + '"');
            if (declaration.hasEncoding)
                out.put(" encoding=\"UTF-8\"");
            if (declaration.standalone >= 0)
                out.put(declaration.standalone ? " standalone=\"yes\"" : " standalone=\"no\"");
            out.put("?>\n");
            if (!extras.traceComment.empty())
                out.put("<!--" + extras.traceComment + "-->\n");
            anyNode = true;
            break;
        }
        case RecordType::ElementStart: {
            parseElementStart(record, offset, element);
            checkName(element.name, offset);
            if (topLevel && rootSeen)
                throw FormatError("a second root element", offset);
            out.put('<');
            out.put(element.name);
            for (const auto &[name, value] : element.attributes) {
                checkName(name, offset);
                out.put(' ');
                out.put(name);
                out.put("=\"");
                checkText(value, offset);
                out.putEscaped(value, attributeEscape);
                out.put('"');
            }
            if (element.empty) {
                out.put("/>");
                if (topLevel)
                    out.put('\n');
            } else {
                out.put('>');
                openElements.emplace_back(element.name);
            }
            rootSeen = rootSeen || topLevel;
            anyNode = true;
            break;
        }
        case RecordType::ElementEnd:
            if (!record.payload.empty())
                throw FormatError("an element end with content", offset);
            if (topLevel)
                throw FormatError("an element end without its start", offset);
            if (openElements.size() == 1) {
                for (const std::string &line : extras.linesBeforeRootEnd) {
                    out.put(line);
                    out.put('\n');
                }
            }
            out.put("</");
            out.put(openElements.back());
            out.put('>');
            openElements.pop_back();
            if (openElements.empty())
                out.put('\n');
            break;
        case RecordType::Text:
            if (topLevel) {
                if (!isBlank(record.payload))
                    throw FormatError("text outside the root element", offset);
                break; // the layout between top-level nodes is the output's own
            }
            checkText(record.payload, offset);
            out.putEscaped(record.payload, textEscape);
            break;
        case RecordType::CData:
            if (topLevel)
                throw FormatError("a CDATA section outside the root element", offset);
            if (record.payload.find("]]>") != std::string::npos)
                throw FormatError("a CDATA section holding its own end", offset);
            checkText(record.payload, offset);
            out.put("<![CDATA[" + record.payload + "]]>");
            break;
        case RecordType::Comment:
            if (record.payload.find("--") != std::string::npos ||
                (!record.payload.empty() && record.payload.back() == '-'))
                throw FormatError("a comment that would end early", offset);
            checkText(record.payload, offset);
            out.put("<!--" + record.payload + "-->");
            if (topLevel)
                out.put('\n');
            anyNode = true;
            break;
        case RecordType::ProcessingInstruction: {
            PayloadReader payload(record.payload, offset);
            const std::string target = payload.string();
            const std::string data = payload.string();
            payload.finish();
            checkName(target, offset);
            if (data.find("?>") != std::string::npos)
                throw FormatError("a processing instruction holding its own end", offset);
            checkText(data, offset);
            out.put("<?" + target + (data.empty() ? std::string() : ' ' + data) + "?>");
            if (topLevel)
                out.put('\n');
            anyNode = true;
            break;
        }
        case RecordType::End:
            if (!topLevel)
                throw FormatError("the job file ends inside an element", offset);
            if (!rootSeen)
                throw FormatError("the job file holds no root element", offset);
            return OutputResult::Written;
        default:
            throw FormatError("a directive among the document records", offset);
        }
    }
}

} // namespace zjob
