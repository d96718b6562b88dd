#include "ScriptFunctions.h"

#include "MsxslExtensions.h"
#include "XmlDocument.h"

#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <libxslt/extensions.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <duktape.h>

#include <QByteArray>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace zandrel::platform {

namespace {

const xmlChar *xml(const char *text)
{
    return reinterpret_cast<const xmlChar *>(text);
}

QString fromXml(const xmlChar *text)
{
    return text ? QString::fromUtf8(reinterpret_cast<const char *>(text)) : QString();
}

struct XmlFree {
    void operator()(xmlChar *text) const { xmlFree(text); }
};
using XmlText = std::unique_ptr<xmlChar, XmlFree>;

bool isScriptElement(const xmlNode *node)
{
    return node->type == XML_ELEMENT_NODE && node->ns && xmlStrEqual(node->ns->href, xml(msxslNamespace))
           && xmlStrEqual(node->name, xml("script"));
}

// Every style sheet document of a compiled style sheet: its own, its inclusions', its imports'.
void collectDocuments(const xsltStylesheet *style, std::vector<const xmlDoc *> &documents)
{
    for (; style; style = style->next) {
        if (style->doc)
            documents.push_back(style->doc);
        for (const xsltDocument *included = style->docList; included; included = included->next)
            if (included->doc)
                documents.push_back(included->doc);
        collectDocuments(style->imports, documents);
    }
}

QString placeOf(const xmlNode *element)
{
    const QString file = element->doc && element->doc->URL ? fromXml(element->doc->URL) : QStringLiteral("style sheet");
    return QStringLiteral("file %1 line %2").arg(file).arg(xmlGetLineNo(element));
}

// The Duktape heap's fatal errors come only from outside a protected call, which this file
// never makes; should one come, ending the process is the only safe way out.
void fatalError(void *, const char *message)
{
    std::fprintf(stderr, "JavaScript engine: fatal error: %s\n", message ? message : "");
    std::abort();
}

} // namespace

std::atomic<long long> timeLimitMilliseconds{30000};

// One Duktape heap with the scripts of one namespace.
class ScriptEngine {
public:
    bool timedOut() const { return std::chrono::steady_clock::now() > m_deadline; }

    ScriptEngine(const xmlChar *uri, bool trimText)
        : m_uri(reinterpret_cast<const char *>(uri)), m_trimText(trimText)
    {
        m_context = duk_create_heap(nullptr, nullptr, nullptr, this, fatalError);
        if (!m_context)
            throw XsltProcessorError({QStringLiteral("The JavaScript engine could not be started.")});
        definePrototypes();
        duk_push_global_object(m_context);
        duk_enum(m_context, -1, DUK_ENUM_OWN_PROPERTIES_ONLY | DUK_ENUM_INCLUDE_NONENUMERABLE);
        while (duk_next(m_context, -1, 0)) {
            m_builtIns.insert(duk_get_string(m_context, -1));
            duk_pop(m_context);
        }
        duk_pop_2(m_context);
    }
    ~ScriptEngine() { duk_destroy_heap(m_context); }
    ScriptEngine(const ScriptEngine &) = delete;
    ScriptEngine &operator=(const ScriptEngine &) = delete;

    const std::string &uri() const { return m_uri; }

    void evaluate(const xmlNode *script)
    {
        XmlText source(xmlNodeGetContent(script));
        const QByteArray place = placeOf(script).toUtf8();
        const char *text = source ? reinterpret_cast<const char *>(source.get()) : "";
        startClock();
        duk_push_string(m_context, place.constData());
        if (duk_pcompile_lstring_filename(m_context, 0, text, std::strlen(text)) != 0
            || duk_pcall(m_context, 0) != 0) {
            const QString message = errorText(-1);
            duk_pop(m_context);
            throw XsltProcessorError({QStringLiteral("msxsl:script (%1): the script does not run: %2")
                                          .arg(QString::fromUtf8(place), message)});
        }
        duk_pop(m_context);
    }

    // The functions that the scripts added to the global object.
    std::vector<std::string> functionNames()
    {
        std::vector<std::string> names;
        duk_push_global_object(m_context);
        duk_enum(m_context, -1, DUK_ENUM_OWN_PROPERTIES_ONLY);
        while (duk_next(m_context, -1, 1)) {
            const char *name = duk_get_string(m_context, -2);
            if (name && duk_is_function(m_context, -1) && !m_builtIns.count(name))
                names.emplace_back(name);
            duk_pop_2(m_context);
        }
        duk_pop_2(m_context);
        return names;
    }

    static void callFromXPath(xmlXPathParserContextPtr parser, int count);

private:
    void startClock()
    {
        m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeLimitMilliseconds.load());
    }

    static ScriptEngine *of(duk_context *context)
    {
        duk_memory_functions functions;
        duk_get_memory_functions(context, &functions);
        return static_cast<ScriptEngine *>(functions.udata);
    }

    QString errorText(duk_idx_t index)
    {
        if (timedOut())
            return QStringLiteral("it ran longer than %1 s and was stopped").arg(double(timeLimitMilliseconds.load()) / 1000);
        QString message = QString::fromUtf8(duk_safe_to_string(m_context, index));
        if (duk_is_error(m_context, index) || duk_is_object(m_context, index)) {
            duk_get_prop_string(m_context, index, "lineNumber");
            if (duk_is_number(m_context, -1))
                message += QStringLiteral(" (line %1 of the script)").arg(duk_get_int(m_context, -1));
            duk_pop(m_context);
        }
        return message;
    }

    void call(xmlXPathParserContextPtr parser, int count);
    void pushValue(xmlXPathObjectPtr value);
    xmlXPathObjectPtr resultValue(duk_idx_t index);
    void pushNode(xmlNodePtr node);
    void pushList(std::vector<xmlNodePtr> nodes);

    // The node or list of a JavaScript object made by this engine, if it is still valid.
    xmlNodePtr nodeOf(duk_idx_t index);
    const std::vector<xmlNodePtr> *listOf(duk_idx_t index);

    void definePrototypes();
    static void defineGetter(duk_context *context, const char *name, duk_c_function getter);
    static void defineMethod(duk_context *context, const char *name, duk_c_function method, duk_idx_t count);

    // JavaScript-side functions; each ends with a value on the stack or a JavaScript error.
    static duk_ret_t listLength(duk_context *context);
    static duk_ret_t listItem(duk_context *context);
    static duk_ret_t listNextNode(duk_context *context);
    static duk_ret_t listReset(duk_context *context);
    static duk_ret_t nodeText(duk_context *context);
    static duk_ret_t nodeName(duk_context *context);
    static duk_ret_t nodeValue(duk_context *context);
    static duk_ret_t nodeType(duk_context *context);
    static duk_ret_t nodeGetAttribute(duk_context *context);
    static duk_ret_t nodeChildNodes(duk_context *context);
    static duk_ret_t nodeAttributes(duk_context *context);
    static duk_ret_t nodeParent(duk_context *context);
    static duk_ret_t nodeFirstChild(duk_context *context);
    static duk_ret_t nodeNextSibling(duk_context *context);
    static xmlNodePtr thisNode(duk_context *context);
    static const std::vector<xmlNodePtr> *thisList(duk_context *context);

    QByteArray textOf(xmlNodePtr node) const;

    duk_context *m_context = nullptr;
    std::string m_uri;
    bool m_trimText;
    std::set<std::string> m_builtIns;
    std::chrono::steady_clock::time_point m_deadline = std::chrono::steady_clock::time_point::max();
    // Nodes handed to the scripts in the current call; objects from earlier calls are stale.
    unsigned m_generation = 0;
    std::vector<std::vector<xmlNodePtr>> m_lists;
};

namespace {

const char *const nodeKey = DUK_HIDDEN_SYMBOL("node");
const char *const listKey = DUK_HIDDEN_SYMBOL("list");
const char *const generationKey = DUK_HIDDEN_SYMBOL("generation");
const char *const cursorKey = DUK_HIDDEN_SYMBOL("cursor");
const char *const nodePrototypeKey = DUK_HIDDEN_SYMBOL("nodePrototype");
const char *const listPrototypeKey = DUK_HIDDEN_SYMBOL("listPrototype");

} // namespace

void ScriptEngine::defineGetter(duk_context *context, const char *name, duk_c_function getter)
{
    duk_push_string(context, name);
    duk_push_c_function(context, getter, 0);
    duk_def_prop(context, -3, DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_SET_ENUMERABLE);
}

void ScriptEngine::defineMethod(duk_context *context, const char *name, duk_c_function method, duk_idx_t count)
{
    duk_push_c_function(context, method, count);
    duk_put_prop_string(context, -2, name);
}

void ScriptEngine::definePrototypes()
{
    duk_push_global_stash(m_context);
    duk_push_object(m_context);
    defineGetter(m_context, "length", listLength);
    defineMethod(m_context, "item", listItem, 1);
    defineMethod(m_context, "nextNode", listNextNode, 0);
    defineMethod(m_context, "reset", listReset, 0);
    duk_put_prop_string(m_context, -2, listPrototypeKey);
    duk_push_object(m_context);
    defineGetter(m_context, "text", nodeText);
    defineGetter(m_context, "nodeName", nodeName);
    defineGetter(m_context, "nodeValue", nodeValue);
    defineGetter(m_context, "nodeType", nodeType);
    defineGetter(m_context, "childNodes", nodeChildNodes);
    defineGetter(m_context, "attributes", nodeAttributes);
    defineGetter(m_context, "parentNode", nodeParent);
    defineGetter(m_context, "firstChild", nodeFirstChild);
    defineGetter(m_context, "nextSibling", nodeNextSibling);
    defineMethod(m_context, "getAttribute", nodeGetAttribute, 1);
    duk_put_prop_string(m_context, -2, nodePrototypeKey);
    duk_pop(m_context);
}

void ScriptEngine::pushNode(xmlNodePtr node)
{
    if (!node) {
        duk_push_null(m_context);
        return;
    }
    duk_push_object(m_context);
    duk_push_pointer(m_context, node);
    duk_put_prop_string(m_context, -2, nodeKey);
    duk_push_uint(m_context, m_generation);
    duk_put_prop_string(m_context, -2, generationKey);
    duk_push_global_stash(m_context);
    duk_get_prop_string(m_context, -1, nodePrototypeKey);
    duk_remove(m_context, -2);
    duk_set_prototype(m_context, -2);
}

void ScriptEngine::pushList(std::vector<xmlNodePtr> nodes)
{
    m_lists.push_back(std::move(nodes));
    duk_push_object(m_context);
    duk_push_uint(m_context, duk_uint_t(m_lists.size() - 1));
    duk_put_prop_string(m_context, -2, listKey);
    duk_push_uint(m_context, m_generation);
    duk_put_prop_string(m_context, -2, generationKey);
    duk_push_uint(m_context, 0);
    duk_put_prop_string(m_context, -2, cursorKey);
    duk_push_global_stash(m_context);
    duk_get_prop_string(m_context, -1, listPrototypeKey);
    duk_remove(m_context, -2);
    duk_set_prototype(m_context, -2);
}

xmlNodePtr ScriptEngine::nodeOf(duk_idx_t index)
{
    if (!duk_is_object(m_context, index))
        return nullptr;
    index = duk_normalize_index(m_context, index);
    duk_get_prop_string(m_context, index, generationKey);
    const bool current = duk_is_number(m_context, -1) && duk_get_uint(m_context, -1) == m_generation;
    duk_pop(m_context);
    duk_get_prop_string(m_context, index, nodeKey);
    auto *node = current ? static_cast<xmlNodePtr>(duk_get_pointer(m_context, -1)) : nullptr;
    duk_pop(m_context);
    return node;
}

const std::vector<xmlNodePtr> *ScriptEngine::listOf(duk_idx_t index)
{
    if (!duk_is_object(m_context, index))
        return nullptr;
    index = duk_normalize_index(m_context, index);
    duk_get_prop_string(m_context, index, generationKey);
    const bool current = duk_is_number(m_context, -1) && duk_get_uint(m_context, -1) == m_generation;
    duk_pop(m_context);
    duk_get_prop_string(m_context, index, listKey);
    const std::vector<xmlNodePtr> *list = nullptr;
    if (current && duk_is_number(m_context, -1) && duk_get_uint(m_context, -1) < m_lists.size())
        list = &m_lists[duk_get_uint(m_context, -1)];
    duk_pop(m_context);
    return list;
}

xmlNodePtr ScriptEngine::thisNode(duk_context *context)
{
    duk_push_this(context);
    xmlNodePtr node = of(context)->nodeOf(-1);
    duk_pop(context);
    return node;
}

const std::vector<xmlNodePtr> *ScriptEngine::thisList(duk_context *context)
{
    duk_push_this(context);
    const std::vector<xmlNodePtr> *list = of(context)->listOf(-1);
    duk_pop(context);
    return list;
}

// No C++ object lives across a duk_error(): it does not return.
#define ZANDREL_STALE_ERROR(context) \
    duk_error(context, DUK_ERR_ERROR, "the node is no longer available: nodes are valid during the call that received them")

duk_ret_t ScriptEngine::listLength(duk_context *context)
{
    const std::vector<xmlNodePtr> *list = thisList(context);
    if (!list)
        return ZANDREL_STALE_ERROR(context);
    duk_push_uint(context, duk_uint_t(list->size()));
    return 1;
}

duk_ret_t ScriptEngine::listItem(duk_context *context)
{
    const std::vector<xmlNodePtr> *list = thisList(context);
    if (!list)
        return ZANDREL_STALE_ERROR(context);
    const double index = duk_to_number(context, 0);
    xmlNodePtr node = index >= 0 && index < double(list->size()) ? (*list)[std::size_t(index)] : nullptr;
    of(context)->pushNode(node);
    return 1;
}

duk_ret_t ScriptEngine::listNextNode(duk_context *context)
{
    const std::vector<xmlNodePtr> *list = thisList(context);
    if (!list)
        return ZANDREL_STALE_ERROR(context);
    duk_push_this(context);
    duk_get_prop_string(context, -1, cursorKey);
    const duk_uint_t cursor = duk_get_uint(context, -1);
    duk_pop(context);
    xmlNodePtr node = cursor < list->size() ? (*list)[cursor] : nullptr;
    duk_push_uint(context, cursor + (node ? 1 : 0));
    duk_put_prop_string(context, -2, cursorKey);
    duk_pop(context);
    of(context)->pushNode(node);
    return 1;
}

duk_ret_t ScriptEngine::listReset(duk_context *context)
{
    if (!thisList(context))
        return ZANDREL_STALE_ERROR(context);
    duk_push_this(context);
    duk_push_uint(context, 0);
    duk_put_prop_string(context, -2, cursorKey);
    duk_pop(context);
    return 0;
}

QByteArray ScriptEngine::textOf(xmlNodePtr node) const
{
    if (node->type == XML_NAMESPACE_DECL)
        return QByteArray(reinterpret_cast<const char *>(reinterpret_cast<xmlNsPtr>(node)->href));
    XmlText content(xmlNodeGetContent(node));
    QByteArray text(content ? reinterpret_cast<const char *>(content.get()) : "");
    const bool preserved = node->type == XML_DOCUMENT_NODE ? false : xmlNodeGetSpacePreserve(node) == 1;
    return m_trimText && !preserved ? text.trimmed() : text;
}

duk_ret_t ScriptEngine::nodeText(duk_context *context)
{
    xmlNodePtr node = thisNode(context);
    if (!node)
        return ZANDREL_STALE_ERROR(context);
    {
        const QByteArray text = of(context)->textOf(node);
        duk_push_lstring(context, text.constData(), std::size_t(text.size()));
    }
    return 1;
}

duk_ret_t ScriptEngine::nodeName(duk_context *context)
{
    xmlNodePtr node = thisNode(context);
    if (!node)
        return ZANDREL_STALE_ERROR(context);
    switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_PI_NODE:
        if (node->ns && node->ns->prefix && node->type != XML_PI_NODE) {
            duk_push_sprintf(context, "%s:%s", node->ns->prefix, node->name);
        } else {
            duk_push_string(context, reinterpret_cast<const char *>(node->name));
        }
        break;
    case XML_TEXT_NODE:
        duk_push_string(context, "#text");
        break;
    case XML_CDATA_SECTION_NODE:
        duk_push_string(context, "#cdata-section");
        break;
    case XML_COMMENT_NODE:
        duk_push_string(context, "#comment");
        break;
    case XML_DOCUMENT_NODE:
        duk_push_string(context, "#document");
        break;
    case XML_NAMESPACE_DECL: {
        const auto *ns = reinterpret_cast<xmlNsPtr>(node);
        if (ns->prefix)
            duk_push_sprintf(context, "xmlns:%s", ns->prefix);
        else
            duk_push_string(context, "xmlns");
        break;
    }
    default:
        duk_push_string(context, "#document-fragment");
        break;
    }
    return 1;
}

duk_ret_t ScriptEngine::nodeValue(duk_context *context)
{
    xmlNodePtr node = thisNode(context);
    if (!node)
        return ZANDREL_STALE_ERROR(context);
    if (node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE
        || node->type == XML_DOCUMENT_FRAG_NODE) {
        duk_push_null(context);
        return 1;
    }
    if (node->type == XML_NAMESPACE_DECL) {
        duk_push_string(context, reinterpret_cast<const char *>(reinterpret_cast<xmlNsPtr>(node)->href));
        return 1;
    }
    xmlChar *content = xmlNodeGetContent(node);
    duk_push_string(context, content ? reinterpret_cast<const char *>(content) : "");
    xmlFree(content);
    return 1;
}

duk_ret_t ScriptEngine::nodeType(duk_context *context)
{
    xmlNodePtr node = thisNode(context);
    if (!node)
        return ZANDREL_STALE_ERROR(context);
    int type = 11; // document fragment, also for a result tree fragment's root
    switch (node->type) {
    case XML_ELEMENT_NODE: type = 1; break;
    case XML_ATTRIBUTE_NODE: case XML_NAMESPACE_DECL: type = 2; break;
    case XML_TEXT_NODE: type = 3; break;
    case XML_CDATA_SECTION_NODE: type = 4; break;
    case XML_PI_NODE: type = 7; break;
    case XML_COMMENT_NODE: type = 8; break;
    case XML_DOCUMENT_NODE: type = node->name && xmlStrEqual(node->name, xml(" fake node libxslt")) ? 11 : 9; break;
    default: break;
    }
    duk_push_int(context, type);
    return 1;
}

duk_ret_t ScriptEngine::nodeGetAttribute(duk_context *context)
{
    xmlNodePtr node = thisNode(context);
    if (!node)
        return ZANDREL_STALE_ERROR(context);
    const char *wanted = duk_to_string(context, 0);
    if (node->type == XML_ELEMENT_NODE) {
        for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
            const char *name = reinterpret_cast<const char *>(attribute->name);
            const char *prefix = attribute->ns && attribute->ns->prefix
                                     ? reinterpret_cast<const char *>(attribute->ns->prefix)
                                     : nullptr;
            const std::size_t prefixLength = prefix ? std::strlen(prefix) : 0;
            const bool matches = prefix ? std::strncmp(wanted, prefix, prefixLength) == 0 && wanted[prefixLength] == ':'
                                              && std::strcmp(wanted + prefixLength + 1, name) == 0
                                        : std::strcmp(wanted, name) == 0;
            if (matches) {
                xmlChar *value = xmlNodeListGetString(node->doc, attribute->children, 1);
                duk_push_string(context, value ? reinterpret_cast<const char *>(value) : "");
                xmlFree(value);
                return 1;
            }
        }
    }
    duk_push_null(context);
    return 1;
}

duk_ret_t ScriptEngine::nodeChildNodes(duk_context *context)
{
    xmlNodePtr node = thisNode(context);
    if (!node)
        return ZANDREL_STALE_ERROR(context);
    {
        std::vector<xmlNodePtr> children;
        if (node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE)
            for (xmlNodePtr child = node->children; child; child = child->next)
                if (child->type != XML_DTD_NODE && child->type != XML_ENTITY_DECL)
                    children.push_back(child);
        of(context)->pushList(std::move(children));
    }
    return 1;
}

duk_ret_t ScriptEngine::nodeAttributes(duk_context *context)
{
    xmlNodePtr node = thisNode(context);
    if (!node)
        return ZANDREL_STALE_ERROR(context);
    if (node->type != XML_ELEMENT_NODE) {
        duk_push_null(context);
        return 1;
    }
    {
        std::vector<xmlNodePtr> attributes;
        for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next)
            attributes.push_back(reinterpret_cast<xmlNodePtr>(attribute));
        of(context)->pushList(std::move(attributes));
    }
    return 1;
}

duk_ret_t ScriptEngine::nodeParent(duk_context *context)
{
    xmlNodePtr node = thisNode(context);
    if (!node)
        return ZANDREL_STALE_ERROR(context);
    of(context)->pushNode(node->type == XML_NAMESPACE_DECL || node->type == XML_ATTRIBUTE_NODE ? nullptr
                                                                                               : node->parent);
    return 1;
}

duk_ret_t ScriptEngine::nodeFirstChild(duk_context *context)
{
    xmlNodePtr node = thisNode(context);
    if (!node)
        return ZANDREL_STALE_ERROR(context);
    const bool hasChildren = node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE;
    of(context)->pushNode(hasChildren ? node->children : nullptr);
    return 1;
}

duk_ret_t ScriptEngine::nodeNextSibling(duk_context *context)
{
    xmlNodePtr node = thisNode(context);
    if (!node)
        return ZANDREL_STALE_ERROR(context);
    of(context)->pushNode(node->type == XML_NAMESPACE_DECL || node->type == XML_ATTRIBUTE_NODE ? nullptr : node->next);
    return 1;
}

void ScriptEngine::pushValue(xmlXPathObjectPtr value)
{
    switch (value->type) {
    case XPATH_NUMBER:
        duk_push_number(m_context, value->floatval);
        break;
    case XPATH_BOOLEAN:
        duk_push_boolean(m_context, value->boolval);
        break;
    case XPATH_NODESET:
    case XPATH_XSLT_TREE: {
        std::vector<xmlNodePtr> nodes;
        if (value->nodesetval) {
            xmlXPathNodeSetSort(value->nodesetval);
            nodes.assign(value->nodesetval->nodeTab, value->nodesetval->nodeTab + value->nodesetval->nodeNr);
        }
        pushList(std::move(nodes));
        break;
    }
    default: {
        XmlText text(xmlXPathCastToString(value));
        duk_push_string(m_context, text ? reinterpret_cast<const char *>(text.get()) : "");
        break;
    }
    }
}

xmlXPathObjectPtr ScriptEngine::resultValue(duk_idx_t index)
{
    if (duk_is_boolean(m_context, index))
        return xmlXPathNewBoolean(duk_get_boolean(m_context, index));
    if (duk_is_number(m_context, index))
        return xmlXPathNewFloat(duk_get_number(m_context, index));
    if (duk_is_undefined(m_context, index) || duk_is_null(m_context, index))
        return xmlXPathNewCString("");
    if (const std::vector<xmlNodePtr> *list = listOf(index)) {
        xmlXPathObjectPtr set = xmlXPathNewNodeSet(nullptr);
        for (xmlNodePtr node : *list)
            if (node->type != XML_NAMESPACE_DECL)
                xmlXPathNodeSetAdd(set->nodesetval, node);
        return set;
    }
    if (xmlNodePtr node = nodeOf(index))
        return xmlXPathNewNodeSet(node->type == XML_NAMESPACE_DECL ? nullptr : node);
    return xmlXPathNewCString(duk_safe_to_string(m_context, index));
}

void ScriptEngine::callFromXPath(xmlXPathParserContextPtr parser, int count)
{
    xsltTransformContextPtr transform = xsltXPathGetTransformContext(parser);
    auto *host = transform ? static_cast<std::vector<std::unique_ptr<ScriptEngine>> *>(transform->_private) : nullptr;
    const xmlChar *uri = parser->context->functionURI;
    if (host && uri) {
        for (const std::unique_ptr<ScriptEngine> &engine : *host) {
            if (engine->m_uri == reinterpret_cast<const char *>(uri)) {
                engine->call(parser, count);
                return;
            }
        }
    }
    xmlXPathErr(parser, XPATH_UNKNOWN_FUNC_ERROR);
}

void ScriptEngine::call(xmlXPathParserContextPtr parser, int count)
{
    xsltTransformContextPtr transform = xsltXPathGetTransformContext(parser);
    const char *name = reinterpret_cast<const char *>(parser->context->function);
    std::vector<xmlXPathObjectPtr> arguments(static_cast<std::size_t>(count));
    for (int i = count - 1; i >= 0; --i)
        arguments[std::size_t(i)] = valuePop(parser);

    // Nodes of earlier calls may be gone (result tree fragments are freed): start afresh.
    ++m_generation;
    m_lists.clear();
    duk_get_global_string(m_context, name);
    for (xmlXPathObjectPtr argument : arguments)
        pushValue(argument);
    startClock();
    const bool failed = duk_pcall(m_context, count) != 0;
    if (failed) {
        const QString message = errorText(-1);
        xsltTransformError(transform, nullptr, transform ? transform->inst : nullptr,
                           "msxsl:script function %s(): %s\n", name, message.toUtf8().constData());
        if (transform)
            transform->state = XSLT_STATE_STOPPED;
        parser->error = XPATH_EXPR_ERROR;
    } else {
        valuePush(parser, resultValue(-1));
    }
    duk_pop(m_context);
    m_lists.clear();
    ++m_generation;
    for (xmlXPathObjectPtr argument : arguments)
        xmlXPathFreeObject(argument);
}

ScriptHost::ScriptHost(xsltStylesheet *style, bool trimText)
{
    std::vector<const xmlDoc *> documents;
    collectDocuments(style, documents);
    for (const xmlDoc *document : documents) {
        const xmlNode *root = xmlDocGetRootElement(document);
        for (const xmlNode *node = root ? root->children : nullptr; node; node = node->next) {
            if (!isScriptElement(node))
                continue;
            XmlText language(xmlGetProp(node, xml("language")));
            const QString languageName = language ? fromXml(language.get()).trimmed() : QStringLiteral("JScript");
            const QString lower = languageName.toLower();
            if (lower != QLatin1String("jscript") && lower != QLatin1String("javascript"))
                throw XsltProcessorError(
                    {QStringLiteral("msxsl:script (%1): scripts in %2 cannot run here; only JScript and JavaScript "
                                    "scripts can.")
                         .arg(placeOf(node), languageName.isEmpty() ? QStringLiteral("an unnamed language") : languageName)});
            XmlText prefix(xmlGetProp(node, xml("implements-prefix")));
            const xmlNs *ns = prefix ? xmlSearchNs(node->doc, const_cast<xmlNode *>(node), prefix.get()) : nullptr;
            if (!ns)
                throw XsltProcessorError({QStringLiteral("msxsl:script (%1): implements-prefix \"%2\" names no "
                                                         "namespace declared here.")
                                              .arg(placeOf(node), fromXml(prefix.get()))});
            ScriptEngine *engine = nullptr;
            for (const std::unique_ptr<ScriptEngine> &existing : m_engines)
                if (existing->uri() == reinterpret_cast<const char *>(ns->href))
                    engine = existing.get();
            if (!engine) {
                m_engines.push_back(std::make_unique<ScriptEngine>(ns->href, trimText));
                engine = m_engines.back().get();
            }
            engine->evaluate(node);
        }
    }
}

ScriptHost::~ScriptHost() = default;

void ScriptHost::setTimeLimit(std::chrono::milliseconds limit)
{
    timeLimitMilliseconds = limit.count();
}

std::chrono::milliseconds ScriptHost::timeLimit()
{
    return std::chrono::milliseconds(timeLimitMilliseconds.load());
}

void ScriptHost::registerFunctions(xsltTransformContext *context)
{
    if (m_engines.empty())
        return;
    context->_private = &m_engines;
    for (const std::unique_ptr<ScriptEngine> &engine : m_engines)
        for (const std::string &name : engine->functionNames())
            xsltRegisterExtFunction(context, xml(name.c_str()), xml(engine->uri().c_str()),
                                    &ScriptEngine::callFromXPath);
}

} // namespace zandrel::platform

// Asked by the engine every so many instructions while a script runs.
extern "C" int zandrel_script_timed_out(void *engine)
{
    return engine && static_cast<const zandrel::platform::ScriptEngine *>(engine)->timedOut() ? 1 : 0;
}
