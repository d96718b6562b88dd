#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace zandrel::processor {

// Text that is no XPath 1.0 expression.
struct XPathSyntaxError {};

enum class XPathToken {
    End,
    LeftParen,
    RightParen,
    LeftBracket,
    RightBracket,
    Dot,
    DotDot,
    At,
    Comma,
    ColonColon,
    Slash,
    SlashSlash,
    Pipe,
    Plus,
    Minus,
    Equals,
    NotEquals,
    Less,
    LessOrEqual,
    Greater,
    GreaterOrEqual,
    Multiply,
    And,
    Or,
    Mod,
    Div,
    NameTest,     // prefix and local name; local name "*" for any
    NodeType,     // node, text, comment, processing-instruction
    FunctionName, // prefix and local name
    AxisName,
    Literal,
    Number,
    Variable, // qualified name as written
};

struct XPathLexeme {
    XPathToken token = XPathToken::End;
    std::string_view text;   // local name, axis, a literal's content, a variable's name
    std::string_view prefix; // of a name test or function name
    std::size_t offset = 0;  // where the lexeme begins in the text
};

// The tokens of an XPath 1.0 expression, told apart by the language's rules for operators and
// names, ending with End; the views point into the text. Throws XPathSyntaxError.
std::vector<XPathLexeme> tokenizeXPath(std::string_view text);

} // namespace zandrel::processor
