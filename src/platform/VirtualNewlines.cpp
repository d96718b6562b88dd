#include "VirtualNewlines.h"
#include "XmlSupport.h"

#include "TreeWalk.h"
#include "XPathContextState.h"

#include <libxml/entities.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

namespace zandrel::platform {

namespace {

// The entity behind every virtual newline. A document that declares an entity of this name
// with other text keeps no virtual newlines.
constexpr const char entityName[] = "zandrel-virtual-newline";

// The entity of the document, declared on first use; nullptr when it cannot be.
xmlEntity *newlineEntity(xmlDoc *doc)
{
    if (!doc || !doc->dict)
        return nullptr; // the references' name must belong to the dictionary
    if (xmlEntity *existing = xmlGetDocEntity(doc, xml(entityName))) {
        const bool ours = existing->etype == XML_INTERNAL_GENERAL_ENTITY && existing->content &&
                          std::strcmp(reinterpret_cast<const char *>(existing->content), "\n") == 0 &&
                          existing->children;
        return ours ? existing : nullptr;
    }
    if (!doc->intSubset && !xmlCreateIntSubset(doc, nullptr, nullptr, nullptr))
        return nullptr;
    xmlEntity *entity =
        xmlAddDocEntity(doc, xml(entityName), XML_INTERNAL_GENERAL_ENTITY, nullptr, nullptr, xml("\n"));
    if (!entity)
        return nullptr;
    // The text that reading the entity's value gives, as the parser would have built it.
    xmlNode *text = xmlNewDocText(doc, xml("\n"));
    if (!text)
        return nullptr;
    text->parent = reinterpret_cast<xmlNode *>(entity);
    entity->children = entity->last = text;
    entity->owner = 1;
    return entity;
}

void insertReference(xmlEntity *entity, xmlNode *parent, xmlNode *previous)
{
    auto *reference = static_cast<xmlNode *>(xmlMalloc(sizeof(xmlNode)));
    if (!reference)
        return;
    std::memset(reference, 0, sizeof(xmlNode));
    reference->type = XML_ENTITY_REF_NODE;
    reference->doc = parent->doc;
    // Owned by the dictionary, so freeing the reference leaves it alone.
    reference->name = xmlDictLookup(parent->doc->dict, xml(entityName), -1);
    reference->children = reference->last = reinterpret_cast<xmlNode *>(entity);
    reference->content = entity->content;
    reference->parent = parent;
    reference->prev = previous;
    reference->next = previous ? previous->next : parent->children;
    if (reference->next)
        reference->next->prev = reference;
    else
        parent->last = reference;
    if (previous)
        previous->next = reference;
    else
        parent->children = reference;
}

// Only an element or document with other nodes than text in it can hold a virtual newline
// anywhere below it: each one stands next to such a node.
bool holdsOtherNodes(const xmlNode *node)
{
    if (!node || (node->type != XML_ELEMENT_NODE && node->type != XML_DOCUMENT_NODE))
        return false;
    for (const xmlNode *child = node->children; child; child = child->next)
        if (child->type != XML_TEXT_NODE && child->type != XML_CDATA_SECTION_NODE)
            return true;
    return false;
}

thread_local VirtualNewlines *currentSource = nullptr;

bool pending()
{
    return currentSource && currentSource->hasPending();
}

void copyingNodes(const xmlXPathObject *value)
{
    if (!pending() || !value || (value->type != XPATH_NODESET && value->type != XPATH_XSLT_TREE) ||
        !value->nodesetval)
        return;
    const xmlNodeSet *nodes = value->nodesetval;
    for (int i = 0; i < nodes->nodeNr && pending(); ++i)
        readingTextOf(nodes->nodeTab[i]);
}

// The processor's evaluation of an instruction's select, with the instruction's namespaces.
xmlXPathObjectPtr evaluateSelect(xsltTransformContextPtr context, xmlNodePtr node,
                                 const xsltStylePreComp *comp)
{
    xmlXPathContextPtr xpath = context->xpathCtxt;
    const SavedXPathContext saved(xpath);
    xpath->node = node;
    xpath->namespaces = comp->nsList;
    xpath->nsNr = comp->nsNr;
    return xmlXPathCompiledEval(comp->comp, xpath);
}

// xsl:value-of as the processor runs it, making the virtual newlines first when the value is
// the text value of an element that holds other nodes.
void valueOf(xsltTransformContextPtr context, xmlNodePtr node, xmlNodePtr inst, xsltElemPreCompPtr compiled)
{
    auto *comp = reinterpret_cast<xsltStylePreComp *>(compiled);
    if (!pending() || !context || !node || !inst || !comp || !comp->comp) {
        xsltValueOf(context, node, inst, compiled);
        return;
    }
    xmlXPathObjectPtr result = evaluateSelect(context, node, comp);
    if (!result) {
        xsltTransformError(context, nullptr, inst, "XPath evaluation returned no result.\n");
        context->state = XSLT_STATE_STOPPED;
        return;
    }
    readingTextOf(result);
    xmlChar *value = xmlXPathCastToString(result);
    if (!value) {
        xsltTransformError(context, nullptr, inst, "Failed to cast an XPath object to string.\n");
        context->state = XSLT_STATE_STOPPED;
    } else if (value[0] != 0) {
        xsltCopyTextString(context, context->insert, value, comp->noescape);
    }
    xmlFree(value);
    xmlXPathFreeObject(result);
}

// xsl:copy-of: its select is evaluated once more only while positions are still noted.
void copyOf(xsltTransformContextPtr context, xmlNodePtr node, xmlNodePtr inst, xsltElemPreCompPtr compiled)
{
    auto *comp = reinterpret_cast<xsltStylePreComp *>(compiled);
    if (pending() && context && node && comp && comp->comp) {
        xmlXPathObjectPtr result = evaluateSelect(context, node, comp);
        copyingNodes(result);
        xmlXPathFreeObject(result);
    }
    xsltCopyOf(context, node, inst, compiled);
}

// The XPath functions that read text values of their arguments (or of the context node).
struct StringFunction {
    const char *name;
    xmlXPathFunction original;
};
constexpr StringFunction stringFunctions[] = {
    {"string", xmlXPathStringFunction},
    {"concat", xmlXPathConcatFunction},
    {"contains", xmlXPathContainsFunction},
    {"starts-with", xmlXPathStartsWithFunction},
    {"substring", xmlXPathSubstringFunction},
    {"substring-before", xmlXPathSubstringBeforeFunction},
    {"substring-after", xmlXPathSubstringAfterFunction},
    {"string-length", xmlXPathStringLengthFunction},
    {"normalize-space", xmlXPathNormalizeFunction},
    {"translate", xmlXPathTranslateFunction},
    {"id", xmlXPathIdFunction},
};

template <std::size_t Index> void stringFunction(xmlXPathParserContextPtr parser, int count)
{
    if (pending()) {
        if (count == 0)
            readingTextOf(parser->context->node);
        for (int i = 1; i <= count && i <= parser->valueNr; ++i)
            readingTextOf(parser->valueTab[parser->valueNr - i]);
    }
    stringFunctions[Index].original(parser, count);
}

template <std::size_t... Indices>
void registerStringFunctions(xmlXPathContextPtr context, std::index_sequence<Indices...>)
{
    // Registering over a function needs its entry removed first.
    ((xmlXPathRegisterFunc(context, xml(stringFunctions[Indices].name), nullptr),
      xmlXPathRegisterFunc(context, xml(stringFunctions[Indices].name), stringFunction<Indices>)),
     ...);
}

void collectDocuments(xsltStylesheetPtr style, std::vector<xmlDocPtr> &documents)
{
    for (; style; style = style->next) {
        documents.push_back(style->doc);
        for (xsltDocumentPtr included = style->docList; included; included = included->next)
            documents.push_back(included->doc);
        collectDocuments(style->imports, documents);
    }
}

bool isXsltElement(const xmlNode *node, const char *name)
{
    return node->type == XML_ELEMENT_NODE && node->ns && xmlStrEqual(node->ns->href, XSLT_NAMESPACE) &&
           xmlStrEqual(node->name, xml(name));
}

void hookInstructions(xsltStylesheetPtr style)
{
    std::vector<xmlDocPtr> documents;
    collectDocuments(style, documents);
    for (xmlDocPtr document : documents) {
        if (!document)
            continue;
        walkTree(xmlDocGetRootElement(document), [](xmlNode *node) {
            const bool valueOfElement = isXsltElement(node, "value-of");
            if (!valueOfElement && !isXsltElement(node, "copy-of"))
                return node;
            auto *comp = static_cast<xsltStylePreComp *>(node->psvi);
            if (comp && valueOfElement && comp->type == XSLT_FUNC_VALUEOF && comp->func == xsltValueOf)
                comp->func = valueOf;
            else if (comp && !valueOfElement && comp->type == XSLT_FUNC_COPYOF && comp->func == xsltCopyOf)
                comp->func = copyOf;
            return node;
        });
    }
}

} // namespace

void VirtualNewlines::add(xmlNode *parent, xmlNode *previous)
{
    if (!parent)
        return;
    if (!m_doc)
        m_doc = parent->doc;
    if (m_mode == Mode::Noted) {
        m_gaps.push_back({parent, previous});
        return;
    }
    if (xmlEntity *entity = newlineEntity(m_doc))
        insertReference(entity, parent, previous);
}

void VirtualNewlines::materialize()
{
    if (m_gaps.empty())
        return;
    if (xmlEntity *entity = newlineEntity(m_doc)) {
        for (const Gap &gap : m_gaps)
            insertReference(entity, gap.parent, gap.previous);
    }
    clear();
}

void VirtualNewlines::clear()
{
    std::deque<Gap>().swap(m_gaps);
}

bool isVirtualNewline(const xmlNode *node)
{
    return node && node->type == XML_ENTITY_REF_NODE && xmlStrEqual(node->name, xml(entityName));
}

void finishVirtualNewlines(xmlDoc *result)
{
    if (!result)
        return;
    walkTree(result->children, [result](xmlNode *node) {
        if (!isVirtualNewline(node))
            return node;
        xmlNode *text = xmlNewDocText(result, xml("\n"));
        if (!text)
            return node;
        xmlReplaceNode(node, text);
        xmlFreeNode(node);
        return text;
    });
}

void removeVirtualNewlines(xmlDoc *document)
{
    if (!document)
        return;
    std::vector<xmlNode *> found;
    walkTree(document->children, [&found](xmlNode *node) {
        if (isVirtualNewline(node))
            found.push_back(node);
        return node;
    });
    for (xmlNode *node : found) {
        xmlUnlinkNode(node);
        xmlFreeNode(node);
    }
}

VirtualNewlineScope::VirtualNewlineScope(VirtualNewlines *source, xsltTransformContextPtr context,
                                         xsltStylesheetPtr style)
    : m_previous(currentSource)
{
    currentSource = source;
    if (!source || !source->hasPending() || !context || !style)
        return;
    hookInstructions(style);
    registerStringFunctions(context->xpathCtxt, std::make_index_sequence<std::size(stringFunctions)>());
}

VirtualNewlineScope::~VirtualNewlineScope()
{
    currentSource = m_previous;
}

void readingTextOf(const xmlXPathObject *value)
{
    if (!pending() || !value || (value->type != XPATH_NODESET && value->type != XPATH_XSLT_TREE) ||
        !value->nodesetval || value->nodesetval->nodeNr == 0)
        return;
    // A node-set's text value is that of its first node in document order.
    xmlNodeSetPtr nodes = value->nodesetval;
    if (nodes->nodeNr > 1)
        xmlXPathNodeSetSort(nodes);
    readingTextOf(nodes->nodeTab[0]);
}

void readingTextOf(const xmlNode *node)
{
    if (pending() && node && node->doc == currentSource->document() && holdsOtherNodes(node))
        currentSource->materialize();
}

} // namespace zandrel::platform
