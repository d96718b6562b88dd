// The objects by which scripts see node-sets and nodes: node lists with length, item(i),
// nextNode() and reset(), and nodes with the original platform's DOM properties.
#include "ScriptEngine.h"
#include "processor/msxml/VirtualNewlines.h"
#include "processor/msxml/XmlSupport.h"

#include <libxml/xpath.h>

#include <cstring>
#include <memory>

namespace zandrel::processor {

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

void ScriptEngine::defineMethod(duk_context *context, const char *name, duk_c_function method,
                                duk_idx_t count)
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
#define ZANDREL_STALE_ERROR(context)                                                                         \
    duk_error(context, DUK_ERR_ERROR,                                                                        \
              "the node is no longer available: nodes are valid during the call that received them")

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
    if (node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE ||
        node->type == XML_DOCUMENT_FRAG_NODE) {
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
    case XML_ELEMENT_NODE:
        type = 1;
        break;
    case XML_ATTRIBUTE_NODE:
    case XML_NAMESPACE_DECL:
        type = 2;
        break;
    case XML_TEXT_NODE:
        type = 3;
        break;
    case XML_CDATA_SECTION_NODE:
        type = 4;
        break;
    case XML_PI_NODE:
        type = 7;
        break;
    case XML_COMMENT_NODE:
        type = 8;
        break;
    case XML_DOCUMENT_NODE:
        type = node->name && xmlStrEqual(node->name, xml(" fake node libxslt")) ? 11 : 9;
        break;
    default:
        break;
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
            const bool matches = prefix ? std::strncmp(wanted, prefix, prefixLength) == 0 &&
                                              wanted[prefixLength] == ':' &&
                                              std::strcmp(wanted + prefixLength + 1, name) == 0
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

namespace {

// The node itself or the first sibling after it that a script may see: not a document type,
// nor a virtual newline, which the original DOM does not show either.
xmlNodePtr visibleFrom(xmlNodePtr node)
{
    while (node && (node->type == XML_DTD_NODE || node->type == XML_ENTITY_DECL || isVirtualNewline(node)))
        node = node->next;
    return node;
}

} // namespace

duk_ret_t ScriptEngine::nodeChildNodes(duk_context *context)
{
    xmlNodePtr node = thisNode(context);
    if (!node)
        return ZANDREL_STALE_ERROR(context);
    {
        std::vector<xmlNodePtr> children;
        if (node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE)
            for (xmlNodePtr child = node->children; child; child = child->next)
                if (visibleFrom(child) == child)
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
    of(context)->pushNode(
        node->type == XML_NAMESPACE_DECL || node->type == XML_ATTRIBUTE_NODE ? nullptr : node->parent);
    return 1;
}

duk_ret_t ScriptEngine::nodeFirstChild(duk_context *context)
{
    xmlNodePtr node = thisNode(context);
    if (!node)
        return ZANDREL_STALE_ERROR(context);
    const bool hasChildren = node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE;
    of(context)->pushNode(hasChildren ? visibleFrom(node->children) : nullptr);
    return 1;
}

duk_ret_t ScriptEngine::nodeNextSibling(duk_context *context)
{
    xmlNodePtr node = thisNode(context);
    if (!node)
        return ZANDREL_STALE_ERROR(context);
    of(context)->pushNode(node->type == XML_NAMESPACE_DECL || node->type == XML_ATTRIBUTE_NODE
                              ? nullptr
                              : visibleFrom(node->next));
    return 1;
}

} // namespace zandrel::processor
