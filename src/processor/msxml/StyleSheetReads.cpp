#include "StyleSheetReads.h"
#include "StyleSheetDocuments.h"
#include "XmlSupport.h"

#include "XPathReads.h"

#include <libxslt/xsltInternals.h>

#include <algorithm>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace zandrel::processor {

namespace {

constexpr std::string_view msxslNamespace = "urn:schemas-microsoft-com:xslt";
constexpr std::string_view exsltCommonNamespace = "http://exslt.org/common";
// Namespaces of functions that evaluate an expression given as a string.
constexpr std::string_view evaluatingNamespaces[] = {"http://exslt.org/dynamic", "http://icl.com/saxon"};

constexpr unsigned rootReach = TreeNodes | NewlineHolders | HolderParents;

std::string_view text(const xmlChar *value)
{
    return value ? std::string_view(reinterpret_cast<const char *>(value)) : std::string_view();
}

bool isXslt(const xmlNode *node)
{
    return node->type == XML_ELEMENT_NODE && node->ns && xmlStrEqual(node->ns->href, XSLT_NAMESPACE);
}

bool isXslt(const xmlNode *node, std::string_view name)
{
    return isXslt(node) && text(node->name) == name;
}

std::optional<std::string> attribute(const xmlNode *element, const char *name)
{
    XmlText value(xmlGetNoNsProp(element, xml(name)));
    if (!value)
        return std::nullopt;
    return std::string(text(value.get()));
}

class StyleSheetReader final : public XPathSurroundings {
public:
    StyleSheetReader(const xsltStylesheet *style, const NewlineHolderNames &names)
        : m_holderNames(names.holders.begin(), names.holders.end()),
          m_holderParentNames(names.parents.begin(), names.parents.end())
    {
        collectStyleSheetDocuments(style, m_documents);
    }

    bool mayRead()
    {
        for (const xmlDoc *document : m_documents)
            if (document)
                collectNamespaces(xmlDocGetRootElement(document));
        // Variables and keys are bound in passes until what they may hold stays the same; a
        // reference may come before its binding, and a parameter may be passed itself.
        constexpr int maxPasses = 64;
        for (int pass = 0; pass < maxPasses; ++pass) {
            m_firstPass = pass == 0;
            m_changed = false;
            m_reads = false;
            for (const xmlDoc *document : m_documents)
                if (document)
                    topLevel(xmlDocGetRootElement(document));
            if (!m_changed && !m_firstPass)
                return m_reads;
        }
        return true;
    }

    unsigned elementReach(std::string_view localName) const override
    {
        return TreeNodes | (m_holderNames.contains(localName) ? NewlineHolders : NoNodes) |
               (m_holderParentNames.contains(localName) ? HolderParents : NoNodes);
    }

    unsigned variable(std::string_view qualifiedName) const override
    {
        return bindingOf(m_variables, expandedName(qualifiedName), AnyNodes);
    }

    unsigned keyNodes(std::optional<std::string_view> qualifiedName) const override
    {
        if (qualifiedName)
            return bindingOf(m_keys, expandedName(*qualifiedName), AnyNodes);
        unsigned nodes = NoNodes;
        for (const auto &[name, matched] : m_keys)
            nodes |= matched;
        return nodes;
    }

    Function function(std::string_view prefix, std::string_view localName) const override
    {
        if (prefix.empty())
            return Function::Core;
        const std::optional<std::string> uri = namespaceOf(prefix);
        if (!uri)
            return Function::Unknown;
        if (*uri == msxslNamespace || *uri == exsltCommonNamespace)
            return localName == "node-set" ? Function::PassesNodes : Function::ReadsArguments;
        if (m_scriptNamespaces.contains(*uri))
            return Function::Script;
        if (std::ranges::find(evaluatingNamespaces, *uri) != std::end(evaluatingNamespaces))
            return Function::EvaluatesAnything;
        return Function::Unknown;
    }

private:
    std::optional<std::string> namespaceOf(std::string_view prefix) const
    {
        const std::string wanted(prefix);
        // The library's lookup takes no const node, and no empty prefix for the default namespace.
        const xmlNs *ns = m_element ? xmlSearchNs(m_element->doc, const_cast<xmlNode *>(m_element),
                                                  wanted.empty() ? nullptr : xml(wanted.c_str()))
                                    : nullptr;
        if (!ns || !ns->href)
            return std::nullopt;
        return std::string(text(ns->href));
    }

    // A qualified name with its prefix replaced by the namespace, as the processor matches it.
    std::string expandedName(std::string_view qualifiedName) const
    {
        const std::size_t colon = qualifiedName.find(':');
        if (colon == std::string_view::npos)
            return std::string(qualifiedName);
        const std::optional<std::string> uri = namespaceOf(qualifiedName.substr(0, colon));
        if (!uri)
            return std::string(qualifiedName);
        return '{' + *uri + '}' + std::string(qualifiedName.substr(colon + 1));
    }

    std::string expandedName(const xmlNode *element, const char *attributeName)
    {
        m_element = element;
        return expandedName(attribute(element, attributeName).value_or(std::string()));
    }

    // The namespaces of script functions and of extension elements.
    void collectNamespaces(const xmlNode *node)
    {
        for (; node; node = node->next) {
            if (node->type != XML_ELEMENT_NODE)
                continue;
            m_element = node;
            const bool script =
                node->ns && text(node->ns->href) == msxslNamespace && text(node->name) == "script";
            if (script) {
                if (const std::optional<std::string> prefix = attribute(node, "implements-prefix"))
                    if (std::optional<std::string> uri = namespaceOf(*prefix))
                        m_scriptNamespaces.insert(std::move(*uri));
                continue;
            }
            XmlText prefixes(isXslt(node)
                                 ? xmlGetNoNsProp(node, xml("extension-element-prefixes"))
                                 : xmlGetNsProp(node, xml("extension-element-prefixes"), XSLT_NAMESPACE));
            for (std::string_view list = text(prefixes.get()); !list.empty();) {
                const std::size_t start = list.find_first_not_of(" \t\r\n");
                if (start == std::string_view::npos)
                    break;
                const std::size_t end = std::min(list.find_first_of(" \t\r\n", start), list.size());
                const std::string_view prefix = list.substr(start, end - start);
                if (std::optional<std::string> uri =
                        namespaceOf(prefix == "#default" ? std::string_view() : prefix))
                    m_extensionNamespaces.insert(std::move(*uri));
                list.remove_prefix(end);
            }
            collectNamespaces(node->children);
        }
    }

    // What a name is bound to; the first pass has not seen every binding yet.
    unsigned bindingOf(const std::map<std::string, unsigned> &bindings, const std::string &name,
                       unsigned unbound) const
    {
        const auto found = bindings.find(name);
        if (found != bindings.end())
            return found->second;
        return m_firstPass ? NoNodes : unbound;
    }

    void noteBinding(std::map<std::string, unsigned> &bindings, std::string name, unsigned nodes)
    {
        const auto [found, inserted] = bindings.try_emplace(std::move(name), nodes);
        if (inserted || (found->second | nodes) != found->second) {
            found->second |= nodes;
            m_changed = true;
        }
    }

    XPathReads analyse(const xmlNode *element, const std::string &expression, unsigned context)
    {
        m_element = element;
        XPathReads result = analyseExpression(expression, context, context, *this);
        if (!result.understood || result.readsNewlines)
            m_reads = true;
        return result;
    }

    // An expression whose value is converted to text or copied.
    void read(const xmlNode *element, const char *name, unsigned context)
    {
        if (const std::optional<std::string> expression = attribute(element, name))
            if (analyse(element, *expression, context).value & NewlineHolders)
                m_reads = true;
    }

    // An expression whose nodes are selected, tested or bound; the nodes it may give.
    unsigned select(const xmlNode *element, const char *name, unsigned context)
    {
        const std::optional<std::string> expression = attribute(element, name);
        return expression ? analyse(element, *expression, context).value : NoNodes;
    }

    // A pattern: the nodes it may match.
    unsigned pattern(const xmlNode *element, const char *name) { return select(element, name, AnyNodes); }

    void valueTemplate(const xmlNode *element, const xmlAttr *attribute, unsigned context)
    {
        XmlText value(xmlNodeListGetString(element->doc, attribute->children, 1));
        const std::string_view template_ = text(value.get());
        if (template_.find('{') == std::string_view::npos)
            return;
        m_element = element;
        const XPathReads result = analyseValueTemplate(template_, context, *this);
        if (!result.understood || result.readsNewlines)
            m_reads = true;
    }

    void valueTemplates(const xmlNode *element, std::initializer_list<const char *> names, unsigned context)
    {
        for (const char *name : names)
            if (const xmlAttr *found = xmlHasNsProp(element, xml(name), nullptr))
                valueTemplate(element, found, context);
    }

    void topLevel(const xmlNode *root)
    {
        if (!root)
            return;
        if (!isXslt(root, "stylesheet") && !isXslt(root, "transform")) {
            // A literal result element as the style sheet: the template for the root.
            instruction(root, rootReach);
            return;
        }
        for (const xmlNode *child = root->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE)
                continue;
            if (!isXslt(child)) {
                // Data of the style sheet's own and scripts are not run; extension elements
                // (a function's definition) are, for any node.
                if (child->ns && m_extensionNamespaces.contains(std::string(text(child->ns->href))))
                    instruction(child, AnyNodes);
                continue;
            }
            const std::string_view name = text(child->name);
            if (name == "template") {
                // A template runs for the nodes its pattern matches, and a named one for those of
                // its callers.
                unsigned context = pattern(child, "match");
                if (xmlHasNsProp(child, xml("name"), nullptr))
                    context |= bindingOf(m_callContexts, expandedName(child, "name"), NoNodes);
                instructions(child, context);
            } else if (name == "variable" || name == "param") {
                bind(child, rootReach);
            } else if (name == "key") {
                const unsigned matched = pattern(child, "match");
                noteBinding(m_keys, expandedName(child, "name"), matched);
                read(child, "use", matched);
            } else if (name == "attribute-set") {
                instructions(child, AnyNodes);
            } else if (name != "import" && name != "include" && name != "output" && name != "strip-space" &&
                       name != "preserve-space" && name != "decimal-format" && name != "namespace-alias") {
                instruction(child, AnyNodes);
            }
        }
    }

    void instructions(const xmlNode *parent, unsigned context)
    {
        for (const xmlNode *child = parent->children; child; child = child->next)
            if (child->type == XML_ELEMENT_NODE)
                instruction(child, context);
    }

    // A variable, parameter or passed parameter: what its select may hold; content makes a
    // result tree fragment, which holds none of the source's nodes.
    void bind(const xmlNode *element, unsigned context)
    {
        unsigned nodes = NoNodes;
        if (xmlHasNsProp(element, xml("select"), nullptr))
            nodes = select(element, "select", context);
        else
            instructions(element, context);
        noteBinding(m_variables, expandedName(element, "name"), nodes);
    }

    void sortKey(const xmlNode *sort, unsigned sorted, unsigned context)
    {
        if (xmlHasNsProp(sort, xml("select"), nullptr))
            read(sort, "select", sorted);
        else if (sorted & NewlineHolders)
            m_reads = true;
        valueTemplates(sort, {"lang", "data-type", "order", "case-order"}, sorted | context);
    }

    void instruction(const xmlNode *element, unsigned context)
    {
        if (!isXslt(element)) {
            const bool extension =
                element->ns && m_extensionNamespaces.contains(std::string(text(element->ns->href)));
            for (const xmlAttr *attribute = element->properties; attribute; attribute = attribute->next) {
                if (attribute->ns && xmlStrEqual(attribute->ns->href, XSLT_NAMESPACE))
                    continue;
                if (extension && text(attribute->name) == "select")
                    read(element, "select", context);
                else
                    valueTemplate(element, attribute, context);
            }
            instructions(element, context);
            return;
        }
        const std::string_view name = text(element->name);
        if (name == "apply-templates" || name == "for-each") {
            const unsigned selected = xmlHasNsProp(element, xml("select"), nullptr)
                                          ? select(element, "select", context)
                                          : analyse(element, "node()", context).value;
            for (const xmlNode *child = element->children; child; child = child->next) {
                if (isXslt(child, "sort"))
                    sortKey(child, selected, context);
                else if (child->type == XML_ELEMENT_NODE)
                    instruction(child, name == "for-each" ? selected : context);
            }
        } else if (name == "value-of" || name == "copy-of") {
            read(element, "select", context);
        } else if (name == "if" || name == "when") {
            select(element, "test", context);
            instructions(element, context);
        } else if (name == "variable" || name == "param" || name == "with-param") {
            bind(element, context);
        } else if (name == "sort") {
            sortKey(element, context, context);
        } else if (name == "element" || name == "attribute") {
            valueTemplates(element, {"name", "namespace"}, context);
            instructions(element, context);
        } else if (name == "processing-instruction") {
            valueTemplates(element, {"name"}, context);
            instructions(element, context);
        } else if (name == "number") {
            read(element, "value", context);
            pattern(element, "count");
            pattern(element, "from");
            valueTemplates(element, {"format", "lang", "letter-value", "grouping-separator", "grouping-size"},
                           context);
        } else if (name == "document") {
            for (const xmlAttr *attribute = element->properties; attribute; attribute = attribute->next)
                valueTemplate(element, attribute, context);
            instructions(element, context);
        } else if (name == "call-template") {
            noteBinding(m_callContexts, expandedName(element, "name"), context);
            instructions(element, context);
        } else if (name == "choose" || name == "otherwise" || name == "copy" || name == "message" ||
                   name == "comment" || name == "fallback" || name == "text" || name == "apply-imports") {
            instructions(element, context);
        } else {
            // An instruction of a later version: whatever it selects may be read.
            read(element, "select", context);
            read(element, "test", context);
            instructions(element, context);
        }
    }

    std::vector<const xmlDoc *> m_documents;
    std::set<std::string, std::less<>> m_holderNames;
    std::set<std::string, std::less<>> m_holderParentNames;
    std::set<std::string, std::less<>> m_scriptNamespaces;
    std::set<std::string, std::less<>> m_extensionNamespaces;
    std::map<std::string, unsigned> m_variables;
    std::map<std::string, unsigned> m_keys;
    // The context nodes with which each named template is called.
    std::map<std::string, unsigned> m_callContexts;
    // The element whose namespaces resolve the prefixes of the expression at hand.
    const xmlNode *m_element = nullptr;
    bool m_firstPass = true;
    bool m_changed = false;
    bool m_reads = false;
};

} // namespace

bool mayReadVirtualNewlines(const xsltStylesheet *style, const NewlineHolderNames &names)
{
    return StyleSheetReader(style, names).mayRead();
}

} // namespace zandrel::processor
