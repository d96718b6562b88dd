#pragma once

#include <string>
#include <vector>

struct _xsltStylesheet;

namespace zandrel::processor {

// The local names of the source's elements whose text value has a virtual newline in it, and of
// those with such an element among their children.
struct NewlineHolderNames {
    std::vector<std::string> holders;
    std::vector<std::string> parents;
};

// Whether a transformation with this compiled style sheet (its imports and inclusions too) may
// read the text value of an element that holds a virtual newline, or copy one: through
// xsl:value-of, xsl:copy-of, comparisons, predicates, attribute value templates, keys, sort
// keys, number conversions, the string functions or a script.
//
// It follows each expression's nodes from the templates' patterns, the selections of
// xsl:for-each, variables and parameters (by name, over the whole style sheet) and keys; what
// it cannot follow counts as a read.
bool mayReadVirtualNewlines(const _xsltStylesheet *style, const NewlineHolderNames &names);

} // namespace zandrel::processor
