#pragma once

#include <QString>
#include <QStringList>

#include <optional>

struct _xmlDoc;
struct _xsltStylesheet;

namespace zandrel::processor {

// A style sheet runs unless the processor counts an error in it, or XSLT 1.0 makes an error of
// what it reports. Everything else the processor says while compiling or running is a warning:
// the user is told, and the result is written.
//
// XSLT 1.0 runs a style sheet in forwards-compatible mode wherever the version in force (the
// version attribute of the style sheet element, or xsl:version on a literal result element) is
// not 1.0: there an unknown instruction is no fault until it runs without an xsl:fallback, and
// an unknown top-level element is ignored. The processor reports an unknown instruction without
// counting it; outside forwards-compatible mode it makes the style sheet faulty.
//
// What the processor reports without counting it as an error, but XSLT 1.0 calls an error, so
// that the style sheet is refused all the same (XSLT 1.0 section in brackets):
// - xsl:stylesheet or xsl:transform without its version attribute [2.2];
// - a prefix with no namespace declaration in scope [2.4], in exclude-result-prefixes [7.1.1],
//   extension-element-prefixes [14.1] or xsl:namespace-alias [7.1.1], or a missing prefix
//   attribute of xsl:namespace-alias [7.1.1];
// - an xsl:import or xsl:include without href, with a URI that cannot be read, or that
//   includes or imports itself [2.6];
// - xsl:strip-space or xsl:preserve-space without its elements attribute [3.4];
// - an XSLT element where the syntax of its parent allows none [2.2, 18], an xsl:param that
//   is not among the first children of xsl:template [11.5], an xsl:text with element content
//   [7.2], an xsl:attribute-set with other children than xsl:attribute [7.1.4];
// - an attribute value template with a lone "}" [7.6.2];
// - xsl:variable or xsl:param without a name [11], or with both select and content [11.2];
// - xsl:number with a level other than single, multiple or any [7.7], or a letter-value
//   other than alphabetic or traditional [7.7.1];
// - xsl:sort with an order other than ascending or descending, a case-order other than
//   upper-first or lower-first, or a data-type other than text, number or a prefixed name
//   [10];
// - disable-output-escaping other than yes or no [16.4];
// - xsl:output with a method other than xml, html, text or a prefixed name [16];
// - xsl:decimal-format whose name is no QName, or declared more than once with the same
//   expanded name and different values for any attribute, defaults included [12.3];
// - anything the processor could not do for want of memory.

// Whether a compiled style sheet is too faulty to run, from the processor's error count and the
// messages it gave while compiling.
bool isFaultyStyleSheet(const _xsltStylesheet *style, const QStringList &compileMessages);

// Takes the unknown top-level elements out of a style sheet document in forwards-compatible
// mode, before it is compiled: the processor would count each as an error.
void dropUnknownTopLevelElements(_xmlDoc *styleSheet);

// The message for a transformation that reached an instruction the processor does not know and
// that has no xsl:fallback; nullopt when the run's messages report none. The processor only
// notes that and goes on, which would write an incomplete result.
std::optional<QString> unknownInstructionReached(const QStringList &runMessages);

} // namespace zandrel::processor
