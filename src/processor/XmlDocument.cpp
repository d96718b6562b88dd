#include "XmlDocument.h"
#include "platform/SystemError.h"
#include "processor/msxml/XmlSupport.h"

#include "ClassicNumbers.h"
#include "ProcessorMessages.h"
#include "XsltRun.h"
#include "platform/FileDescriptor.h"
#include "platform/FileNames.h"
#include "platform/FileOperations.h"
#include "processor/msxml/LibraryLayout.h"
#include "processor/msxml/MemoryCeiling.h"
#include "processor/msxml/MsxslExtensions.h"
#include "processor/msxml/NodeAllocator.h"
#include "processor/msxml/VirtualNewlines.h"
#include "processor/msxml/WhitespaceLoader.h"
#include "processor/msxml/WorkStop.h"

#include <QFile>

#include <libexslt/exslt.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/uri.h>
#include <libxml/xmlerror.h>
#include <libxslt/documents.h>
#include <libxslt/extensions.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrel::processor {

using platform::FileDescriptor;
using platform::nativeFileName;
using platform::systemErrorText;

namespace {

// Entities are expanded and CDATA becomes text, as the processor expects. A document type
// named by the DOCTYPE is read when it is a local file, for its entities and default attributes,
// as the original platform resolves externals by default; nothing is ever read from the network.
// (While white space is dropped, the loader turns CDATA into text itself: it must see where a
// section begins.) Short texts (most attribute values of a job) are kept inside their node,
// without an allocation of their own.
constexpr int documentParseOptions = XML_PARSE_NOENT | XML_PARSE_NOCDATA | XML_PARSE_NONET |
                                     XML_PARSE_DTDLOAD | XML_PARSE_DTDATTR | XML_PARSE_COMPACT;

// True for a URL that names something on the network: any scheme but file:. A Windows drive
// letter ("C:/...") is no scheme.
bool isNetworkUrl(const char *url)
{
    if (!url)
        return false;
    const char *colon = std::strchr(url, ':');
    if (!colon || colon - url < 2)
        return false;
    for (const char *c = url; c < colon; ++c)
        if (!std::isalnum(static_cast<unsigned char>(*c)) && *c != '+' && *c != '-' && *c != '.')
            return false;
    return !(colon - url == 4 && xmlStrncasecmp(reinterpret_cast<const xmlChar *>(url), xml("file"), 4) == 0);
}

// Every external document, entity and document type is read through here: local files only.
// A document type on the network is passed over with a warning, so a document that needs
// nothing from it (an XHTML DOCTYPE with its entities in the internal subset) still loads. An
// entity in a document's content that cannot be read is noted, and the document refused for it,
// as for an entity it does not define: its text must not go missing without a word.
xmlParserInputPtr localDocumentLoader(const char *url, const char *id, xmlParserCtxtPtr context)
{
    // Outside the document type (entities of the content), and not a document a style sheet
    // names (those fail on their own).
    const bool contentEntity = url && !openingNamedDocument() && context && context->inSubset == 0;
    if (isNetworkUrl(url)) {
        if (contentEntity)
            LoaderRecord::noteUnreadable(url, QStringLiteral("The network is never read."));
        if (context && context->sax && context->sax->warning)
            context->sax->warning(context, "The network is never read: %s was not loaded.\n", url);
        return nullptr;
    }
    const QByteArray path = url ? localPathOf(url) : QByteArray();
    // Only files: a document type or entity that names a FIFO or a device would wait for ever
    // or never end. A document that a style sheet names is the style sheet's own choice.
    if (url && !openingNamedDocument()) {
        struct stat status {};
        const bool found = ::stat(path.constData(), &status) == 0;
        if (!found || !S_ISREG(status.st_mode)) {
            if (contentEntity)
                LoaderRecord::noteUnreadable(path, !found ? systemErrorText(errno)
                                                   : S_ISDIR(status.st_mode)
                                                       ? systemErrorText(EISDIR)
                                                       : QStringLiteral("It is not a file."));
            if (found && context && context->sax && context->sax->warning)
                context->sax->warning(context, "%s is not a file and was not loaded.\n", url);
            if (found)
                return nullptr;
        }
    }
    xmlParserInputPtr input = xmlNoNetExternalEntityLoader(url, id, context);
    if (input && url)
        LoaderRecord::noteRead(path);
    else if (url && contentEntity && ::access(path.constData(), R_OK) != 0)
        LoaderRecord::noteUnreadable(path, systemErrorText(errno));
    return input;
}

void initialiseProcessor()
{
    static std::once_flag once;
    std::call_once(once, [] {
        installNodeAllocator();
        xmlInitParser();
        exsltRegisterAll();
        // xsltproc has libxslt's test module too: a style sheet that uses its extension element
        // runs here as it runs there.
        xsltRegisterTestModule();
        registerMsxslFunctions();
        xmlSetExternalEntityLoader(localDocumentLoader);
        xsltSetLoaderFunc(processorDocumentLoader);
        xsltSetDefaultSecurityPrefs(securityPrefs());
    });
}

// Appends what is left to read from an open file until its end, or until the memory ceiling in
// force is passed (pastCeiling then set) or a stop is requested; false with errno set when a read
// fails. Each chunk is announced to the ceiling as a large block, so that it measures.
bool readBounded(int fileDescriptor, QByteArray &bytes, const bool &pastCeiling)
{
    constexpr qsizetype chunk = qsizetype(1) << 20;
    while (!pastCeiling) {
        if (WorkStop::requested()) {
            errno = ECANCELED;
            return false;
        }
        MemoryInUse::allocating(std::size_t(chunk));
        const qsizetype size = bytes.size();
        bytes.resize(size + chunk);
        ssize_t count;
        do
            count = ::read(fileDescriptor, bytes.data() + size, std::size_t(chunk));
        while (count < 0 && errno == EINTR);
        bytes.resize(size + std::max<ssize_t>(count, 0));
        if (count == 0)
            return true;
        if (count < 0)
            return false;
    }
    return true;
}

// The error number given for a file that cannot be opened at all.
constexpr int fileOpenErrorCode = XML_IO_LOAD_ERROR;

void collectElements(xmlNode *node, const QByteArray &qualifiedName, bool all, std::vector<XmlElement> &found)
{
    // Iterative pre-order walk: a deeply nested document must not exhaust the stack.
    while (node) {
        if (node->type == XML_ELEMENT_NODE) {
            bool matches = all;
            if (!matches) {
                const char *localName = reinterpret_cast<const char *>(node->name);
                if (node->ns && node->ns->prefix) {
                    const QByteArray prefix(reinterpret_cast<const char *>(node->ns->prefix));
                    matches = qualifiedName.size() == prefix.size() + 1 + qsizetype(std::strlen(localName)) &&
                              qualifiedName.startsWith(prefix) && qualifiedName.at(prefix.size()) == ':' &&
                              qualifiedName.endsWith(localName);
                } else {
                    matches = qualifiedName == localName;
                }
            }
            if (matches)
                found.emplace_back(node);
            if (node->children) {
                node = node->children;
                continue;
            }
        }
        while (node && !node->next) {
            node = node->parent;
            if (node && node->type == XML_DOCUMENT_NODE)
                return;
        }
        if (node)
            node = node->next;
    }
}

xmlAttr *findAttribute(xmlNode *element, const QByteArray &qualifiedName)
{
    for (xmlAttr *attribute = element->properties; attribute; attribute = attribute->next) {
        QByteArray name;
        if (attribute->ns && attribute->ns->prefix)
            name = QByteArray(reinterpret_cast<const char *>(attribute->ns->prefix)) + ':';
        name += reinterpret_cast<const char *>(attribute->name);
        if (name == qualifiedName)
            return attribute;
    }
    return nullptr;
}

} // namespace

void XmlDocument::requestStop() noexcept
{
    WorkStop::request();
}

void XmlDocument::clearStopRequest() noexcept
{
    WorkStop::clear();
}

XmlDocument::Progress XmlDocument::progress() noexcept
{
    return {WorkCount::done(), WorkCount::total()};
}

QString XmlElement::tagName() const
{
    if (m_node->ns && m_node->ns->prefix)
        return fromXml(m_node->ns->prefix) + u':' + fromXml(m_node->name);
    return fromXml(m_node->name);
}

std::optional<QString> XmlElement::getAttribute(const QString &qualifiedName) const
{
    xmlAttr *attribute = findAttribute(m_node, qualifiedName.toUtf8());
    if (!attribute)
        return std::nullopt;
    const XmlText value(xmlNodeListGetString(m_node->doc, attribute->children, 1));
    return value ? fromXml(value.get()) : QString();
}

void XmlElement::setAttribute(const QString &qualifiedName, const QString &value)
{
    const QByteArray name = qualifiedName.toUtf8();
    const QByteArray text = value.toUtf8();
    const auto *utf8Value = reinterpret_cast<const xmlChar *>(text.constData());
    if (xmlAttr *attribute = findAttribute(m_node, name))
        xmlSetNsProp(m_node, attribute->ns, attribute->name, utf8Value);
    else
        xmlSetProp(m_node, reinterpret_cast<const xmlChar *>(name.constData()), utf8Value);
}

XmlDocument::XmlDocument()
{
    initialiseProcessor();
}

XmlDocument::~XmlDocument()
{
    if (m_doc)
        xmlFreeDoc(m_doc);
}

XmlDocument::XmlDocument(XmlDocument &&other) noexcept
    : m_doc(std::exchange(other.m_doc, nullptr)), m_parseError(std::move(other.m_parseError)),
      m_preserveWhiteSpace(other.m_preserveWhiteSpace),
      m_transformationMemoryLimit(other.m_transformationMemoryLimit),
      m_virtualNewlines(std::move(other.m_virtualNewlines)), m_filesRead(std::move(other.m_filesRead))
{}

XmlDocument &XmlDocument::operator=(XmlDocument &&other) noexcept
{
    if (this != &other) {
        if (m_doc)
            xmlFreeDoc(m_doc);
        m_doc = std::exchange(other.m_doc, nullptr);
        m_parseError = std::move(other.m_parseError);
        m_preserveWhiteSpace = other.m_preserveWhiteSpace;
        m_transformationMemoryLimit = other.m_transformationMemoryLimit;
        m_virtualNewlines = std::move(other.m_virtualNewlines);
        m_filesRead = std::move(other.m_filesRead);
    }
    return *this;
}

void XmlDocument::keepUntilProcessEnds(XmlDocument &&document)
{
    static auto *kept = new std::vector<XmlDocument>;
    kept->push_back(std::move(document));
}

QStringList XmlDocument::transformNodeToFile(const XmlDocument &styleSheet, int fileDescriptor,
                                             QStringList *warnings) const
{
    if (!m_doc || !styleSheet.m_doc)
        throw XsltProcessorError({QStringLiteral("No document has been loaded.")});
    QStringList filesRead;
    runTransformation({m_doc, m_preserveWhiteSpace, styleSheet.m_doc, styleSheet.m_preserveWhiteSpace,
                       fileDescriptor, m_transformationMemoryLimit, m_virtualNewlines.get(), &filesRead,
                       warnings});
    return filesRead;
}

bool XmlDocument::load(const QString &path)
{
    return load(path, nullptr, nullptr);
}

bool XmlDocument::load(const QString &path, QByteArray &fileBytes)
{
    return load(path, &fileBytes, nullptr);
}

bool XmlDocument::load(const QString &path, QByteArray &fileBytes,
                       std::optional<platform::FileIdentity> &readFrom)
{
    return load(path, &fileBytes, &readFrom);
}

bool XmlDocument::load(const QString &path, QByteArray *fileBytes,
                       std::optional<platform::FileIdentity> *readFrom)
{
    if (m_doc) {
        xmlFreeDoc(m_doc);
        m_doc = nullptr;
    }
    m_parseError = {};
    m_filesRead.clear();
    m_virtualNewlines =
        m_preserveWhiteSpace ? nullptr : std::make_unique<VirtualNewlines>(VirtualNewlines::Mode::Noted);
    if (fileBytes)
        fileBytes->clear();

    const QByteArray nativePath = nativeFileName(path);
    // Opened here so that a missing or unreadable file gets the system's own reason.
    const FileDescriptor file(::open(nativePath.constData(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0) {
        m_parseError = {fileOpenErrorCode, systemErrorText(errno)};
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        m_parseError = {fileOpenErrorCode, systemErrorText(EISDIR)};
        return false;
    }
    WorkCount::reset(S_ISREG(status.st_mode) ? std::int64_t(status.st_size) : 0);
    if (readFrom)
        *readFrom = platform::FileIdentity::of(file.get());

    const ClassicNumbers numbers;
    ProcessorMessages messages;
    std::unique_ptr<xmlParserCtxt, ParserContextOwner> context(xmlNewParserCtxt());
    if (!context) {
        m_parseError = {XML_ERR_NO_MEMORY, systemErrorText(ENOMEM), true};
        return false;
    }
    const int options = parseOptions(m_preserveWhiteSpace, documentParseOptions);
    const std::size_t allowance =
        m_transformationMemoryLimit ? m_transformationMemoryLimit : automaticMemoryAllowance();
    bool pastCeiling = false;
    xmlDoc *doc = nullptr;
    const LoaderRecord record;
    {
        // A job larger than the computer can hold stops loading, as a transformation stops: the
        // parser is told to build no more and to end, with plain stores that are safe inside an
        // allocation of its own.
        xmlParserCtxt *parser = context.get();
        const MemoryCeiling ceiling(allowance, [parser, &pastCeiling] {
            pastCeiling = true;
            library_layout::haltParserInPlace(parser);
        });
        // The bytes read count against the same ceiling: a file without end (a device, a FIFO
        // that is written for ever) must not take the memory of the machine.
        if (fileBytes) {
            if (S_ISREG(status.st_mode) && std::size_t(status.st_size) <= allowance)
                fileBytes->reserve(qsizetype(status.st_size));
            if (!readBounded(file.get(), *fileBytes, pastCeiling)) {
                m_parseError = {fileOpenErrorCode, systemErrorText(errno)};
                return false;
            }
            if (pastCeiling) {
                fileBytes->clear();
                m_parseError = {XML_ERR_NO_MEMORY, systemErrorText(ENOMEM), true, allowance};
                return false;
            }
        }
        const WhitespaceLoader loader(context.get(), !m_preserveWhiteSpace, m_virtualNewlines.get());
        doc = fileBytes ? xmlCtxtReadMemory(context.get(), fileBytes->constData(), int(fileBytes->size()),
                                            nativePath.constData(), nullptr, options)
                        : xmlCtxtReadFd(context.get(), file.get(), nativePath.constData(), nullptr, options);
    }
    if (!doc || !context->wellFormed || messages.undeclaredEntity() || pastCeiling ||
        messages.outOfMemory() || !record.unreadableEntity().isEmpty()) {
        if (m_virtualNewlines)
            m_virtualNewlines->clear();
        if (doc)
            xmlFreeDoc(doc);
        if (pastCeiling || messages.outOfMemory()) {
            m_parseError = {XML_ERR_NO_MEMORY, systemErrorText(ENOMEM), true, pastCeiling ? allowance : 0};
        } else if (messages.undeclaredEntity() && doc && context->wellFormed) {
            m_parseError = *messages.undeclaredEntity();
        } else if (!record.unreadableEntity().isEmpty() && doc && context->wellFormed) {
            m_parseError = {XML_ERR_UNDECLARED_ENTITY, record.unreadableEntity()};
        } else if (messages.firstError()) {
            m_parseError = *messages.firstError();
        } else {
            const xmlError *last = xmlCtxtGetLastError(context.get());
            m_parseError = {last ? last->code : XML_ERR_INTERNAL_ERROR,
                            last && last->message ? QString::fromUtf8(last->message).trimmed()
                                                  : QStringLiteral("The document could not be read.")};
        }
        return false;
    }
    m_doc = doc;
    m_filesRead = record.filesRead();
    return true;
}

std::vector<XmlElement> XmlDocument::getElementsByTagName(const QString &qualifiedName) const
{
    std::vector<XmlElement> found;
    if (m_doc)
        collectElements(m_doc->children, qualifiedName.toUtf8(), qualifiedName == QLatin1String("*"), found);
    return found;
}

} // namespace zandrel::processor
