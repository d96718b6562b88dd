#include "XPathTokens.h"

#include <cstddef>
#include <utility>

namespace zandrel::processor {

namespace {

using Token = XPathToken;

bool isOperator(Token token)
{
    switch (token) {
    case Token::And:
    case Token::Or:
    case Token::Mod:
    case Token::Div:
    case Token::Multiply:
    case Token::Slash:
    case Token::SlashSlash:
    case Token::Pipe:
    case Token::Plus:
    case Token::Minus:
    case Token::Equals:
    case Token::NotEquals:
    case Token::Less:
    case Token::LessOrEqual:
    case Token::Greater:
    case Token::GreaterOrEqual:
        return true;
    default:
        return false;
    }
}

// A token after which an operand, not an operator, comes: there '*' is a name test and a name
// is no operator name.
bool startsOperand(Token token)
{
    return isOperator(token) || token == Token::At || token == Token::ColonColon ||
           token == Token::LeftParen || token == Token::LeftBracket || token == Token::Comma;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Any byte of a multi-byte UTF-8 character counts as a letter: names are only compared.
bool isNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool isNameChar(char c)
{
    return isNameStart(c) || isDigit(c) || c == '.' || c == '-';
}

constexpr std::pair<char, Token> singleCharacterTokens[] = {
    {'(', Token::LeftParen}, {')', Token::RightParen}, {'[', Token::LeftBracket}, {']', Token::RightBracket},
    {'@', Token::At},        {',', Token::Comma},      {'|', Token::Pipe},        {'+', Token::Plus},
    {'-', Token::Minus},     {'=', Token::Equals},
};

constexpr std::pair<std::string_view, Token> operatorNames[] = {
    {"and", Token::And}, {"or", Token::Or}, {"mod", Token::Mod}, {"div", Token::Div}};

class Tokenizer {
public:
    explicit Tokenizer(std::string_view text) : m_text(text) {}

    std::vector<XPathLexeme> run()
    {
        while (true) {
            while (m_at < m_text.size() && isSpace(m_text[m_at]))
                ++m_at;
            if (m_at >= m_text.size())
                break;
            m_start = m_at;
            next();
        }
        m_start = m_text.size();
        add(Token::End);
        return std::move(m_lexemes);
    }

private:
    char at(std::size_t offset = 0) const
    {
        return m_at + offset < m_text.size() ? m_text[m_at + offset] : '\0';
    }

    void add(Token token, std::string_view text = {}, std::string_view prefix = {})
    {
        m_lexemes.push_back({token, text, prefix, m_start});
    }

    std::string_view name()
    {
        if (!isNameStart(at()))
            throw XPathSyntaxError();
        const std::size_t start = m_at;
        while (m_at < m_text.size() && isNameChar(m_text[m_at]))
            ++m_at;
        return m_text.substr(start, m_at - start);
    }

    void next()
    {
        const bool operandFollows = m_lexemes.empty() || startsOperand(m_lexemes.back().token);
        const char c = at();
        for (const auto &[character, token] : singleCharacterTokens) {
            if (c == character) {
                add(token);
                ++m_at;
                return;
            }
        }
        if (c == '!' || c == '<' || c == '>') {
            const bool orEqual = at(1) == '=';
            if (c == '!' && !orEqual)
                throw XPathSyntaxError();
            add(c == '!'   ? Token::NotEquals
                : c == '<' ? (orEqual ? Token::LessOrEqual : Token::Less)
                           : (orEqual ? Token::GreaterOrEqual : Token::Greater));
            m_at += orEqual ? 2 : 1;
        } else if (c == '/' || (c == ':' && at(1) == ':') || (c == '.' && at(1) == '.')) {
            const bool doubled = at(1) == c;
            add(c == '/'   ? (doubled ? Token::SlashSlash : Token::Slash)
                : c == ':' ? Token::ColonColon
                           : Token::DotDot);
            m_at += doubled ? 2 : 1;
        } else if (c == '*') {
            add(operandFollows ? Token::NameTest : Token::Multiply, "*");
            ++m_at;
        } else if (c == '"' || c == '\'') {
            const std::size_t end = m_text.find(c, m_at + 1);
            if (end == std::string_view::npos)
                throw XPathSyntaxError();
            add(Token::Literal, m_text.substr(m_at + 1, end - m_at - 1));
            m_at = end + 1;
        } else if (c == '$') {
            const std::size_t start = ++m_at;
            name();
            if (at() == ':' && isNameStart(at(1))) {
                ++m_at;
                name();
            }
            add(Token::Variable, m_text.substr(start, m_at - start));
        } else if (isDigit(c) || (c == '.' && isDigit(at(1)))) {
            while (isDigit(at()) || at() == '.')
                ++m_at;
            add(Token::Number);
        } else if (c == '.') {
            add(Token::Dot);
            ++m_at;
        } else {
            nameToken(operandFollows);
        }
    }

    void nameToken(bool operandFollows)
    {
        std::string_view local = name();
        if (!operandFollows) {
            for (const auto &[operatorName, token] : operatorNames) {
                if (local == operatorName) {
                    add(token);
                    return;
                }
            }
            throw XPathSyntaxError();
        }
        std::string_view prefix;
        if (at() == ':' && at(1) != ':') {
            prefix = local;
            ++m_at;
            if (at() == '*') {
                ++m_at;
                add(Token::NameTest, "*", prefix);
                return;
            }
            local = name();
        }
        std::size_t after = m_at;
        while (after < m_text.size() && isSpace(m_text[after]))
            ++after;
        const char following = after < m_text.size() ? m_text[after] : '\0';
        if (following == '(') {
            const bool nodeType = prefix.empty() && (local == "node" || local == "text" ||
                                                     local == "comment" || local == "processing-instruction");
            add(nodeType ? Token::NodeType : Token::FunctionName, local, prefix);
        } else if (prefix.empty() && following == ':' && after + 1 < m_text.size() &&
                   m_text[after + 1] == ':') {
            add(Token::AxisName, local);
        } else {
            add(Token::NameTest, local, prefix);
        }
    }

    std::string_view m_text;
    std::size_t m_start = 0;
    std::size_t m_at = 0;
    std::vector<XPathLexeme> m_lexemes;
};

} // namespace

std::vector<XPathLexeme> tokenizeXPath(std::string_view text)
{
    return Tokenizer(text).run();
}

} // namespace zandrel::processor
