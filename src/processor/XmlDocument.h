#pragma once

#include "platform/FileOperations.h"
#include "processor/msxml/ProcessorErrors.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct _xmlDoc;
struct _xmlNode;

namespace zandrel::processor {

class VirtualNewlines;

// Why the last load failed: the parser's error number and its explanation, with line and column.
struct XmlParseError {
    int errorCode = 0;
    QString reason;
    // The document needs more memory than it may have: the load stopped at the memory limit
    // (in bytes), or the system gave no more (a limit of 0).
    bool outOfMemory = false;
    std::size_t memoryLimit = 0;
};

// An element of a loaded document. Valid while its document lives and is not reloaded.
class XmlElement {
public:
    explicit XmlElement(_xmlNode *node) : m_node(node) {}

    // The qualified name as written, prefix included.
    QString tagName() const;
    // The attribute with this qualified name; nullopt when the element has none.
    std::optional<QString> getAttribute(const QString &qualifiedName) const;
    void setAttribute(const QString &qualifiedName, const QString &value);

private:
    _xmlNode *m_node;
};

// An XML document loaded from a file, and the XSLT processor run on it. Loading never reaches
// the network; it neither validates nor loads an external document type.
//
// Like the original platform's documents, a document drops white space while it loads unless
// told to preserve it (see WhitespaceLoader): style sheets written for that platform rely on it.
class XmlDocument {
public:
    XmlDocument();
    ~XmlDocument();
    XmlDocument(XmlDocument &&other) noexcept;
    XmlDocument &operator=(XmlDocument &&other) noexcept;
    XmlDocument(const XmlDocument &) = delete;
    XmlDocument &operator=(const XmlDocument &) = delete;

    // Whether the next load keeps every white space text node (false by default). It also
    // governs the documents that the processor loads on this document's behalf: style sheets
    // it imports for a style sheet document, documents that document() reads for a source.
    void setPreserveWhiteSpace(bool preserve) { m_preserveWhiteSpace = preserve; }
    bool preserveWhiteSpace() const { return m_preserveWhiteSpace; }

    // The memory a transformation of this document may take beyond the documents already
    // loaded; 0 (the default) for three quarters of what the system has available then. Loading
    // the document may take as much beyond what is in use before.
    void setTransformationMemoryLimit(std::size_t bytes) { m_transformationMemoryLimit = bytes; }

    // True when the file was read and is well-formed; otherwise parseError() says why.
    bool load(const QString &path);
    // The same, and the bytes of the file as they were read, for a caller that needs them too:
    // a FIFO can be read only once.
    bool load(const QString &path, QByteArray &fileBytes);
    // The same, and which file was read, when it is a regular file (nullopt otherwise).
    bool load(const QString &path, QByteArray &fileBytes, std::optional<platform::FileIdentity> &readFrom);
    const XmlParseError &parseError() const { return m_parseError; }
    // The local files that the last load read besides the document: its document type and the
    // entities it names.
    const QStringList &filesRead() const { return m_filesRead; }
    bool isLoaded() const { return m_doc != nullptr; }

    // Every element whose qualified name, as written, equals the name ("*" for all), in
    // document order.
    std::vector<XmlElement> getElementsByTagName(const QString &qualifiedName) const;

    // Applies the style sheet document to this document and writes the serialised result to
    // the open file descriptor, exactly as the processor serialises it. Returns the local files
    // the processor read for the style sheet (imported, included, read by document()); warnings,
    // when given, receives what the processor reported without stopping.
    // Throws XsltProcessorError when the processor fails, XmlWriteError when writing fails.
    QStringList transformNodeToFile(const XmlDocument &styleSheet, int fileDescriptor,
                                    QStringList *warnings = nullptr) const;

    // Asks the load or the transformation under way, on whichever thread, to end early: a load
    // then fails, a transformation throws XsltProcessorError. Callable from any thread; the
    // request holds until it is cleared, before the next piece of work.
    static void requestStop() noexcept;
    static void clearStopRequest() noexcept;

    // How far the load or the transformation under way has come, from any thread: the bytes
    // read of the file's size (0 when unknown) while loading; the nodes examined while
    // transforming, with no total.
    struct Progress {
        std::int64_t done = 0;
        std::int64_t total = 0;
    };
    static Progress progress() noexcept;

    // Hands the document over to the end of the process instead of freeing it node by node,
    // which takes about a tenth of a large job's run. For a process that ends right after.
    static void keepUntilProcessEnds(XmlDocument &&document);

private:
    bool load(const QString &path, QByteArray *fileBytes, std::optional<platform::FileIdentity> *readFrom);

    _xmlDoc *m_doc = nullptr;
    XmlParseError m_parseError;
    bool m_preserveWhiteSpace = false;
    std::size_t m_transformationMemoryLimit = 0;
    // Where white space was dropped, until a transformation needs the virtual newlines.
    std::unique_ptr<VirtualNewlines> m_virtualNewlines;
    QStringList m_filesRead;
};

} // namespace zandrel::processor
