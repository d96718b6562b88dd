// The transformation: a compiled copy of the style sheet applied to the source document, with
// the original platform's extensions, on a thread whose stack holds the deepest recursion the
// processor's limits allow.
#include "XsltRun.h"
#include "platform/SystemError.h"
#include "processor/msxml/LibraryLayout.h"
#include "processor/msxml/XmlSupport.h"

#include "ClassicNumbers.h"
#include "ProcessorMessages.h"
#include "platform/FileNames.h"
#include "processor/msxml/EmbeddedStyleSheet.h"
#include "processor/msxml/KeyLookups.h"
#include "processor/msxml/LibxsltMessages.h"
#include "processor/msxml/MemoryCeiling.h"
#include "processor/msxml/MsxmlSort.h"
#include "processor/msxml/MsxslExtensions.h"
#include "processor/msxml/ResultTextAppends.h"
#include "processor/msxml/StyleSheetDocuments.h"
#include "processor/msxml/StyleSheetFaults.h"
#include "processor/msxml/TreeWalk.h"
#include "processor/msxml/VirtualNewlines.h"
#include "processor/msxml/WhitespaceLoader.h"
#include "processor/msxml/WorkStop.h"
#include "processor/script/ScriptFunctions.h"

#include <QThread>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/uri.h>
#include <libxslt/imports.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zandrel::processor {

using platform::fileNameFromNative;
using platform::systemErrorText;

namespace {

// What the processor's own loads follow while a style sheet compiles or a transformation runs.
struct ProcessorLoads {
    bool active = false;
    bool preserveInStyleSheets = false;
    bool preserveInDocuments = false;
};
thread_local ProcessorLoads processorLoads;

class ProcessorLoadScope {
public:
    ProcessorLoadScope(bool preserveInStyleSheets, bool preserveInDocuments) : m_previous(processorLoads)
    {
        processorLoads = {true, preserveInStyleSheets, preserveInDocuments};
    }
    ~ProcessorLoadScope() { processorLoads = m_previous; }
    ProcessorLoadScope(const ProcessorLoadScope &) = delete;
    ProcessorLoadScope &operator=(const ProcessorLoadScope &) = delete;

private:
    ProcessorLoads m_previous;
};

struct StylesheetDeleter {
    void operator()(xsltStylesheet *style) const { xsltFreeStylesheet(style); }
};
struct TransformContextDeleter {
    void operator()(xsltTransformContext *context) const { xsltFreeTransformContext(context); }
};

} // namespace

int parseOptions(bool preserveWhiteSpace, int options)
{
    return preserveWhiteSpace ? options : options & ~XML_PARSE_NOCDATA;
}

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

namespace {
thread_local bool namedDocument = false;
thread_local LoaderRecord *innermostRecord = nullptr;
} // namespace

LoaderRecord::LoaderRecord() : m_outer(std::exchange(innermostRecord, this))
{}

LoaderRecord::~LoaderRecord()
{
    innermostRecord = m_outer;
}

void LoaderRecord::noteRead(const QByteArray &path)
{
    const QString file = fileNameFromNative(path.constData());
    for (LoaderRecord *record = innermostRecord; record; record = record->m_outer)
        if (!record->m_filesRead.contains(file))
            record->m_filesRead.append(file);
}

void LoaderRecord::noteUnreadable(const QByteArray &path, const QString &reason)
{
    if (innermostRecord && innermostRecord->m_unreadableEntity.isEmpty())
        innermostRecord->m_unreadableEntity = QStringLiteral("The external entity %1 could not be read: %2")
                                                  .arg(fileNameFromNative(path.constData()), reason);
}

namespace {

// The document that the processor is reading on this thread, so that a memory ceiling passed
// while it reads (an import or a document() file without end) stops the read itself: the
// transformation's own stop takes effect only at its next instruction, after the read.
struct DocumentBeingRead {
    xmlParserCtxt *parser = nullptr;
    bool stopped = false;
};
thread_local DocumentBeingRead documentBeingRead;
// The document whose read the ceiling stopped last, for the message.
thread_local QString documentStoppedAtCeiling;

// Past the ceiling, no further document is read: the ceiling stops only once.
thread_local bool readsRefused = false;

// Runs inside one of the library's allocations: plain stores only.
void stopDocumentBeingRead()
{
    readsRefused = true;
    if (xmlParserCtxt *parser = documentBeingRead.parser) {
        documentBeingRead.stopped = true;
        library_layout::haltParserInPlace(parser);
    }
}
} // namespace

bool openingNamedDocument()
{
    return namedDocument;
}

// The processor's loader for xsl:import, xsl:include and document(): the same as its own, with
// white space dropped as the document that asked for the load would drop it.
xmlDocPtr processorDocumentLoader(const xmlChar *uri, xmlDictPtr dict, int options, void *, xsltLoadType type)
{
    if (readsRefused)
        return nullptr;
    const bool styleSheet = type != XSLT_LOAD_DOCUMENT;
    const bool preserve = !processorLoads.active || (styleSheet ? processorLoads.preserveInStyleSheets
                                                                : processorLoads.preserveInDocuments);
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
    namedDocument = true;
    xmlParserInputPtr input =
        xmlLoadExternalEntity(reinterpret_cast<const char *>(uri), nullptr, context.get());
    namedDocument = false;
    if (!input)
        return nullptr;
    xmlDocPtr doc = nullptr;
    const DocumentBeingRead outer = std::exchange(documentBeingRead, {context.get(), false});
    const LoaderRecord record;
    {
        // Documents that document() reads are small: their virtual newlines are made at once.
        VirtualNewlines newlines(VirtualNewlines::Mode::Immediate);
        WhitespaceLoader loader(context.get(), !preserve, styleSheet ? nullptr : &newlines);
        // As libxslt's own loader of the same version parses.
#if LIBXML_VERSION >= 21500
        // Takes the input; gives the document only when it is well-formed.
        doc = xmlCtxtParseDocument(context.get(), input);
#else
        inputPush(context.get(), input);
        if (!context->directory)
            context->directory = xmlParserGetDirectory(reinterpret_cast<const char *>(uri));
        xmlParseDocument(context.get());
        if (context->wellFormed)
            doc = context->myDoc;
        else
            xmlFreeDoc(context->myDoc);
        context->myDoc = nullptr;
#endif
    }
    const bool stopped = std::exchange(documentBeingRead, outer).stopped;
    if (stopped)
        documentStoppedAtCeiling = QString::fromUtf8(reinterpret_cast<const char *>(uri));
    // Refused as a document with an undefined entity is: not a word of it may go missing.
    if (doc && !stopped && !record.unreadableEntity().isEmpty())
        xsltTransformError(nullptr, nullptr, nullptr, "%s\n", record.unreadableEntity().toUtf8().constData());
    if (doc && (stopped || !record.unreadableEntity().isEmpty())) {
        xmlFreeDoc(doc);
        doc = nullptr;
    }
    if (doc && styleSheet)
        dropUnknownTopLevelElements(doc);
    if (doc && styleSheet && !preserve)
        protectSignificantWhiteSpace(doc);
    if (doc && styleSheet && processorLoads.active)
        rewriteKeyIdioms(doc);
    // What the processor does for a document that document() reads, but not while its
    // instruction hook is set (see ResultTextAppends): numbered, its nodes sort in constant time.
    if (doc && !styleSheet && processorLoads.active)
        xmlXPathOrderDocElems(doc);
    return doc;
}

namespace {

// Nested template calls and variables that a transformation may hold: enough for style sheets
// that recurse once per point of a large job, while a runaway recursion still ends with the
// processor's message long before the stack below runs out.
constexpr int maxTemplateDepth = 40000;
constexpr int maxTemplateVariables = 400000;
// The stack of the thread that runs a transformation; only the part in use takes memory.
constexpr uint transformationStackBytes = 512u * 1024u * 1024u;

void transform(const TransformRequest &request);

} // namespace

std::size_t automaticMemoryAllowance()
{
    constexpr std::size_t least = std::size_t(256) << 20;
    return std::max(availableMemoryBytes() / 4 * 3, least);
}

void runTransformation(const TransformRequest &request)
{
    std::exception_ptr failure;
    // Set at the end, so that what the thread wrote is seen as written before it (by a thread
    // checker too: QThread's wait does not go through the system's thread calls).
    std::atomic<bool> ended{false};
    std::unique_ptr<QThread> worker(QThread::create([&request, &failure, &ended] {
        try {
            const ClassicNumbers numbers;
            transform(request);
        } catch (...) {
            failure = std::current_exception();
        }
        ended.store(true, std::memory_order_release);
    }));
    worker->setStackSize(transformationStackBytes);
    worker->start();
    worker->wait();
    // A thread that never ran wrote nothing: that is no empty result.
    if (!ended.load(std::memory_order_acquire))
        throw XsltProcessorError(
            {QStringLiteral("The transformation could not be started: the system gave no "
                            "thread with a stack of %1 MB for it (too little memory left).")
                 .arg(transformationStackBytes >> 20)});
    if (failure)
        std::rethrow_exception(failure);
}

namespace {

void transformWithin(const TransformRequest &request, xsltTransformContext *&running,
                     const MemoryCeiling &ceiling);

// The local file a document's URL names, as the loader opened it; empty for none.
QString localFileOf(const xmlDoc *document)
{
    if (!document || !document->URL)
        return {};
    const char *url = reinterpret_cast<const char *>(document->URL);
    struct stat status {};
    if (::stat(url, &status) == 0)
        return fileNameFromNative(url);
    const QByteArray path = localPathOf(url);
    return ::stat(path.constData(), &status) == 0 ? fileNameFromNative(path.constData()) : QString();
}

// Writes through to a file descriptor and keeps the system's reason when that fails, which the
// library's own writer reports only as a "flush error".
struct ResultWriter {
    int fileDescriptor;
    int error = 0;

    static int write(void *self, const char *bytes, int length)
    {
        auto *writer = static_cast<ResultWriter *>(self);
        // In pieces that a pipe takes without blocking, with a look at the stop before each:
        // libxml2 2.15 hands over a large result in one call, which a slow reader would hold.
        for (int written = 0; written < length;) {
            if (WorkStop::requested()) {
                writer->error = ECANCELED;
                return -1;
            }
            const std::size_t piece = std::min<std::size_t>(std::size_t(length - written), PIPE_BUF);
            const ssize_t count = ::write(writer->fileDescriptor, bytes + written, piece);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0) {
                writer->error = count < 0 ? errno : EIO;
                return -1;
            }
            written += int(count);
        }
        return length;
    }
};

// Serialises the result as the style sheet's xsl:output says, as xsltSaveResultToFd does.
void writeResult(int fileDescriptor, xmlDoc *result, xsltStylesheet *style)
{
    const xmlChar *encoding = nullptr;
    XSLT_GET_IMPORT_PTR(encoding, style, encoding)
    // UTF-8 is written as it is, without an encoder; each version tells it as its own
    // xsltSaveResultToFd does.
#if LIBXSLT_VERSION >= 10145
    const bool utf8 =
        !encoding || xmlStrcasecmp(encoding, xml("UTF-8")) == 0 || xmlStrcasecmp(encoding, xml("UTF8")) == 0;
    xmlCharEncodingHandlerPtr encoder =
        utf8 ? nullptr : xmlFindCharEncodingHandler(reinterpret_cast<const char *>(encoding));
#else
    xmlCharEncodingHandlerPtr encoder =
        encoding ? xmlFindCharEncodingHandler(reinterpret_cast<const char *>(encoding)) : nullptr;
    if (encoder && xmlStrEqual(reinterpret_cast<const xmlChar *>(encoder->name), xml("UTF-8")))
        encoder = nullptr;
#endif
    ResultWriter writer{fileDescriptor};
    xmlOutputBufferPtr output = xmlOutputBufferCreateIO(&ResultWriter::write, nullptr, &writer, encoder);
    if (!output)
        throw XmlWriteError(systemErrorText(ENOMEM));
    const int saved = xsltSaveResultTo(output, result, style);
    const int closed = xmlOutputBufferClose(output);
    if (saved < 0 || closed < 0)
        throw XmlWriteError(systemErrorText(writer.error ? writer.error : EIO));
}

QStringList filesReadBy(xsltStylesheet *style, xsltTransformContext *context)
{
    std::vector<const xmlDoc *> documents;
    collectStyleSheetDocuments(style, documents);
    for (xsltDocumentPtr read = context->docList; read; read = read->next)
        documents.push_back(read->doc);
    QStringList files;
    for (const xmlDoc *document : documents) {
        const QString file = localFileOf(document);
        if (!file.isEmpty() && !files.contains(file))
            files.append(file);
    }
    return files;
}

void transform(const TransformRequest &request)
{
    const std::size_t allowance =
        request.memoryAllowance ? request.memoryAllowance : automaticMemoryAllowance();
    xsltTransformContext *running = nullptr;
    QString instructionAtCeiling;
    // Runs inside one of the XML library's allocations, so it must not make one: it marks the
    // transformation to stop at the next instruction and notes where it was.
    const MemoryCeiling ceiling(
        allowance,
        [&running, &instructionAtCeiling] {
            stopDocumentBeingRead();
            if (!running)
                return;
            running->state = XSLT_STATE_STOPPED;
            if (const xmlNode *instruction = running->inst)
                instructionAtCeiling = QStringLiteral("%1, %2").arg(
                    placeOf(instruction),
                    QString::fromUtf8(reinterpret_cast<const char *>(instruction->name)));
        },
        // A stop ends the XPath expression under way too: its operation limit, which the
        // evaluator checks at every step and node, runs out at once.
        [&running] {
            if (!running)
                return;
            running->state = XSLT_STATE_STOPPED;
            if (running->xpathCtxt)
                running->xpathCtxt->opLimit = 1;
        },
        [&running] {
            if (running && running->xpathCtxt)
                WorkCount::setDone(std::int64_t(running->xpathCtxt->opCount));
        });
    if (WorkStop::requested())
        throw XsltProcessorError({QStringLiteral("The transformation was stopped.")});
    documentStoppedAtCeiling.clear();
    readsRefused = false;
    const LoaderRecord record;
    try {
        transformWithin(request, running, ceiling);
        // Document types and entities of the documents read, too.
        if (request.filesRead)
            for (const QString &file : record.filesRead())
                if (!request.filesRead->contains(file))
                    request.filesRead->append(file);
    } catch (const XsltProcessorError &error) {
        if (!ceiling.passed())
            throw;
        QStringList lines = error.messages();
        QString message =
            QStringLiteral("The transformation was stopped because it needed more than %1 MB of "
                           "memory")
                .arg(allowance >> 20);
        if (!documentStoppedAtCeiling.isEmpty())
            message += QStringLiteral(" while it read %1. The document is larger than this computer can "
                                      "hold, or has no end; the ")
                           .arg(documentStoppedAtCeiling);
        else
            message +=
                (instructionAtCeiling.isEmpty() ? QString()
                                                : QStringLiteral(" (at %1)").arg(instructionAtCeiling)) +
                QStringLiteral(". The style sheet builds a result larger than this computer can hold; the ");
        message += QStringLiteral("TransformationMemoryLimit setting (in MB) sets a different limit.");
        lines.prepend(message);
        throw XsltProcessorError(lines);
    }
}

void transformWithin(const TransformRequest &request, xsltTransformContext *&running,
                     const MemoryCeiling &ceiling)
{
    ProcessorMessages messages;
    const ProcessorLoadScope loads(request.preserveInStyleSheet, request.preserveInSource);
    // The processor takes over and changes the document it compiles; the caller's style sheet
    // document stays as it is, so that the output extension can still be read from it.
    const xmlNode *embedded = embeddedStyleSheetElement(request.styleSheet);
    xmlDoc *styleCopy =
        embedded ? copyEmbeddedStyleSheet(request.styleSheet, embedded) : xmlCopyDoc(request.styleSheet, 1);
    if (!styleCopy)
        throw XsltProcessorError({systemErrorText(ENOMEM)});
    if (!embedded)
        copyLineNumbers(reinterpret_cast<const xmlNode *>(request.styleSheet),
                        reinterpret_cast<xmlNode *>(styleCopy));
    removeVirtualNewlines(styleCopy);
    dropUnknownTopLevelElements(styleCopy);
    if (!request.preserveInStyleSheet)
        protectSignificantWhiteSpace(styleCopy);
    rewriteKeyIdioms(styleCopy);
    std::unique_ptr<xsltStylesheet, StylesheetDeleter> style(xsltParseStylesheetDoc(styleCopy));
    if (!style) {
        xmlFreeDoc(styleCopy);
        QStringList lines = messages.lines();
        if (lines.isEmpty())
            lines.append(QStringLiteral("The document is not an XSLT style sheet."));
        throw XsltProcessorError(lines);
    }
    const QStringList compileMessages = messages.lines();
    if (isFaultyStyleSheet(style.get(), compileMessages)) {
        QStringList lines = compileMessages;
        if (lines.isEmpty())
            lines.append(QStringLiteral("The style sheet does not compile."));
        throw XsltProcessorError(lines);
    }

    // Before the transformation starts: a script that cannot run stops it at once.
    ScriptHost scripts(style.get(), !request.preserveInStyleSheet);

    std::unique_ptr<xsltTransformContext, TransformContextDeleter> context(
        xsltNewTransformContext(style.get(), request.source));
    if (!context)
        throw XsltProcessorError({systemErrorText(ENOMEM)});
    xsltSetCtxtSecurityPrefs(securityPrefs(), context.get());
    context->maxTemplateDepth = maxTemplateDepth;
    context->maxTemplateVars = maxTemplateVariables;
    context->parserOptions |= XML_PARSE_NONET;
    scripts.registerFunctions(context.get());
    const KeyLookups keyLookups(context.get());
    const ResultTextAppends textAppends(context.get());
    // A style sheet loaded with its white space is one written for standard processors: it gets
    // the processor's own sort order and system properties.
    if (!request.preserveInStyleSheet) {
        registerMsxslContextFunctions(context.get());
        useMsxmlSort(context.get());
    }

    // The evaluator counts its steps and the nodes it examines only under a limit: one it never
    // reaches, so that a progress window can show the count.
    if (context->xpathCtxt) {
        context->xpathCtxt->opLimit = std::numeric_limits<unsigned long>::max();
        context->xpathCtxt->opCount = 0;
    }
    WorkCount::reset();
    prepareVirtualNewlines(request.virtualNewlines, style.get());
    messages.followInstruction(&context->inst);
    running = context.get();
    std::unique_ptr<xmlDoc, DocDeleter> result(
        xsltApplyStylesheetUser(style.get(), request.source, nullptr, nullptr, nullptr, context.get()));
    running = nullptr;
    messages.followInstruction(nullptr);
    const std::optional<QString> unknownInstruction = unknownInstructionReached(messages.lines());
    if (!result || context->state == XSLT_STATE_ERROR || context->state == XSLT_STATE_STOPPED ||
        unknownInstruction) {
        QStringList lines = messages.lines();
        if (unknownInstruction)
            lines.append(*unknownInstruction);
        const bool placed = std::any_of(lines.cbegin(), lines.cend(), [](const QString &line) {
            return readLibxsltMessage(line).kind == LibxsltMessage::Kind::PlacedRuntimeError;
        });
        // xsl:message terminate="yes" gives only its own text; a stop for memory is told by
        // the caller.
        if (!placed && context->state == XSLT_STATE_STOPPED && !ceiling.passed())
            lines.append(
                QStringLiteral("The style sheet %1 ended the transformation (xsl:message terminate=\"yes\").")
                    .arg(QString::fromUtf8(request.styleSheet->URL
                                               ? reinterpret_cast<const char *>(request.styleSheet->URL)
                                               : "")));
        if (lines.isEmpty())
            lines.append(QStringLiteral("The transformation failed."));
        throw XsltProcessorError(lines);
    }

    if (request.filesRead)
        *request.filesRead = filesReadBy(style.get(), context.get());
    if (request.warnings)
        *request.warnings = messages.lines();
    finishVirtualNewlines(result.get());
    writeResult(request.fileDescriptor, result.get(), style.get());
}

} // namespace

} // namespace zandrel::processor
