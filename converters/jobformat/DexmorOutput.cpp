#include "DexmorOutput.h"

namespace zjob {

namespace {

// Characters that would let a name break out of its tag.
bool isNameCharacter(unsigned char c)
{
    switch (c) {
    case ' ':
    case '\t':
    case '\r':
    case '\n':
    case '<':
    case '>':
    case '&':
    case '"':
    case '\'':
    case '=':
    case '/':
    case '?':
    case '!':
        return false;
    default:
        return c >= 0x20; // control characters are no name characters
    }
}

void checkName(const std::string &name, std::uint64_t offset)
{
    if (name.empty())
        throw FormatError("an empty name", offset);
    for (const unsigned char c : name) {
        if (!isNameCharacter(c))
            throw FormatError("a name with a character that names cannot hold", offset);
    }
    const unsigned char first = static_cast<unsigned char>(name.front());
    if (first == '-' || first == '.' || (first >= '0' && first <= '9'))
        throw FormatError("a name that starts with a character that names cannot start with", offset);
}

bool isBlank(const std::string &text)
{
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

class XmlOut {
public:
    explicit XmlOut(std::FILE *file) : m_file(file) {}
    void put(const std::string &text) { std::fwrite(text.data(), 1, text.size(), m_file); }
    void put(char c) { std::fputc(c, m_file); }

private:
    std::FILE *m_file;
};

} // namespace

std::string escapeText(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '\r': // a reader would turn a bare CR into LF
            out += "&#13;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string escapeAttribute(const std::string &value)
{
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        // A reader turns these into blanks inside attribute values; references keep them.
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

OutputResult writeDexmor(Reader &reader, std::FILE *file, const OutputExtras &extras)
{
    XmlOut out(file);
    std::vector<std::string> openElements;
    bool rootSeen = false;
    bool anyNode = false;
    std::uint64_t count = 0;

    for (;;) {
        const std::uint64_t offset = reader.offset();
        const Reader::Record record = reader.next();
        if (extras.keepGoing && ++count % 1024 == 0 && !extras.keepGoing())
            return OutputResult::Stopped;
        const bool topLevel = openElements.empty();
        switch (record.type) {
        case RecordType::Declaration: {
            if (anyNode)
                throw FormatError("a declaration after the start of the document", offset);
            const Declaration declaration = parseDeclaration(record, offset);
            if (declaration.version.empty() || declaration.version.find_first_of("\"<>&?") != std::string::npos)
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
            std::string name;
            std::vector<Attribute> attributes;
            bool empty = false;
            parseElementStart(record, offset, name, attributes, empty);
            checkName(name, offset);
            if (topLevel && rootSeen)
                throw FormatError("a second root element", offset);
            out.put('<');
            out.put(name);
            for (const Attribute &attribute : attributes) {
                checkName(attribute.name, offset);
                out.put(' ');
                out.put(attribute.name);
                out.put("=\"" + escapeAttribute(attribute.value) + '"');
            }
            if (empty) {
                out.put("/>");
                if (topLevel)
                    out.put('\n');
            } else {
                out.put('>');
                openElements.push_back(std::move(name));
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
                for (const std::string &line : extras.linesBeforeRootEnd)
                    out.put(line + '\n');
            }
            out.put("</" + openElements.back() + '>');
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
            out.put(escapeText(record.payload));
            break;
        case RecordType::CData:
            if (topLevel)
                throw FormatError("a CDATA section outside the root element", offset);
            if (record.payload.find("]]>") != std::string::npos)
                throw FormatError("a CDATA section holding its own end", offset);
            out.put("<![CDATA[" + record.payload + "]]>");
            break;
        case RecordType::Comment:
            if (record.payload.find("--") != std::string::npos ||
                (!record.payload.empty() && record.payload.back() == '-'))
                throw FormatError("a comment that would end early", offset);
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
