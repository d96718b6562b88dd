// An XPath 1.0 parser that evaluates nothing: it follows which of the source's nodes each part
// of an expression may stand for, and notes where the text value of a node that may hold a
// virtual newline is read.
#include "XPathReads.h"

#include "KeyLookupNames.h"
#include "XPathTokens.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace zandrel::processor {

namespace {

using Token = XPathToken;

enum class Axis {
    Ancestor,
    AncestorOrSelf,
    Attribute,
    Child,
    Descendant,
    DescendantOrSelf,
    Following,
    FollowingSibling,
    Namespace,
    Parent,
    Preceding,
    PrecedingSibling,
    Self,
};

Axis axisNamed(std::string_view name)
{
    static constexpr std::pair<std::string_view, Axis> axes[] = {
        {"ancestor", Axis::Ancestor},
        {"ancestor-or-self", Axis::AncestorOrSelf},
        {"attribute", Axis::Attribute},
        {"child", Axis::Child},
        {"descendant", Axis::Descendant},
        {"descendant-or-self", Axis::DescendantOrSelf},
        {"following", Axis::Following},
        {"following-sibling", Axis::FollowingSibling},
        {"namespace", Axis::Namespace},
        {"parent", Axis::Parent},
        {"preceding", Axis::Preceding},
        {"preceding-sibling", Axis::PrecedingSibling},
        {"self", Axis::Self},
    };
    for (const auto &[axisName, axis] : axes)
        if (axisName == name)
            return axis;
    throw XPathSyntaxError();
}

// What a node test lets through.
struct NodeTest {
    enum Kind { Name, AnyElement, AnyNode, Leaf } kind = AnyNode;
    std::string_view localName;
};

struct Value {
    Value(unsigned reach = NoNodes, std::optional<std::string_view> literalText = std::nullopt)
        : nodes(reach), literal(literalText)
    {}
    unsigned nodes;
    std::optional<std::string_view> literal; // a string literal as written
};

class Analysis {
public:
    Analysis(std::string_view text, unsigned current, const XPathSurroundings &surroundings)
        : m_lexemes(tokenizeXPath(text)), m_current(current), m_surroundings(surroundings)
    {}

    XPathReads run(unsigned context)
    {
        const Value value = expression(context);
        if (peek() != Token::End)
            throw XPathSyntaxError();
        return {true, m_reads, value.nodes};
    }

private:
    Token peek() const { return m_lexemes[m_position].token; }
    const XPathLexeme &take() { return m_lexemes[m_position++]; }
    bool accept(Token token)
    {
        if (peek() != token)
            return false;
        ++m_position;
        return true;
    }
    void expect(Token token)
    {
        if (!accept(token))
            throw XPathSyntaxError();
    }

    // The value is converted to a string or number.
    void read(const Value &value)
    {
        if (value.nodes & NewlineHolders)
            m_reads = true;
    }

    unsigned testReach(const NodeTest &test) const
    {
        switch (test.kind) {
        case NodeTest::Name:
            return m_surroundings.elementReach(test.localName);
        case NodeTest::Leaf:
            return TreeNodes;
        default:
            return TreeNodes | NewlineHolders | HolderParents;
        }
    }

    // The nodes a step may reach from context nodes of the given reach.
    unsigned step(Axis axis, const NodeTest &test, unsigned context) const
    {
        const bool inTree = context & (TreeNodes | NewlineHolders);
        switch (axis) {
        case Axis::Attribute:
        case Axis::Namespace:
            return inTree ? AttributeNodes : NoNodes;
        case Axis::Self:
            switch (test.kind) {
            case NodeTest::AnyNode:
                return context;
            case NodeTest::AnyElement:
                return context & ~unsigned(AttributeNodes);
            case NodeTest::Leaf:
                return context & TreeNodes;
            case NodeTest::Name:
                return context & m_surroundings.elementReach(test.localName);
            }
            return context;
        case Axis::Child:
        case Axis::Descendant:
            // Only below a node with a newline holder among its children is there one.
            if (!inTree)
                return NoNodes;
            return testReach(test) & (context & HolderParents ? AnyNodes : TreeNodes);
        case Axis::DescendantOrSelf:
            return step(Axis::Descendant, test, context) | step(Axis::Self, test, context);
        case Axis::AncestorOrSelf:
            return step(Axis::Ancestor, test, context) | step(Axis::Self, test, context);
        default:
            return context == NoNodes ? NoNodes : testReach(test);
        }
    }

    static unsigned root() { return TreeNodes | NewlineHolders | HolderParents; }

    Value expression(unsigned context)
    {
        if (++m_depth > 256)
            throw XPathSyntaxError();
        Value value = orExpression(context);
        --m_depth;
        return value;
    }

    Value orExpression(unsigned context)
    {
        Value value = andExpression(context);
        while (accept(Token::Or)) {
            andExpression(context);
            value = {};
        }
        return value;
    }

    Value andExpression(unsigned context)
    {
        Value value = comparison(context);
        while (accept(Token::And)) {
            comparison(context);
            value = {};
        }
        return value;
    }

    // Equality and relational operators compare text values or numbers.
    Value comparison(unsigned context)
    {
        Value value = additive(context);
        while (peek() == Token::Equals || peek() == Token::NotEquals || peek() == Token::Less ||
               peek() == Token::LessOrEqual || peek() == Token::Greater || peek() == Token::GreaterOrEqual) {
            take();
            read(value);
            read(additive(context));
            value = {};
        }
        return value;
    }

    Value additive(unsigned context)
    {
        Value value = multiplicative(context);
        while (peek() == Token::Plus || peek() == Token::Minus) {
            take();
            read(value);
            read(multiplicative(context));
            value = {};
        }
        return value;
    }

    Value multiplicative(unsigned context)
    {
        Value value = unary(context);
        while (peek() == Token::Multiply || peek() == Token::Div || peek() == Token::Mod) {
            take();
            read(value);
            read(unary(context));
            value = {};
        }
        return value;
    }

    Value unary(unsigned context)
    {
        bool negated = false;
        while (accept(Token::Minus))
            negated = true;
        Value value = unionExpression(context);
        if (negated) {
            read(value);
            value = {};
        }
        return value;
    }

    Value unionExpression(unsigned context)
    {
        Value value = path(context);
        while (accept(Token::Pipe)) {
            value.nodes |= path(context).nodes;
            value.literal.reset();
        }
        return value;
    }

    static bool startsStep(Token token)
    {
        return token == Token::NameTest || token == Token::NodeType || token == Token::AxisName ||
               token == Token::Dot || token == Token::DotDot || token == Token::At;
    }

    Value path(unsigned context)
    {
        if (accept(Token::Slash))
            return {startsStep(peek()) ? relativePath(root()) : root()};
        if (accept(Token::SlashSlash))
            return {relativePath(step(Axis::DescendantOrSelf, {}, root()))};
        if (startsStep(peek()))
            return {relativePath(context)};
        Value value = filter(context);
        if (accept(Token::Slash))
            return {relativePath(value.nodes)};
        if (accept(Token::SlashSlash))
            return {relativePath(step(Axis::DescendantOrSelf, {}, value.nodes))};
        return value;
    }

    unsigned relativePath(unsigned context)
    {
        unsigned nodes = locationStep(context);
        while (true) {
            if (accept(Token::Slash))
                nodes = locationStep(nodes);
            else if (accept(Token::SlashSlash))
                nodes = locationStep(step(Axis::DescendantOrSelf, {}, nodes));
            else
                return nodes;
        }
    }

    unsigned locationStep(unsigned context)
    {
        if (accept(Token::Dot))
            return context;
        if (accept(Token::DotDot))
            return step(Axis::Parent, {}, context);
        Axis axis = Axis::Child;
        if (accept(Token::At)) {
            axis = Axis::Attribute;
        } else if (peek() == Token::AxisName) {
            axis = axisNamed(take().text);
            expect(Token::ColonColon);
        }
        NodeTest test;
        const XPathLexeme &lexeme = take();
        if (lexeme.token == Token::NameTest) {
            test = lexeme.text == "*" ? NodeTest{NodeTest::AnyElement, {}}
                                      : NodeTest{NodeTest::Name, lexeme.text};
        } else if (lexeme.token == Token::NodeType) {
            expect(Token::LeftParen);
            if (lexeme.text == "processing-instruction")
                accept(Token::Literal);
            expect(Token::RightParen);
            test = lexeme.text == "node" ? NodeTest{NodeTest::AnyNode, {}} : NodeTest{NodeTest::Leaf, {}};
        } else {
            throw XPathSyntaxError();
        }
        const unsigned nodes = step(axis, test, context);
        predicates(nodes);
        return nodes;
    }

    // A predicate is a position or a truth value: it reads nothing itself.
    void predicates(unsigned nodes)
    {
        while (accept(Token::LeftBracket)) {
            expression(nodes);
            expect(Token::RightBracket);
        }
    }

    Value filter(unsigned context)
    {
        Value value = primary(context);
        if (peek() == Token::LeftBracket) {
            predicates(value.nodes);
            value.literal.reset();
        }
        return value;
    }

    Value primary(unsigned context)
    {
        const XPathLexeme &lexeme = take();
        switch (lexeme.token) {
        case Token::Variable:
            return {m_surroundings.variable(lexeme.text)};
        case Token::LeftParen: {
            Value value = expression(context);
            expect(Token::RightParen);
            return value;
        }
        case Token::Literal:
            return {NoNodes, lexeme.text};
        case Token::Number:
            return {};
        case Token::FunctionName:
            return call(lexeme, context);
        default:
            throw XPathSyntaxError();
        }
    }

    Value call(const XPathLexeme &name, unsigned context)
    {
        expect(Token::LeftParen);
        std::vector<Value> arguments;
        if (!accept(Token::RightParen)) {
            do
                arguments.push_back(expression(context));
            while (accept(Token::Comma));
            expect(Token::RightParen);
        }
        auto readArguments = [&] {
            for (const Value &argument : arguments)
                read(argument);
        };
        switch (m_surroundings.function(name.prefix, name.text)) {
        case XPathSurroundings::Function::Core:
            return coreCall(name.text, arguments, context);
        case XPathSurroundings::Function::PassesNodes:
            return {arguments.empty() ? NoNodes : arguments.front().nodes};
        case XPathSurroundings::Function::ReadsArguments:
            readArguments();
            return {};
        case XPathSurroundings::Function::Script: {
            // A script sees nodes as objects with text, parentNode and childNodes; it gives
            // back strings, numbers or nodes it was given.
            unsigned given = NoNodes;
            for (const Value &argument : arguments)
                given |= argument.nodes;
            if (given & (TreeNodes | NewlineHolders))
                m_reads = true;
            return {given};
        }
        case XPathSurroundings::Function::EvaluatesAnything:
            m_reads = true;
            return {AnyNodes};
        case XPathSurroundings::Function::Unknown:
            break;
        }
        return unknownCall(arguments, context);
    }

    // A function this analysis does not know may read anything it is given, and the context.
    Value unknownCall(const std::vector<Value> &arguments, unsigned context)
    {
        for (const Value &argument : arguments)
            if (argument.nodes != NoNodes)
                m_reads = true;
        if (context & NewlineHolders)
            m_reads = true;
        return {AnyNodes};
    }

    Value coreCall(std::string_view name, const std::vector<Value> &arguments, unsigned context)
    {
        static constexpr std::string_view readsNothing[] = {
            "last",        "position", "count", "local-name", "namespace-uri", "name",
            "generate-id", "boolean",  "not",   "true",       "false",
        };
        // With no argument these read the context node.
        static constexpr std::string_view readsContext[] = {"string", "string-length", "normalize-space",
                                                            "number"};
        static constexpr std::string_view readsArguments[] = {
            "concat",
            "starts-with",
            "contains",
            "substring-before",
            "substring-after",
            "substring",
            "translate",
            "sum",
            "floor",
            "ceiling",
            "round",
            "format-number",
            "lang",
            "unparsed-entity-uri",
            "system-property",
            "element-available",
            "function-available",
            key_lookup::count,
        };
        auto in = [name](const auto &names) { return std::ranges::find(names, name) != std::end(names); };
        if (in(readsNothing))
            return {};
        if (in(readsContext) || in(readsArguments)) {
            if (arguments.empty() && in(readsContext))
                read({context});
            for (const Value &argument : arguments)
                read(argument);
            return {};
        }
        for (const Value &argument : arguments)
            read(argument);
        if (name == "current")
            return {m_current};
        if (name == "key" || name == key_lookup::first || name == key_lookup::least)
            return {m_surroundings.keyNodes(arguments.empty() ? std::nullopt : arguments.front().literal)};
        if (name == "id")
            return {TreeNodes | NewlineHolders | HolderParents};
        if (name == "document")
            return {AnyNodes};
        return unknownCall(arguments, context);
    }

    std::vector<XPathLexeme> m_lexemes;
    std::size_t m_position = 0;
    unsigned m_current;
    const XPathSurroundings &m_surroundings;
    bool m_reads = false;
    int m_depth = 0;
};

} // namespace

XPathReads analyseExpression(std::string_view expression, unsigned context, unsigned current,
                             const XPathSurroundings &surroundings)
{
    try {
        return Analysis(expression, current, surroundings).run(context);
    } catch (const XPathSyntaxError &) {
        return {false, true, AnyNodes};
    }
}

XPathReads analyseValueTemplate(std::string_view text, unsigned context,
                                const XPathSurroundings &surroundings)
{
    XPathReads result;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '{') {
            ++i;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '{') {
            i += 2;
            continue;
        }
        // A right brace inside a literal does not end the expression.
        std::size_t end = i + 1;
        while (end < text.size() && text[end] != '}') {
            if (text[end] == '"' || text[end] == '\'') {
                end = text.find(text[end], end + 1);
                if (end == std::string_view::npos)
                    return {false, true, NoNodes};
            }
            ++end;
        }
        if (end >= text.size())
            return {false, true, NoNodes};
        const XPathReads part =
            analyseExpression(text.substr(i + 1, end - i - 1), context, context, surroundings);
        if (!part.understood)
            return part;
        if (part.readsNewlines || (part.value & NewlineHolders))
            result.readsNewlines = true;
        i = end + 1;
    }
    return result;
}

} // namespace zandrel::processor
