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

// The first element at or below the node, in document order, for which found is true; without
// recursion, as walkTree.
template <typename Found> const xmlNode *findElement(const xmlNode *node, Found found)
{
    const xmlNode *const top = node;
    while (node) {
        if (node->type == XML_ELEMENT_NODE && found(node))
            return node;
        if ((node == top || node->type == XML_ELEMENT_NODE) && node->children) {
            node = node->children;
            continue;
        }
        while (node != top && !node->next)
            node = node->parent;
        if (node == top)
            return nullptr;
        node = node->next;
    }
    return nullptr;
}

// Whether a node has the layout of xmlNode, with a line field. A document type, its
// declarations and the attributes are other structures that merely begin alike: writing a line
// into one of them overwrites one of their pointers.
inline bool carriesLine(const xmlNode *node)
{
    switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_ENTITY_REF_NODE:
    case XML_PI_NODE:
    case XML_COMMENT_NODE:
        return true;
    default:
        return false;
    }
}

// Gives a copy (a document or an element, copied whole) the line numbers of the original's
// nodes: the library's copy keeps those of elements only, and the processor's messages about
// text need theirs too.
inline void copyLineNumbers(const xmlNode *from, xmlNode *to)
{
    const xmlNode *const top = from;
    while (from && to) {
        if (from->type == to->type && carriesLine(to))
            to->line = from->line;
        if ((from == top || from->type == XML_ELEMENT_NODE) && from->children && to->children) {
            from = from->children;
            to = to->children;
            continue;
        }
        while (from != top && to && !from->next) {
            from = from->parent;
            to = to->parent;
        }
        if (from == top || !to)
            return;
        from = from->next;
        to = to->next;
    }
}

} // namespace zandrel::processor
