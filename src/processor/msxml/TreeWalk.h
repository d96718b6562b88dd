#pragma once

#include <libxml/tree.h>

namespace zandrel::processor {

// Visits the node and the nodes after it in document order, an element's children before its
// next sibling, without recursion (a deeply nested document must not exhaust the stack); it
// does not climb above the parent of the first node. visit returns the node to go on from,
// which may be one it put in the given node's place.
template <typename Visit> void walkTree(xmlNode *node, Visit visit)
{
    while (node) {
        node = visit(node);
        if (node->type == XML_ELEMENT_NODE && node->children) {
            node = node->children;
            continue;
        }
        while (node && !node->next) {
            node = node->parent;
            if (node && node->type != XML_ELEMENT_NODE)
                node = nullptr;
        }
        if (node)
            node = node->next;
    }
}

} // namespace zandrel::processor
