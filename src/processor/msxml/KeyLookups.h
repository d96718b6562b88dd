#pragma once

#include "KeyLookupNames.h"

#include <libxml/tree.h>
#include <libxslt/xsltInternals.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace zandrel::processor {

// The processor's key() gives a copy of the whole group that a key value names, which the
// grouping idioms then throw away but for one node or its count:
//   generate-id() = generate-id(key('k', @v)[1])      count(. | key('k', @v)[1]) = 1
//   generate-id(key('k', @v))                          count(key('k', @v))
// Evaluated once per node of a large job, the copies make a report's time grow with the square
// of the job. These idioms are written here as calls of lookups that read the key's table in
// place: the same nodes and numbers, in constant time per call.

// Expression kinds whose text may be rewritten.
enum class ExpressionKind {
    Expression,
    // A pattern (match, count, from): a key() at its top level is a pattern of its own, so only
    // the expressions in its predicates are rewritten.
    Pattern,
};

// The expression with the idioms above written as lookups; unchanged when it has none, or when
// it is no expression that the rewrite can read.
std::string rewriteKeyIdioms(std::string_view expression, ExpressionKind kind = ExpressionKind::Expression);

// Rewrites the expressions of a style sheet document's XSLT instructions, before it is
// compiled.
void rewriteKeyIdioms(xmlDoc *styleSheet);

// Makes the lookups known to a transformation; remembers what they learn about the key tables
// while it lives, which must cover the transformation's run.
class KeyLookups {
public:
    explicit KeyLookups(xsltTransformContext *context);
    ~KeyLookups();
    KeyLookups(const KeyLookups &) = delete;
    KeyLookups &operator=(const KeyLookups &) = delete;

    // The group's first node in document order, worked out once per group.
    xmlNode *leastOf(const xmlNodeSet *group);

private:
    KeyLookups *m_previous;
    std::unordered_map<const xmlNodeSet *, std::pair<int, xmlNode *>> m_least;
};

} // namespace zandrel::processor
