#include "WhitespaceLoader.h"
#include "LibraryLayout.h"

#include "TreeWalk.h"
#include "VirtualNewlines.h"
#include "WorkStop.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxslt/xsltInternals.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace zandrel::processor {

namespace {

// The loaders of this thread whose parse is under way; a context's _private names one of them.
thread_local std::vector<WhitespaceLoader *> liveLoaders;

bool isBlank(unsigned char c)
{
    return c == 0x20 || c == 0x09 || c == 0x0A || c == 0x0D;
}

bool equals(const xmlChar *text, const char *literal)
{
    return text && std::strcmp(reinterpret_cast<const char *>(text), literal) == 0;
}

// The parser hands a character reference over on its own, from a buffer of its own, right
// after it has read the reference's ';'. Literal text never ends just behind "&#...;".
bool isCharacterReference(const xmlParserCtxt *context, const xmlChar *text)
{
    const xmlParserInput *input = context->input;
    if (!input || !input->cur || !input->base)
        return false;
    if (text >= input->base && (!input->end || text < input->end))
        return false;
    const xmlChar *cur = input->cur;
    if (cur - input->base < 4 || cur[-1] != ';')
        return false;
    const xmlChar *p = cur - 2;
    while (p > input->base && std::isxdigit(*p))
        --p;
    if (*p == 'x')
        --p;
    return p > input->base && p < cur - 2 && p[0] == '#' && p[-1] == '&';
}

} // namespace

bool isXmlWhiteSpace(const unsigned char *text, std::size_t length)
{
    return std::all_of(text, text + length, isBlank);
}

WhitespaceLoader::WhitespaceLoader(xmlParserCtxt *context, bool strip, VirtualNewlines *virtualNewlines)
    : m_context(context), m_strip(strip), m_virtualNewlines(strip ? virtualNewlines : nullptr),
      m_previousPrivate(context->_private)
{
    context->_private = this;
    liveLoaders.push_back(this);
    m_saved = std::make_unique<xmlSAXHandler>(*context->sax);
    xmlSAXHandler *sax = context->sax;
    if (!strip) {
        sax->startElementNs = &WhitespaceLoader::onStartElementKept;
        return;
    }
    sax->characters = &WhitespaceLoader::onCharacters;
    // Not told apart from other text, the parser would judge white space by its own rules.
    sax->ignorableWhitespace = &WhitespaceLoader::onCharacters;
    sax->cdataBlock = &WhitespaceLoader::onCdata;
    sax->startElementNs = &WhitespaceLoader::onStartElement;
    sax->endElementNs = &WhitespaceLoader::onEndElement;
    sax->comment = &WhitespaceLoader::onComment;
    sax->processingInstruction = &WhitespaceLoader::onProcessingInstruction;
}

WhitespaceLoader::~WhitespaceLoader()
{
    if (m_saved)
        *m_context->sax = *m_saved;
    m_context->_private = m_previousPrivate;
    liveLoaders.erase(std::remove(liveLoaders.begin(), liveLoaders.end(), this), liveLoaders.end());
}

WhitespaceLoader *WhitespaceLoader::of(const xmlParserCtxt *context)
{
    if (!context || !context->_private)
        return nullptr;
    auto found = std::find(liveLoaders.begin(), liveLoaders.end(), context->_private);
    return found == liveLoaders.end() ? nullptr : *found;
}

void WhitespaceLoader::onCharacters(void *context, const xmlChar *text, int length)
{
    auto *parser = static_cast<xmlParserCtxt *>(context);
    WhitespaceLoader *self = of(parser);
    if (library_layout::readsEntityText(parser, self->m_context)) {
        if (!library_layout::entityTextRepeatedAsCharacters)
            self->entityEvent(true);
        self->m_saved->characters(parser, text, length);
        return;
    }
    self->characters(text, length);
}

void WhitespaceLoader::onCdata(void *context, const xmlChar *text, int length)
{
    // A CDATA section is a node of its own to the original DOM, never stripped; here it joins
    // the text around it, as it would with the parser's own CDATA merging.
    auto *parser = static_cast<xmlParserCtxt *>(context);
    WhitespaceLoader *self = of(parser);
    self->beforeMarkup(parser, true);
    self->m_saved->characters(parser, text, length);
}

namespace {

// Stops the parse when another thread asked for it; a stopped document never counts as loaded.
// Every few hundred elements it also tells a progress window how far the parser has read.
bool stoppedOnRequest(xmlParserCtxt *parser)
{
    thread_local unsigned elementsSinceCount = 0;
    if (++elementsSinceCount >= 256) {
        elementsSinceCount = 0;
        if (const xmlParserInput *input = parser->input; input && input->cur && input->base)
            WorkCount::setDone(std::int64_t(input->consumed) + (input->cur - input->base));
    }
    if (!WorkStop::requested())
        return false;
    parser->wellFormed = 0;
    xmlStopParser(parser);
    return true;
}

} // namespace

void WhitespaceLoader::onStartElementKept(void *context, const xmlChar *localName, const xmlChar *prefix,
                                          const xmlChar *uri, int namespaceCount, const xmlChar **namespaces,
                                          int attributeCount, int defaultedCount, const xmlChar **attributes)
{
    auto *parser = static_cast<xmlParserCtxt *>(context);
    if (stoppedOnRequest(parser))
        return;
    of(parser)->m_saved->startElementNs(parser, localName, prefix, uri, namespaceCount, namespaces,
                                        attributeCount, defaultedCount, attributes);
}

void WhitespaceLoader::onStartElement(void *context, const xmlChar *localName, const xmlChar *prefix,
                                      const xmlChar *uri, int namespaceCount, const xmlChar **namespaces,
                                      int attributeCount, int defaultedCount, const xmlChar **attributes)
{
    auto *parser = static_cast<xmlParserCtxt *>(context);
    if (stoppedOnRequest(parser))
        return;
    WhitespaceLoader *self = of(parser);
    if (self->beforeMarkup(parser, false)) {
        std::uint8_t scope = self->m_scopes.empty() ? 0 : (self->m_scopes.back() & Preserve);
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar **attribute = attributes + 5 * i;
            if (equals(attribute[1], "xml") && equals(attribute[0], "space")) {
                const std::string_view value(reinterpret_cast<const char *>(attribute[3]),
                                             std::size_t(attribute[4] - attribute[3]));
                if (value == "preserve")
                    scope |= Preserve;
                else if (value == "default")
                    scope &= ~Preserve;
            }
        }
        if (equals(localName, "text") && equals(uri, reinterpret_cast<const char *>(XSLT_NAMESPACE)))
            scope |= XslText;
        self->m_scopes.push_back(scope);
    }
    self->m_saved->startElementNs(parser, localName, prefix, uri, namespaceCount, namespaces, attributeCount,
                                  defaultedCount, attributes);
}

void WhitespaceLoader::onEndElement(void *context, const xmlChar *localName, const xmlChar *prefix,
                                    const xmlChar *uri)
{
    auto *parser = static_cast<xmlParserCtxt *>(context);
    WhitespaceLoader *self = of(parser);
    if (self->beforeMarkup(parser, false)) {
        if (!self->m_scopes.empty())
            self->m_scopes.pop_back();
    }
    self->m_saved->endElementNs(parser, localName, prefix, uri);
}

void WhitespaceLoader::onComment(void *context, const xmlChar *text)
{
    auto *parser = static_cast<xmlParserCtxt *>(context);
    WhitespaceLoader *self = of(parser);
    self->beforeMarkup(parser, false);
    self->m_saved->comment(parser, text);
}

void WhitespaceLoader::onProcessingInstruction(void *context, const xmlChar *target, const xmlChar *data)
{
    auto *parser = static_cast<xmlParserCtxt *>(context);
    WhitespaceLoader *self = of(parser);
    self->beforeMarkup(parser, false);
    self->m_saved->processingInstruction(parser, target, data);
}

void WhitespaceLoader::startRun()
{
    // A run that goes on from text already in the tree (an entity's replacement text) is
    // content as a whole.
    const xmlNode *last = m_context->node ? m_context->node->last : nullptr;
    m_runIsContent = keepsAllWhiteSpace() || (last && last->type == XML_TEXT_NODE);
    m_lastAtRunStart = m_context->node ? m_context->node->last : nullptr;
}

void WhitespaceLoader::characters(const xmlChar *text, int length)
{
    if (length <= 0)
        return;
    settleDirectInserts();
    if (!m_runIsContent && m_pending.empty())
        startRun();
    if (!m_runIsContent &&
        (!isXmlWhiteSpace(text, std::size_t(length)) || isCharacterReference(m_context, text)))
        m_runIsContent = true;
    if (!m_runIsContent) {
        m_pending.append(reinterpret_cast<const char *>(text), std::size_t(length));
        return;
    }
    keepPending();
    m_saved->characters(m_context, text, length);
}

bool WhitespaceLoader::beforeMarkup(const xmlParserCtxt *parser, bool textInEntity)
{
    if (library_layout::readsEntityText(parser, m_context)) {
        if (!library_layout::entityTextRepeatedAsCharacters)
            entityEvent(textInEntity);
        return false;
    }
    endRun();
    return true;
}

void WhitespaceLoader::entityEvent(bool text)
{
    if (!m_pending.empty()) {
        if (text)
            keepPending();
        else
            dropPending();
    }
    m_runIsContent = false;
    m_lastAtRunStart = nullptr;
}

void WhitespaceLoader::settleDirectInserts()
{
    xmlNode *parent = m_context->node;
    if (m_pending.empty() || !parent || parent->last == m_lastAtRunStart)
        return;
    const xmlNode *first = m_lastAtRunStart ? m_lastAtRunStart->next : parent->children;
    if (first && first->type == XML_TEXT_NODE)
        keepPending();
    else
        dropPending();
    m_runIsContent = parent->last && parent->last->type == XML_TEXT_NODE;
    m_lastAtRunStart = parent->last;
}

void WhitespaceLoader::keepPending()
{
    if (m_pending.empty())
        return;
    xmlNode *parent = m_context->node;
    if (parent && parent->last != m_lastAtRunStart) {
        // Goes before the nodes that arrived without events, where it was written.
        xmlNode *text = xmlNewDocTextLen(parent->doc, reinterpret_cast<const xmlChar *>(m_pending.data()),
                                         int(m_pending.size()));
        xmlNode *next = m_lastAtRunStart ? m_lastAtRunStart->next : parent->children;
        if (text && next && !xmlAddPrevSibling(next, text))
            xmlFreeNode(text);
    } else {
        m_saved->characters(m_context, reinterpret_cast<const xmlChar *>(m_pending.data()),
                            int(m_pending.size()));
    }
    m_pending.clear();
}

void WhitespaceLoader::dropPending()
{
    if (m_pending.empty())
        return;
    ++m_droppedRuns;
    m_pending.clear();
    xmlNode *parent = m_context->node;
    if (m_virtualNewlines && parent && parent->type == XML_ELEMENT_NODE)
        m_virtualNewlines->add(parent, parent->last != m_lastAtRunStart ? m_lastAtRunStart : parent->last);
}

void WhitespaceLoader::endRun()
{
    settleDirectInserts();
    dropPending();
    m_runIsContent = false;
    m_lastAtRunStart = nullptr;
}

namespace {

bool isXslt(const xmlNode *node)
{
    return node->type == XML_ELEMENT_NODE && node->ns &&
           equals(node->ns->href, reinterpret_cast<const char *>(XSLT_NAMESPACE));
}

// XSLT elements whose content is a template, where text is output.
bool holdsTemplate(const xmlNode *element)
{
    static constexpr const char *names[] = {"template",
                                            "if",
                                            "when",
                                            "otherwise",
                                            "for-each",
                                            "variable",
                                            "param",
                                            "with-param",
                                            "attribute",
                                            "element",
                                            "copy",
                                            "comment",
                                            "processing-instruction",
                                            "message",
                                            "fallback",
                                            "document"};
    return std::any_of(std::begin(names), std::end(names),
                       [element](const char *name) { return equals(element->name, name); });
}

// Text here would be output: the parent is a template-holding instruction, or a literal
// result element inside one (or the root of a simplified style sheet).
bool isTemplateContent(const xmlNode *parent)
{
    for (const xmlNode *node = parent; node && node->type == XML_ELEMENT_NODE; node = node->parent) {
        if (isXslt(node))
            return holdsTemplate(node);
        if (!node->parent || node->parent->type != XML_ELEMENT_NODE)
            return true;
    }
    return false;
}

// Where an xsl:text may stand: not before the xsl:sort or xsl:param that must come first, and
// not in a variable or parameter whose value is its select attribute.
bool mayHoldXslText(const xmlNode *text)
{
    const xmlNode *parent = text->parent;
    if (isXslt(parent) &&
        (equals(parent->name, "variable") || equals(parent->name, "param") ||
         equals(parent->name, "with-param")) &&
        xmlHasProp(parent, reinterpret_cast<const xmlChar *>("select")))
        return false;
    for (const xmlNode *next = text->next; next; next = next->next)
        if (isXslt(next) && (equals(next->name, "sort") || equals(next->name, "param")))
            return false;
    return true;
}

void wrapInXslText(xmlNode *text)
{
    xmlNode *parent = text->parent;
    xmlNs *ns = xmlSearchNsByHref(parent->doc, parent, XSLT_NAMESPACE);
    xmlNode *wrapper = xmlNewDocNode(parent->doc, ns, reinterpret_cast<const xmlChar *>("text"), nullptr);
    if (!wrapper)
        return;
    if (!ns)
        xmlSetNs(wrapper, xmlNewNs(wrapper, XSLT_NAMESPACE, reinterpret_cast<const xmlChar *>("xsl")));
    xmlReplaceNode(text, wrapper);
    xmlAddChild(wrapper, text);
}

} // namespace

void protectSignificantWhiteSpace(xmlDoc *styleSheet)
{
    if (!styleSheet)
        return;
    std::vector<xmlNode *> found;
    walkTree(xmlDocGetRootElement(styleSheet), [&found](xmlNode *node) {
        if (node->type == XML_TEXT_NODE && node->content && node->parent &&
            isXmlWhiteSpace(node->content, std::strlen(reinterpret_cast<const char *>(node->content))) &&
            !(isXslt(node->parent) && equals(node->parent->name, "text")) &&
            xmlNodeGetSpacePreserve(node->parent) != 1 && isTemplateContent(node->parent) &&
            mayHoldXslText(node))
            found.push_back(node);
        return node;
    });
    for (xmlNode *text : found)
        wrapInXslText(text);
}

} // namespace zandrel::processor
