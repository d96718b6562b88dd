#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct _xmlParserCtxt;
struct _xmlNode;
struct _xmlDoc;
struct _xmlSAXHandler;

namespace zandrel::processor {

class VirtualNewlines;

// Loads documents the way the original platform's DOM builds them when white space is not
// preserved: a run of text between two pieces of markup that holds nothing but literal white
// space never becomes a node. It stays where xml:space="preserve" is in scope and directly
// inside xsl:text; white space written as a character reference or inside a CDATA section is
// content, not layout, and stays too. Dropping the runs while parsing, rather than afterwards,
// means that no text node is ever built for them.
//
// Where a run inside an element is dropped, the loader tells the document's VirtualNewlines.
//
// One loader serves one parser context and must outlive its parse.
class WhitespaceLoader {
public:
    // Replaces the context's content callbacks; call it after the parser options are applied.
    // With strip false only the context is marked, and every callback stays as it was.
    // With virtualNewlines, each run dropped inside an element is added to it.
    WhitespaceLoader(_xmlParserCtxt *context, bool strip, VirtualNewlines *virtualNewlines = nullptr);
    ~WhitespaceLoader();
    WhitespaceLoader(const WhitespaceLoader &) = delete;
    WhitespaceLoader &operator=(const WhitespaceLoader &) = delete;

    // The loader whose parse this context (or one of its entity contexts) belongs to; nullptr
    // for contexts that no loader made, such as those of the processor's own document loads.
    static WhitespaceLoader *of(const _xmlParserCtxt *context);

    // How many white space runs were dropped; for tests and measurements.
    std::uint64_t droppedRuns() const { return m_droppedRuns; }

private:
    enum ScopeFlag : std::uint8_t { Preserve = 1, XslText = 2 };

    static void onCharacters(void *context, const unsigned char *text, int length);
    static void onCdata(void *context, const unsigned char *text, int length);
    static void onStartElement(void *context, const unsigned char *localName, const unsigned char *prefix,
                               const unsigned char *uri, int namespaceCount, const unsigned char **namespaces,
                               int attributeCount, int defaultedCount, const unsigned char **attributes);
    // Where white space is kept, elements are only watched for a request to stop.
    static void onStartElementKept(void *context, const unsigned char *localName, const unsigned char *prefix,
                                   const unsigned char *uri, int namespaceCount,
                                   const unsigned char **namespaces, int attributeCount, int defaultedCount,
                                   const unsigned char **attributes);
    static void onEndElement(void *context, const unsigned char *localName, const unsigned char *prefix,
                             const unsigned char *uri);
    static void onComment(void *context, const unsigned char *text);
    static void onProcessingInstruction(void *context, const unsigned char *target,
                                        const unsigned char *data);

    void characters(const unsigned char *text, int length);
    // A piece of markup ends the current text run: a run of white space alone is dropped.
    void endRun();
    // Markup (or a CDATA section, which counts as text in an entity) arrives from the parser:
    // in an entity's own context it is an entity event, in the document's it ends the current
    // run. True for the document's own context.
    bool beforeMarkup(const _xmlParserCtxt *parser, bool textInEntity);
    // An event of an entity's replacement text, parsed in a context of its own: the document's
    // white space before it is kept when the entity begins with text.
    void entityEvent(bool text);
    // Nodes that the parser put in place without events (a repeated entity reference) decide
    // about the white space before them as text or markup would.
    void settleDirectInserts();
    void keepPending();
    void dropPending();
    void startRun();
    bool keepsAllWhiteSpace() const { return !m_scopes.empty() && m_scopes.back() != 0; }

    _xmlParserCtxt *m_context;
    bool m_strip;
    VirtualNewlines *m_virtualNewlines;
    void *m_previousPrivate;
    // The callbacks this loader stands in front of.
    std::unique_ptr<_xmlSAXHandler> m_saved;

    std::vector<std::uint8_t> m_scopes;
    std::string m_pending; // white space of the current run, not yet given to the tree
    _xmlNode *m_lastAtRunStart = nullptr;
    bool m_runIsContent = false; // the current run holds more than literal white space
    std::uint64_t m_droppedRuns = 0;
};

// True when the text holds nothing but XML white space (space, tab, CR, LF).
bool isXmlWhiteSpace(const unsigned char *text, std::size_t length);

// In a style sheet loaded without its white space, the white space that survived loading is
// meant to be output (character references, CDATA). The processor would still strip it from
// templates, so each such text node in template content is wrapped in xsl:text.
void protectSignificantWhiteSpace(_xmlDoc *styleSheet);

} // namespace zandrel::processor
