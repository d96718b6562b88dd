#pragma once

// What the processor's own code assumes of libxml2's and libxslt's structures, checked wherever
// that code is compiled. The white-space loader, the virtual newlines and the copy of line
// numbers write into the libraries' trees directly; a library whose structures differ would let
// them overwrite a neighbouring field without a word, as once a DTD node's was.

#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlversion.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltconfig.h>

#include <cstddef>
#include <type_traits>

// The versions the code was written for and tested with, in pairs: Debian 12's and 13's libxml2
// 2.9.14 and libxslt 1.1.35, and Debian unstable's libxml2 2.15 and libxslt 1.1.45. Every reach into the
// libraries' internals is written for each of them below or beside its use; the configure step
// refuses other versions before anything is compiled. Another version is admitted only after
// reading what changed in its parser, tree structures and message texts.
static_assert((LIBXML_VERSION == 20914 && LIBXSLT_VERSION == 10135) ||
                  (LIBXML_VERSION >= 21500 && LIBXML_VERSION < 21600 && LIBXSLT_VERSION == 10145),
              "libxml2 2.9.14 with libxslt 1.1.35, or libxml2 2.15 with libxslt 1.1.45 expected: check "
              "the reaches into their internals and the message texts read in LibxsltMessages.cpp");

// The sort reads the compiled form of xsl:sort from the instruction's psvi, which is where a
// libxslt built without the refactored compiler keeps it.
#ifdef XSLT_REFACTORED
#error "libxslt built with XSLT_REFACTORED keeps compiled instructions elsewhere"
#endif

namespace zandrel::processor::library_layout {

// The error that a structured error handler receives, const since libxml2 2.12.
#if LIBXML_VERSION >= 21200
using XmlErrorArgument = const xmlError *;
#else
using XmlErrorArgument = xmlError *;
#endif
static_assert(std::is_same_v<xmlStructuredErrorFunc, void (*)(void *, XmlErrorArgument)>,
              "a structured error handler takes another argument in this libxml2");

// Whether the parser is reading an entity's replacement text while it loads the document whose
// context is `document`. 2.9 reads that text (once, at the first reference) in a parser context of
// its own; 2.15 reads it in the document's own context, from an input that names the entity, into
// a temporary element.
inline bool readsEntityText(const xmlParserCtxt *parser, const xmlParserCtxt *document)
{
#if LIBXML_VERSION >= 21500
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return parser != document || (parser->input && parser->input->entity);
#pragma GCC diagnostic pop
#else
    return parser != document;
#endif
}

// Whether the parser, when it copies an entity's replacement text into the document, hands the
// text at its start and end over once more as the document's own characters (2.15), or copies
// every node as it is (2.9). With the former the white space around a reference is judged then.
inline constexpr bool entityTextRepeatedAsCharacters = LIBXML_VERSION >= 21500;

// Tells a parser under way to build nothing more and to end. Called from inside one of the
// parser's own allocations (the memory ceiling), so only plain stores may be made: nothing freed.
inline void haltParserInPlace(xmlParserCtxt *parser)
{
#if LIBXML_VERSION >= 21500
    // xmlStopParser is those stores here: the parser ends where disableSAX is above 1.
    xmlStopParser(parser);
#else
    // xmlStopParser frees the parser's inputs here; these are the stores it makes before that.
    parser->disableSAX = 1;
    parser->instate = XML_PARSER_EOF;
#endif
}

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
