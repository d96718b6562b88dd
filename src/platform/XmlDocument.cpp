#include "XmlDocument.h"

#include "MsxmlSort.h"
#include "MsxslExtensions.h"
#include "NodeAllocator.h"
#include "ScriptFunctions.h"
#include "WhitespaceLoader.h"

#include <QFile>

#include <libexslt/exslt.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>
#include <libxslt/documents.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrel::platform {

namespace {

// Internal entities are expanded and CDATA becomes text, as the processor expects; nothing is
// fetched from the network, and no external document type is loaded. (While white space is
// dropped, the loader turns CDATA into text itself: it must see where a section begins.)
// Default attributes declared in the internal subset are filled in. Short texts (most
// attribute values of a job) are kept inside their node, without an allocation of their own.
constexpr int documentParseOptions =
    XML_PARSE_NOENT | XML_PARSE_NOCDATA | XML_PARSE_NONET | XML_PARSE_DTDATTR | XML_PARSE_COMPACT;

int parseOptions(bool preserveWhiteSpace, int options)
{
    return preserveWhiteSpace ? options : options & ~XML_PARSE_NOCDATA;
}

// What the processor's own loads follow while a style sheet compiles or a transformation runs.
struct ProcessorLoads {
    bool active = false;
    bool preserveInStyleSheets = false;
    bool preserveInDocuments = false;
};
thread_local ProcessorLoads processorLoads;

class ProcessorLoadScope {
public:
    ProcessorLoadScope(bool preserveInStyleSheets, bool preserveInDocuments)
        : m_previous(processorLoads)
    {
        processorLoads = {true, preserveInStyleSheets, preserveInDocuments};
    }
    ~ProcessorLoadScope() { processorLoads = m_previous; }
    ProcessorLoadScope(const ProcessorLoadScope &) = delete;
    ProcessorLoadScope &operator=(const ProcessorLoadScope &) = delete;

private:
    ProcessorLoads m_previous;
};

xsltSecurityPrefsPtr securityPrefs()
{
    // Style sheets may read local files (document(), xsl:import) but never reach the network,
    // and never write files or make folders of their own.
    static xsltSecurityPrefsPtr prefs = [] {
        xsltSecurityPrefsPtr p = xsltNewSecurityPrefs();
        xsltSetSecurityPrefs(p, XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
        xsltSetSecurityPrefs(p, XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
        xsltSetSecurityPrefs(p, XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
        xsltSetSecurityPrefs(p, XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
        return p;
    }();
    return prefs;
}

// Documents that the processor reads on its own (xsl:import, document()) are loaded from local
// files; an external entity or document type named inside a document is not: a job from
// elsewhere must not pull other files of this computer into a report. Every document is read
// through a WhitespaceLoader, which marks its parser contexts; entity contexts inherit the mark.
xmlParserInputPtr localDocumentLoader(const char *url, const char *id, xmlParserCtxtPtr context)
{
    if (WhitespaceLoader::of(context))
        return nullptr;
    return xmlNoNetExternalEntityLoader(url, id, context);
}

struct ParserContextOwner {
    void operator()(xmlParserCtxt *context) const { xmlFreeParserCtxt(context); }
};

// The processor's loader for xsl:import, xsl:include and document(): the same as its own, with
// white space dropped as the document that asked for the load would drop it.
xmlDocPtr processorDocumentLoader(const xmlChar *uri, xmlDictPtr dict, int options, void *, xsltLoadType type)
{
    const bool styleSheet = type != XSLT_LOAD_DOCUMENT;
    const bool preserve = !processorLoads.active
                          || (styleSheet ? processorLoads.preserveInStyleSheets : processorLoads.preserveInDocuments);
    std::unique_ptr<xmlParserCtxt, ParserContextOwner> context(xmlNewParserCtxt());
    if (!context)
        return nullptr;
    if (dict) {
        if (context->dict)
            xmlDictFree(context->dict);
        context->dict = dict;
        xmlDictReference(dict);
    }
    xmlCtxtUseOptions(context.get(), parseOptions(preserve, options | XML_PARSE_NONET));
    xmlParserInputPtr input = xmlLoadExternalEntity(reinterpret_cast<const char *>(uri), nullptr, context.get());
    if (!input)
        return nullptr;
    inputPush(context.get(), input);
    if (!context->directory)
        context->directory = xmlParserGetDirectory(reinterpret_cast<const char *>(uri));
    xmlDocPtr doc = nullptr;
    {
        WhitespaceLoader loader(context.get(), !preserve);
        xmlParseDocument(context.get());
    }
    if (context->wellFormed) {
        doc = context->myDoc;
    } else {
        xmlFreeDoc(context->myDoc);
    }
    context->myDoc = nullptr;
    if (doc && styleSheet && !preserve)
        protectSignificantWhiteSpace(doc);
    return doc;
}

void initialiseProcessor()
{
    static std::once_flag once;
    std::call_once(once, [] {
        installNodeAllocator();
        xmlInitParser();
        exsltRegisterAll();
        registerMsxslFunctions();
        xmlSetExternalEntityLoader(localDocumentLoader);
        xsltSetLoaderFunc(processorDocumentLoader);
        xsltSetDefaultSecurityPrefs(securityPrefs());
    });
}

QString fromXml(const xmlChar *text)
{
    return text ? QString::fromUtf8(reinterpret_cast<const char *>(text)) : QString();
}

// Collects what libxml2 and libxslt report while it lives, instead of letting them print it.
class ProcessorMessages {
public:
    ProcessorMessages()
    {
        xmlSetStructuredErrorFunc(this, &ProcessorMessages::onStructured);
        xmlSetGenericErrorFunc(this, &ProcessorMessages::onGeneric);
        xsltSetGenericErrorFunc(this, &ProcessorMessages::onGeneric);
    }
    ~ProcessorMessages()
    {
        xmlSetStructuredErrorFunc(nullptr, nullptr);
        xmlSetGenericErrorFunc(nullptr, nullptr);
        xsltSetGenericErrorFunc(nullptr, nullptr);
    }
    ProcessorMessages(const ProcessorMessages &) = delete;
    ProcessorMessages &operator=(const ProcessorMessages &) = delete;

    QStringList lines()
    {
        flushPending();
        return m_lines;
    }
    const std::optional<XmlParseError> &firstError() const { return m_firstError; }

private:
    static void onStructured(void *self, xmlErrorPtr error)
    {
        static_cast<ProcessorMessages *>(self)->addError(error);
    }

    static void onGeneric(void *self, const char *format, ...)
    {
        va_list arguments;
        va_start(arguments, format);
        char buffer[4096];
        const int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
        va_end(arguments);
        if (length > 0)
            static_cast<ProcessorMessages *>(self)->addText(QString::fromUtf8(buffer));
    }

    void addError(const xmlError *error)
    {
        if (!error)
            return;
        flushPending();
        QString message = QString::fromUtf8(error->message ? error->message : "").trimmed();
        if (error->line > 0)
            message += QStringLiteral(" (line %1, column %2)").arg(error->line).arg(error->int2);
        if (error->level >= XML_ERR_ERROR && !m_firstError)
            m_firstError = XmlParseError{error->code, message};
        const QString file = error->file ? QString::fromUtf8(error->file) : QString();
        m_lines.append(file.isEmpty() ? message : file + QStringLiteral(": ") + message);
    }

    void addText(const QString &text)
    {
        m_pending += text;
        qsizetype end;
        while ((end = m_pending.indexOf(u'\n')) >= 0) {
            const QString line = m_pending.left(end).trimmed();
            if (!line.isEmpty())
                m_lines.append(line);
            m_pending.remove(0, end + 1);
        }
    }

    void flushPending()
    {
        if (!m_pending.trimmed().isEmpty())
            m_lines.append(m_pending.trimmed());
        m_pending.clear();
    }

    QStringList m_lines;
    QString m_pending;
    std::optional<XmlParseError> m_firstError;
};

struct StylesheetDeleter {
    void operator()(xsltStylesheet *style) const { xsltFreeStylesheet(style); }
};
struct TransformContextDeleter {
    void operator()(xsltTransformContext *context) const { xsltFreeTransformContext(context); }
};
struct DocDeleter {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
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
                    matches = qualifiedName.size() == prefix.size() + 1 + qsizetype(std::strlen(localName))
                              && qualifiedName.startsWith(prefix) && qualifiedName.at(prefix.size()) == ':'
                              && qualifiedName.endsWith(localName);
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

// The copy keeps the line numbers of elements only; the processor's messages about text need
// theirs too.
void copyLineNumbers(const xmlDoc *original, xmlDoc *copy)
{
    const xmlNode *from = original->children;
    xmlNode *to = copy->children;
    while (from && to) {
        to->line = from->line;
        if (from->children && to->children && from->type == XML_ELEMENT_NODE) {
            from = from->children;
            to = to->children;
            continue;
        }
        while (from && to && !from->next) {
            from = from->parent;
            to = to->parent;
            if (from && from->type != XML_ELEMENT_NODE)
                from = nullptr;
        }
        if (from && to) {
            from = from->next;
            to = to->next;
        }
    }
}

} // namespace

XsltProcessorError::XsltProcessorError(QStringList messages)
    : std::runtime_error(messages.join(u'\n').toStdString()), m_messages(std::move(messages))
{
}

XmlWriteError::XmlWriteError(const QString &reason) : std::runtime_error(reason.toStdString()), m_reason(reason)
{
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
    std::unique_ptr<xmlChar, decltype(xmlFree)> value(xmlNodeListGetString(m_node->doc, attribute->children, 1),
                                                      xmlFree);
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
      m_preserveWhiteSpace(other.m_preserveWhiteSpace)
{
}

XmlDocument &XmlDocument::operator=(XmlDocument &&other) noexcept
{
    if (this != &other) {
        if (m_doc)
            xmlFreeDoc(m_doc);
        m_doc = std::exchange(other.m_doc, nullptr);
        m_parseError = std::move(other.m_parseError);
        m_preserveWhiteSpace = other.m_preserveWhiteSpace;
    }
    return *this;
}

void XmlDocument::keepUntilProcessEnds(XmlDocument &&document)
{
    static auto *kept = new std::vector<XmlDocument>;
    kept->push_back(std::move(document));
}

bool XmlDocument::load(const QString &path)
{
    if (m_doc) {
        xmlFreeDoc(m_doc);
        m_doc = nullptr;
    }
    m_parseError = {};

    const QByteArray nativePath = QFile::encodeName(path);
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

    ProcessorMessages messages;
    std::unique_ptr<xmlParserCtxt, ParserContextOwner> context(xmlNewParserCtxt());
    if (!context) {
        m_parseError = {XML_ERR_NO_MEMORY, systemErrorText(ENOMEM)};
        return false;
    }
    const int options = parseOptions(m_preserveWhiteSpace, documentParseOptions);
    xmlDoc *doc = nullptr;
    {
        const WhitespaceLoader loader(context.get(), !m_preserveWhiteSpace);
        doc = xmlCtxtReadFd(context.get(), file.get(), nativePath.constData(), nullptr, options);
    }
    if (!doc || !context->wellFormed) {
        if (doc)
            xmlFreeDoc(doc);
        if (messages.firstError()) {
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
    return true;
}

std::vector<XmlElement> XmlDocument::getElementsByTagName(const QString &qualifiedName) const
{
    std::vector<XmlElement> found;
    if (m_doc)
        collectElements(m_doc->children, qualifiedName.toUtf8(), qualifiedName == QLatin1String("*"), found);
    return found;
}

void XmlDocument::transformNodeToFile(const XmlDocument &styleSheet, int fileDescriptor) const
{
    if (!m_doc || !styleSheet.m_doc)
        throw XsltProcessorError({QStringLiteral("No document has been loaded.")});

    ProcessorMessages messages;
    const ProcessorLoadScope loads(styleSheet.m_preserveWhiteSpace, m_preserveWhiteSpace);
    // The processor takes over and changes the document it compiles; the caller's style sheet
    // document stays as it is, so that the output extension can still be read from it.
    xmlDoc *styleCopy = xmlCopyDoc(styleSheet.m_doc, 1);
    if (!styleCopy)
        throw XsltProcessorError({systemErrorText(ENOMEM)});
    copyLineNumbers(styleSheet.m_doc, styleCopy);
    if (!styleSheet.m_preserveWhiteSpace)
        protectSignificantWhiteSpace(styleCopy);
    std::unique_ptr<xsltStylesheet, StylesheetDeleter> style(xsltParseStylesheetDoc(styleCopy));
    if (!style) {
        xmlFreeDoc(styleCopy);
        QStringList lines = messages.lines();
        if (lines.isEmpty())
            lines.append(QStringLiteral("The document is not an XSLT style sheet."));
        throw XsltProcessorError(lines);
    }
    // Some faults (an unknown instruction) are reported as compilation errors without being
    // counted; a style sheet that the processor calls faulty is not run.
    // A style sheet for a later XSLT version is run in forwards-compatible mode; that note comes
    // as a compilation error too, but is none.
    QStringList compileMessages = messages.lines();
    bool reportedFaulty = false;
    for (qsizetype i = 0; i < compileMessages.size(); ++i) {
        if (compileMessages.at(i).startsWith(QLatin1String("compilation error"))
            && !(i + 1 < compileMessages.size()
                 && compileMessages.at(i + 1).startsWith(QLatin1String("xsl:version: only 1.1 features are supported"))))
            reportedFaulty = true;
    }
    if (style->errors > 0 || reportedFaulty) {
        QStringList lines = compileMessages;
        if (lines.isEmpty())
            lines.append(QStringLiteral("The style sheet does not compile."));
        throw XsltProcessorError(lines);
    }

    // Before the transformation starts: a script that cannot run stops it at once.
    ScriptHost scripts(style.get(), !styleSheet.m_preserveWhiteSpace);

    std::unique_ptr<xsltTransformContext, TransformContextDeleter> context(
        xsltNewTransformContext(style.get(), m_doc));
    if (!context)
        throw XsltProcessorError({systemErrorText(ENOMEM)});
    xsltSetCtxtSecurityPrefs(securityPrefs(), context.get());
    context->parserOptions |= XML_PARSE_NONET;
    scripts.registerFunctions(context.get());
    // A style sheet loaded with its white space is one written for standard processors: it gets
    // the processor's own sort order and system properties.
    if (!styleSheet.m_preserveWhiteSpace) {
        registerMsxslContextFunctions(context.get());
        useMsxmlSort(context.get());
    }

    std::unique_ptr<xmlDoc, DocDeleter> result(
        xsltApplyStylesheetUser(style.get(), m_doc, nullptr, nullptr, nullptr, context.get()));
    if (!result || context->state == XSLT_STATE_ERROR || context->state == XSLT_STATE_STOPPED) {
        QStringList lines = messages.lines();
        if (lines.isEmpty())
            lines.append(QStringLiteral("The transformation failed."));
        throw XsltProcessorError(lines);
    }

    const int written = xsltSaveResultToFd(fileDescriptor, result.get(), style.get());
    if (written < 0) {
        const QStringList lines = messages.lines();
        throw XmlWriteError(lines.isEmpty() ? systemErrorText(errno) : lines.last());
    }
}

} // namespace zandrel::platform
