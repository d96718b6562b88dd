// zandrel-jobwrite: writes a Job file of the stand-in format from a Dexmor file, so that samples
// and tests can make Job files. It then reads the Job file back with the converter's own code and
// checks that it gives the Dexmor file back.

#include "DexmorOutput.h"
#include "JobFile.h"

#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>
#include <libxml/xmlversion.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char usage[] =
    "Usage: zandrel-jobwrite --product <ostrelle|sarnetto|bramwick> --version <number> [options]\n"
    "                        <Dexmor file> <Job file>\n"
    "Options:\n"
    "  --exact             fail unless the Job file gives the Dexmor file back byte for byte\n"
    "  --inspect <how>     accept | any | refuse | answer:<result>:<version> | raise:<text> | crash |\n"
    "                      throw:<text> | hang:<fifo>\n"
    "  --translate <how>   convert | fail | claim | raise:<text> | crash | exit | throw:<text> |\n"
    "                      hang:<fifo> | background:<fifo>\n"
    "  --grid-file <name>  a grid file the job needs from the GeoData folder (may be repeated)\n"
    "  --trace             the converter writes the arguments it was called with into a comment\n";

struct Options {
    std::string dexmorFile;
    std::string jobFile;
    std::optional<zjob::Product> product;
    std::optional<std::int16_t> version;
    bool exact = false;
    zjob::Directives directives;
};

class UsageError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

struct ReaderFree {
    void operator()(xmlTextReaderPtr reader) const { xmlFreeTextReader(reader); }
};

std::string lowered(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return out;
}

std::int16_t parseShort(const std::string &text, const char *what)
{
    std::size_t used = 0;
    long value = 0;
    try {
        value = std::stol(text, &used, 10);
    } catch (const std::exception &) {
        used = 0;
    }
    if (used != text.size() || text.empty() || value < -32768 || value > 32767)
        throw UsageError(std::string(what) + " must be a whole number from -32768 to 32767, not \"" + text +
                         '"');
    return static_cast<std::int16_t>(value);
}

zjob::Product parseProduct(const std::string &text)
{
    const std::string name = lowered(text);
    if (name == "ostrelle" || name == "0")
        return zjob::Product::Ostrelle;
    if (name == "sarnetto" || name == "1")
        return zjob::Product::Sarnetto;
    if (name == "bramwick" || name == "2")
        return zjob::Product::Bramwick;
    throw UsageError("unknown product \"" + text + '"');
}

void parseInspect(const std::string &text, zjob::Directives &directives)
{
    const std::string how = text.substr(0, text.find(':'));
    const std::string rest = how.size() < text.size() ? text.substr(how.size() + 1) : std::string();
    if (how == "accept") {
        directives.inspect = zjob::InspectBehaviour::Accept;
    } else if (how == "any") {
        directives.inspect = zjob::InspectBehaviour::AcceptAny;
    } else if (how == "refuse") {
        directives.inspect = zjob::InspectBehaviour::Refuse;
    } else if (how == "answer") {
        const std::size_t colon = rest.find(':');
        if (colon == std::string::npos)
            throw UsageError("--inspect answer needs <result>:<version>");
        directives.inspect = zjob::InspectBehaviour::Answer;
        directives.inspectResult = parseShort(rest.substr(0, colon), "the inspection result");
        directives.inspectVersion = parseShort(rest.substr(colon + 1), "the reported version");
    } else if (how == "raise") {
        directives.inspect = zjob::InspectBehaviour::Raise;
        directives.inspectText = rest;
    } else if (how == "crash") {
        directives.inspect = zjob::InspectBehaviour::Crash;
    } else if (how == "throw") {
        directives.inspect = zjob::InspectBehaviour::Throw;
        directives.inspectText = rest;
    } else if (how == "hang" && !rest.empty()) {
        directives.inspect = zjob::InspectBehaviour::Hang;
        directives.inspectText = rest;
    } else {
        throw UsageError("unknown --inspect behaviour \"" + text + '"');
    }
}

void parseTranslate(const std::string &text, zjob::Directives &directives)
{
    const std::string how = text.substr(0, text.find(':'));
    const std::string rest = how.size() < text.size() ? text.substr(how.size() + 1) : std::string();
    if (how == "convert")
        directives.translate = zjob::TranslateBehaviour::Convert;
    else if (how == "fail")
        directives.translate = zjob::TranslateBehaviour::Fail;
    else if (how == "claim")
        directives.translate = zjob::TranslateBehaviour::Claim;
    else if (how == "raise")
        directives.translate = zjob::TranslateBehaviour::Raise;
    else if (how == "crash")
        directives.translate = zjob::TranslateBehaviour::Crash;
    else if (how == "exit")
        directives.translate = zjob::TranslateBehaviour::Exit;
    else if (how == "throw")
        directives.translate = zjob::TranslateBehaviour::Throw;
    else if (how == "hang" && !rest.empty())
        directives.translate = zjob::TranslateBehaviour::Hang;
    else if (how == "background" && !rest.empty())
        directives.translate = zjob::TranslateBehaviour::Background;
    else
        throw UsageError("unknown --translate behaviour \"" + text + '"');
    directives.translateText = rest;
}

Options parseArguments(int argc, char **argv)
{
    Options options;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw UsageError(argument + " needs a value");
            return argv[++i];
        };
        if (argument == "--product")
            options.product = parseProduct(value());
        else if (argument == "--version")
            options.version = parseShort(value(), "--version");
        else if (argument == "--exact")
            options.exact = true;
        else if (argument == "--inspect")
            parseInspect(value(), options.directives);
        else if (argument == "--translate")
            parseTranslate(value(), options.directives);
        else if (argument == "--grid-file")
            options.directives.gridFiles.push_back(value());
        else if (argument == "--trace")
            options.directives.trace = true;
        else if (argument.size() > 1 && argument[0] == '-')
            throw UsageError("unknown option " + argument);
        else
            files.push_back(argument);
    }
    if (files.size() != 2)
        throw UsageError("a Dexmor file and a Job file must be given");
    if (!options.product || !options.version)
        throw UsageError("--product and --version must be given");
    options.dexmorFile = files[0];
    options.jobFile = files[1];
    return options;
}

// The first error the XML reader reports, for the message.
void keepFirstError(void *context, const xmlError *error)
{
    auto *message = static_cast<std::string *>(context);
    if (message->empty() && error && error->message) {
        *message = error->message;
        while (!message->empty() && (message->back() == '\n' || message->back() == ' '))
            message->pop_back();
        *message += " (line " + std::to_string(error->line) + ")";
    }
}

// libxml2 reports no difference between a document with and one without an XML declaration.
bool startsWithDeclaration(const std::string &path)
{
    const FilePointer file{std::fopen(path.c_str(), "rb")};
    char start[9] = {};
    const std::size_t read = file ? std::fread(start, 1, sizeof start, file.get()) : 0;
    std::string_view text(start, read);
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    return text.size() >= 6 && text.substr(0, 5) == "<?xml" &&
           (text[5] == ' ' || text[5] == '\t' || text[5] == '\r' || text[5] == '\n');
}

std::string text(const xmlChar *value)
{
    return value ? reinterpret_cast<const char *>(value) : std::string();
}

void writeDocument(const Options &options, zjob::Writer &writer)
{
    std::string xmlError;
    std::unique_ptr<xmlTextReader, ReaderFree> reader{
        xmlReaderForFile(options.dexmorFile.c_str(), nullptr, XML_PARSE_NONET)};
    if (!reader)
        throw std::runtime_error("cannot open " + options.dexmorFile);
    // The handler's error argument is const since libxml2 2.12.
#if LIBXML_VERSION >= 21200
    const auto handler = [](void *context, const ::xmlError *error) { keepFirstError(context, error); };
#else
    const auto handler = [](void *context, ::xmlError *error) { keepFirstError(context, error); };
#endif
    xmlTextReaderSetStructuredErrorHandler(reader.get(), handler, &xmlError);

    const bool declared = startsWithDeclaration(options.dexmorFile);
    bool first = true;
    int status = 0;
    while ((status = xmlTextReaderRead(reader.get())) == 1) {
        if (first) {
            first = false;
            if (declared) {
                zjob::Declaration declaration;
                declaration.version = text(xmlTextReaderConstXmlVersion(reader.get()));
                declaration.hasEncoding = xmlTextReaderConstEncoding(reader.get()) != nullptr;
                // libxml2 gives -2 for a declaration without a standalone attribute.
                const int standalone = xmlTextReaderStandalone(reader.get());
                declaration.standalone =
                    static_cast<std::int8_t>(standalone == 0 || standalone == 1 ? standalone : -1);
                writer.declaration(declaration);
            }
        }
        xmlTextReaderPtr node = reader.get();
        switch (xmlTextReaderNodeType(node)) {
        case XML_READER_TYPE_ELEMENT: {
            const std::string name = text(xmlTextReaderConstName(node));
            const bool empty = xmlTextReaderIsEmptyElement(node) == 1;
            std::vector<zjob::Attribute> attributes;
            while (xmlTextReaderMoveToNextAttribute(node) == 1)
                attributes.push_back(
                    {text(xmlTextReaderConstName(node)), text(xmlTextReaderConstValue(node))});
            xmlTextReaderMoveToElement(node);
            writer.elementStart(name, attributes, empty);
            break;
        }
        case XML_READER_TYPE_END_ELEMENT:
            writer.elementEnd();
            break;
        case XML_READER_TYPE_TEXT:
        case XML_READER_TYPE_WHITESPACE:
        case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
            writer.text(text(xmlTextReaderConstValue(node)));
            break;
        case XML_READER_TYPE_CDATA:
            writer.cdata(text(xmlTextReaderConstValue(node)));
            break;
        case XML_READER_TYPE_COMMENT:
            writer.comment(text(xmlTextReaderConstValue(node)));
            break;
        case XML_READER_TYPE_PROCESSING_INSTRUCTION:
            writer.processingInstruction(text(xmlTextReaderConstName(node)),
                                         text(xmlTextReaderConstValue(node)));
            break;
        case XML_READER_TYPE_DOCUMENT_TYPE:
            throw std::runtime_error(options.dexmorFile +
                                     ": a document type declaration cannot be carried by a Job file");
        case XML_READER_TYPE_ENTITY_REFERENCE:
            throw std::runtime_error(options.dexmorFile +
                                     ": an entity reference cannot be carried by a Job file");
        default:
            break;
        }
    }
    if (status != 0)
        throw std::runtime_error(options.dexmorFile + " is not a well-formed Dexmor file" +
                                 (xmlError.empty() ? std::string() : ": " + xmlError));
}

// The offset of the first byte where the two streams differ, or nothing when they are the same.
std::optional<std::uint64_t> firstDifference(std::FILE *a, std::FILE *b)
{
    std::rewind(a);
    std::rewind(b);
    std::vector<char> bufferA(1 << 16);
    std::vector<char> bufferB(1 << 16);
    std::uint64_t offset = 0;
    for (;;) {
        const std::size_t readA = std::fread(bufferA.data(), 1, bufferA.size(), a);
        const std::size_t readB = std::fread(bufferB.data(), 1, bufferB.size(), b);
        const std::size_t common = std::min(readA, readB);
        for (std::size_t i = 0; i < common; ++i) {
            if (bufferA[i] != bufferB[i])
                return offset + i;
        }
        if (readA != readB)
            return offset + common;
        if (readA == 0)
            return std::nullopt;
        offset += readA;
    }
}

// Gives the Dexmor file back from the Job file as the converter does, and compares.
std::optional<std::uint64_t> checkRoundTrip(const std::string &jobFile, const std::string &dexmorFile)
{
    const FilePointer job{std::fopen(jobFile.c_str(), "rb")};
    const FilePointer original{std::fopen(dexmorFile.c_str(), "rb")};
    const FilePointer regenerated{std::tmpfile()};
    if (!job || !original || !regenerated)
        throw std::runtime_error(std::string("cannot check the Job file: ") + std::strerror(errno));
    zjob::Reader reader(job.get());
    zjob::Header header;
    if (!reader.readHeader(header))
        throw std::runtime_error("the Job file just written cannot be read back");
    reader.readDirectives();
    zjob::writeDexmor(reader, regenerated.get());
    if (std::fflush(regenerated.get()) != 0 || std::ferror(regenerated.get()))
        throw std::runtime_error("cannot check the Job file: the temporary copy could not be written");
    return firstDifference(original.get(), regenerated.get());
}

void writeJobFile(const Options &options, std::FILE *out, const std::string &name)
{
    zjob::Writer writer(out);
    writer.header({*options.product, *options.version});
    writer.directives(options.directives);
    writeDocument(options, writer);
    writer.end();
    if (std::fflush(out) != 0 || std::ferror(out))
        throw std::runtime_error("cannot write " + name + ": " + std::strerror(errno));
}

// The unfinished Job file, under a name of its own beside the Job file, so that the rename that
// completes it stays in one file system. A fixed name such as "<Job file>.part" would overwrite a
// file that happens to bear it, and two runs for one Job file would write into each other's.
// Removed unless it was moved into place.
class PartFile {
public:
    explicit PartFile(const std::string &target) : m_path(target + ".XXXXXX")
    {
        const int descriptor = ::mkstemp(m_path.data());
        if (descriptor < 0) {
            m_path.clear();
            throw std::runtime_error("cannot write " + target + ": " + std::strerror(errno));
        }
        // mkstemp gives the file to its owner alone; the Job file gets what any new file gets.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(descriptor, 0666 & ~mask) == 0)
            m_file.reset(::fdopen(descriptor, "wb"));
        if (!m_file) {
            const int error = errno;
            ::close(descriptor);
            // The destructor does not run for a constructor that throws.
            std::remove(m_path.c_str());
            throw std::runtime_error("cannot write " + target + ": " + std::strerror(error));
        }
    }
    ~PartFile()
    {
        m_file.reset();
        if (!m_path.empty())
            std::remove(m_path.c_str());
    }
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;
    std::FILE *file() const { return m_file.get(); }
    const std::string &path() const { return m_path; }
    void moveTo(const std::string &target)
    {
        if (std::fclose(m_file.release()) != 0 || std::rename(m_path.c_str(), target.c_str()) != 0)
            throw std::runtime_error("cannot write " + target + ": " + std::strerror(errno));
        m_path.clear();
    }

private:
    std::string m_path;
    FilePointer m_file;
};

int run(const Options &options)
{
    PartFile part(options.jobFile);
    writeJobFile(options, part.file(), options.jobFile);
    const std::optional<std::uint64_t> difference = checkRoundTrip(part.path(), options.dexmorFile);
    if (difference && options.exact)
        throw std::runtime_error("the Job file would give back a Dexmor file that differs from " +
                                 options.dexmorFile + " at byte " + std::to_string(*difference) +
                                 " (same content, other layout)");
    part.moveTo(options.jobFile);
    if (difference)
        std::fprintf(stderr,
                     "zandrel-jobwrite: note: the converted Dexmor file will differ from %s in layout from "
                     "byte %llu on\n",
                     options.dexmorFile.c_str(), static_cast<unsigned long long>(*difference));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return run(parseArguments(argc, argv));
    } catch (const UsageError &error) {
        std::fprintf(stderr, "zandrel-jobwrite: %s\n%s", error.what(), usage);
        return 2;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "zandrel-jobwrite: %s\n", error.what());
        return 1;
    }
}
