#pragma once

#include "XmlDocument.h"

#include <libxslt/documents.h>
#include <libxslt/security.h>

#include <QStringList>

#include <cstddef>

namespace zandrel::processor {

// The security preferences of every transformation: style sheets may read local files
// (document(), xsl:import) but never reach the network, write files or make folders.
xsltSecurityPrefsPtr securityPrefs();

// The processor's loader for xsl:import, xsl:include and document(); see XsltRun.cpp.
xmlDocPtr processorDocumentLoader(const xmlChar *uri, xmlDictPtr dict, int options, void *context,
                                  xsltLoadType type);

// True while the processor opens a document that a style sheet names (xsl:import, xsl:include,
// document()) on this thread, as opposed to a document type or entity named inside a document.
bool openingNamedDocument();

// What the loader reads on this thread while a record lives: every local file (document types
// and entities included; recorded in the enclosing records too), and the first external entity in
// a document's content that could not be read.
class LoaderRecord {
public:
    LoaderRecord();
    ~LoaderRecord();
    LoaderRecord(const LoaderRecord &) = delete;
    LoaderRecord &operator=(const LoaderRecord &) = delete;

    const QStringList &filesRead() const { return m_filesRead; }
    // The file and why it could not be read; empty when every entity was read.
    const QString &unreadableEntity() const { return m_unreadableEntity; }

    static void noteRead(const QByteArray &path);
    static void noteUnreadable(const QByteArray &path, const QString &reason);

private:
    LoaderRecord *m_outer;
    QStringList m_filesRead;
    QString m_unreadableEntity;
};

// Parser options of a document loaded with or without its white space.
int parseOptions(bool preserveWhiteSpace, int options);

struct TransformRequest {
    xmlDocPtr source = nullptr;
    bool preserveInSource = false;
    xmlDocPtr styleSheet = nullptr;
    bool preserveInStyleSheet = false;
    int fileDescriptor = -1;
    // The memory the transformation may take beyond the documents already loaded; 0 for
    // automaticMemoryAllowance().
    std::size_t memoryAllowance = 0;
    // The source's noted virtual newlines, made before the transformation when its style sheet
    // may read them.
    class VirtualNewlines *virtualNewlines = nullptr;
    // When set, receives the local files that the processor read for the style sheet: those it
    // imports and includes, and the documents that document() read.
    QStringList *filesRead = nullptr;
    // When set, receives what the processor reported without counting it as an error, for a
    // transformation whose result was written.
    QStringList *warnings = nullptr;
};

// Three quarters of the memory available at the moment (at least 256 MiB): what a
// transformation may take unless told otherwise, so that a style sheet that builds an enormous
// result stops with a message before the system starts swapping or ends the program.
std::size_t automaticMemoryAllowance();

// Compiles a copy of the style sheet, applies it to the source and writes the result.
// Throws XsltProcessorError or XmlWriteError.
void runTransformation(const TransformRequest &request);

} // namespace zandrel::processor
