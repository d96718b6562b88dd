#pragma once

#include <libxml/xpath.h>

namespace zandrel::processor {

// Gives the XPath context back its context node, position, size and namespaces when it goes:
// the processor expects them unchanged after an instruction evaluated its own expression.
class SavedXPathContext {
public:
    explicit SavedXPathContext(xmlXPathContextPtr context)
        : m_context(context), m_node(context->node), m_position(context->proximityPosition),
          m_size(context->contextSize), m_namespaceCount(context->nsNr), m_namespaces(context->namespaces)
    {}
    ~SavedXPathContext()
    {
        m_context->node = m_node;
        m_context->proximityPosition = m_position;
        m_context->contextSize = m_size;
        m_context->nsNr = m_namespaceCount;
        m_context->namespaces = m_namespaces;
    }
    SavedXPathContext(const SavedXPathContext &) = delete;
    SavedXPathContext &operator=(const SavedXPathContext &) = delete;

private:
    xmlXPathContextPtr m_context;
    xmlNodePtr m_node;
    int m_position;
    int m_size;
    int m_namespaceCount;
    xmlNsPtr *m_namespaces;
};

} // namespace zandrel::processor
