#pragma once

#include <optional>
#include <string_view>

namespace zandrel::processor {

// Which of the source's nodes a value may hold, as far as virtual newlines go. Strings,
// numbers, booleans and result tree fragments hold none of them.
enum NodeReach : unsigned {
    NoNodes = 0,
    // Attributes and namespaces: no newline in their text, and a script cannot walk on from them.
    AttributeNodes = 1,
    // Elements, text, comments, processing instructions, the root: a script can walk from them
    // to any other node.
    TreeNodes = 2,
    // Elements (and the root) whose text value may have a virtual newline in it; always comes
    // with TreeNodes.
    NewlineHolders = 4,
    // Elements (and the root) with such an element among their children; always comes with
    // NewlineHolders. Without it, no node below has a newline in its text value.
    HolderParents = 8,
    AnyNodes = AttributeNodes | TreeNodes | NewlineHolders | HolderParents,
};

// What an expression's analysis needs to know about the style sheet and the source.
class XPathSurroundings {
public:
    enum class Function {
        Core,              // XPath's and XSLT's own (no prefix)
        PassesNodes,       // node-set(): gives its argument's nodes, reads nothing
        ReadsArguments,    // reads its arguments as text or numbers, gives no nodes
        Script,            // a script function: walks its nodes as it likes
        EvaluatesAnything, // evaluates expressions built at run time
        Unknown,
    };

    virtual ~XPathSurroundings() = default;
    // What elements of this local name may be: TreeNodes, with NewlineHolders and HolderParents
    // as the source's elements of that name may be.
    virtual unsigned elementReach(std::string_view localName) const = 0;
    // What a variable or parameter of this name (as written) may hold.
    virtual unsigned variable(std::string_view qualifiedName) const = 0;
    // The nodes that key() gives for the key of this name; nullopt: a name computed at run time.
    virtual unsigned keyNodes(std::optional<std::string_view> qualifiedName) const = 0;
    virtual Function function(std::string_view prefix, std::string_view localName) const = 0;
};

struct XPathReads {
    // False when the text is no expression this analysis follows: assume the worst.
    bool understood = true;
    // The expression may read the text value of a newline holder (compare it, convert it to
    // a string or number, hand it to a script).
    bool readsNewlines = false;
    // What its value may hold.
    unsigned value = NoNodes;
};

// Analyses an XPath expression (or an XSLT pattern) evaluated for context nodes of the given
// reach; current() gives nodes of the reach current.
XPathReads analyseExpression(std::string_view expression, unsigned context, unsigned current,
                             const XPathSurroundings &surroundings);

// Analyses an attribute value template: each expression in braces is read as text.
XPathReads analyseValueTemplate(std::string_view text, unsigned context,
                                const XPathSurroundings &surroundings);

} // namespace zandrel::processor
