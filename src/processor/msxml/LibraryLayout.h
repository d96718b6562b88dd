#pragma once

// What the processor's own code assumes of libxml2's and libxslt's structures, checked wherever
// that code is compiled. The white-space loader, the virtual newlines and the copy of line
// numbers write into the libraries' trees directly; a library whose structures differ would let
// them overwrite a neighbouring field without a word, as once a DTD node's was.

#include <libxml/entities.h>
#include <libxml/tree.h>
#include <libxml/xmlversion.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltconfig.h>

#include <cstddef>
#include <type_traits>

// The families the code was written and tested against. A newer one may well do; build against
// it only after reading what changed in its tree structures and error texts, then widen this.
static_assert(LIBXML_VERSION >= 20900 && LIBXML_VERSION < 21500,
              "libxml2 2.9 to 2.14 expected: check the node layouts below and the parser's error texts");
static_assert(LIBXSLT_VERSION >= 10130 && LIBXSLT_VERSION < 10200,
              "libxslt 1.1.30 or later 1.1 expected: check the message texts read in LibxsltMessages.cpp");

// The sort reads the compiled form of xsl:sort from the instruction's psvi, which is where a
// libxslt built without the refactored compiler keeps it.
#ifdef XSLT_REFACTORED
#error "libxslt built with XSLT_REFACTORED keeps compiled instructions elsewhere"
#endif

namespace zandrel::processor::library_layout {

// Every tree structure of libxml2 begins with the same fields as xmlNode; the virtual newlines
// hang an entity declaration into the tree as a reference's child on the strength of it, and the
// tree walks follow children, parent and next through documents, DTDs and attributes alike.
template <typename Structure> constexpr bool beginsLikeANode()
{
    return std::is_standard_layout_v<Structure> &&
           offsetof(Structure, _private) == offsetof(xmlNode, _private) &&
           offsetof(Structure, type) == offsetof(xmlNode, type) &&
           offsetof(Structure, name) == offsetof(xmlNode, name) &&
           offsetof(Structure, children) == offsetof(xmlNode, children) &&
           offsetof(Structure, last) == offsetof(xmlNode, last) &&
           offsetof(Structure, parent) == offsetof(xmlNode, parent) &&
           offsetof(Structure, next) == offsetof(xmlNode, next) &&
           offsetof(Structure, prev) == offsetof(xmlNode, prev) &&
           offsetof(Structure, doc) == offsetof(xmlNode, doc);
}

static_assert(beginsLikeANode<xmlEntity>(), "an entity declaration must begin like a node");
static_assert(beginsLikeANode<xmlDtd>(), "a DTD must begin like a node");
static_assert(beginsLikeANode<xmlAttr>(), "an attribute must begin like a node");
static_assert(beginsLikeANode<xmlDoc>(), "a document must begin like a node");

// The line-number copy writes xmlNode::line, which only the node kinds allocated as xmlNode
// have: not a DTD, a declaration, an attribute or a document.
template <typename Structure>
concept HasLine = requires(Structure structure)
{
    structure.line;
};
static_assert(HasLine<xmlNode> && !HasLine<xmlDtd> && !HasLine<xmlEntity> && !HasLine<xmlAttr> &&
                  !HasLine<xmlDoc>,
              "the node kinds that carry a line number are not those the line-number copy expects");

} // namespace zandrel::processor::library_layout
