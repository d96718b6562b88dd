#include "KeyLookups.h"

#include "TreeWalk.h"
#include "XPathReads.h"
#include "XPathTokens.h"
#include "XmlSupport.h"

#include <libxml/xpathInternals.h>
#include <libxslt/documents.h>
#include <libxslt/extensions.h>
#include <libxslt/functions.h>
#include <libxslt/keys.h>

#include <charconv>
#include <optional>
#include <vector>

namespace zandrel::processor {

namespace {

using Token = XPathToken;

// --- The rewrite -------------------------------------------------------------------------------

bool isCall(const std::vector<XPathLexeme> &lexemes, std::size_t at, std::string_view name)
{
    return lexemes[at].token == Token::FunctionName && lexemes[at].prefix.empty() &&
           lexemes[at].text == name && lexemes[at + 1].token == Token::LeftParen;
}

// The right parenthesis that closes a call of two arguments whose left one stands at `open`.
std::optional<std::size_t> closeOfTwoArguments(const std::vector<XPathLexeme> &lexemes, std::size_t open)
{
    int depth = 0;
    int commas = 0;
    for (std::size_t at = open; lexemes[at].token != Token::End; ++at) {
        switch (lexemes[at].token) {
        case Token::LeftParen:
        case Token::LeftBracket:
            ++depth;
            break;
        case Token::RightParen:
        case Token::RightBracket:
            if (--depth == 0)
                return lexemes[at].token == Token::RightParen && commas == 1 ? std::optional(at)
                                                                             : std::nullopt;
            break;
        case Token::Comma:
            if (depth == 1)
                ++commas;
            break;
        default:
            break;
        }
    }
    return std::nullopt;
}

bool isNumberOne(std::string_view text, const XPathLexeme &lexeme)
{
    if (lexeme.token != Token::Number)
        return false;
    std::size_t end = lexeme.offset;
    while (end < text.size() && ((text[end] >= '0' && text[end] <= '9') || text[end] == '.'))
        ++end;
    double value = 0;
    const char *first = text.data() + lexeme.offset;
    const auto [last, error] = std::from_chars(first, text.data() + end, value);
    return error == std::errc() && last == text.data() + end && value == 1.0;
}

struct Idiom {
    std::string_view lookup;
    std::size_t begin = 0;          // of the text replaced
    std::size_t end = 0;            // one past it
    std::size_t argumentsBegin = 0; // the key's two arguments, as written
    std::size_t argumentsEnd = 0;
    std::size_t lastLexeme = 0; // the last lexeme replaced
};

std::optional<Idiom> idiomAt(std::string_view text, const std::vector<XPathLexeme> &lexemes, std::size_t at)
{
    const auto keyCall = [&](std::size_t keyAt) -> std::optional<std::size_t> {
        return isCall(lexemes, keyAt, "key") ? closeOfTwoArguments(lexemes, keyAt + 1) : std::nullopt;
    };
    const auto arguments = [&](Idiom idiom, std::size_t keyAt, std::size_t close) {
        idiom.argumentsBegin = lexemes[keyAt + 1].offset + 1;
        idiom.argumentsEnd = lexemes[close].offset;
        return idiom;
    };
    // count(key(n, v))
    if (isCall(lexemes, at, "count")) {
        if (const auto close = keyCall(at + 2); close && lexemes[*close + 1].token == Token::RightParen)
            return arguments(
                {key_lookup::count, lexemes[at].offset, lexemes[*close + 1].offset + 1, 0, 0, *close + 1},
                at + 2, *close);
    }
    // generate-id(key(n, v)): only the key() call is replaced.
    if (isCall(lexemes, at, "generate-id")) {
        if (const auto close = keyCall(at + 2); close && lexemes[*close + 1].token == Token::RightParen)
            return arguments(
                {key_lookup::least, lexemes[at + 2].offset, lexemes[*close].offset + 1, 0, 0, *close}, at + 2,
                *close);
    }
    // key(n, v)[1]
    if (const auto close = keyCall(at); close && lexemes[*close + 1].token == Token::LeftBracket &&
                                        isNumberOne(text, lexemes[*close + 2]) &&
                                        lexemes[*close + 3].token == Token::RightBracket)
        return arguments(
            {key_lookup::first, lexemes[at].offset, lexemes[*close + 3].offset + 1, 0, 0, *close + 3}, at,
            *close);
    return std::nullopt;
}

// Only the syntax matters here: the analysis throws on text that is no expression.
class NoSurroundings : public XPathSurroundings {
public:
    unsigned elementReach(std::string_view) const override { return AnyNodes; }
    unsigned variable(std::string_view) const override { return AnyNodes; }
    unsigned keyNodes(std::optional<std::string_view>) const override { return AnyNodes; }
    Function function(std::string_view, std::string_view) const override { return Function::Unknown; }
};

std::string rewriteLexemes(std::string_view text, ExpressionKind kind)
{
    std::vector<XPathLexeme> lexemes;
    try {
        lexemes = tokenizeXPath(text);
    } catch (const XPathSyntaxError &) {
        return std::string(text);
    }
    std::string rewritten;
    std::size_t copied = 0;
    int brackets = 0;
    for (std::size_t at = 0; lexemes[at].token != Token::End; ++at) {
        if (lexemes[at].token == Token::LeftBracket)
            ++brackets;
        else if (lexemes[at].token == Token::RightBracket)
            --brackets;
        if (kind == ExpressionKind::Pattern && brackets == 0)
            continue;
        const std::optional<Idiom> idiom = idiomAt(text, lexemes, at);
        if (!idiom)
            continue;
        rewritten.append(text.substr(copied, idiom->begin - copied));
        rewritten.append(idiom->lookup);
        rewritten.push_back('(');
        rewritten.append(
            rewriteLexemes(text.substr(idiom->argumentsBegin, idiom->argumentsEnd - idiom->argumentsBegin),
                           ExpressionKind::Expression));
        rewritten.push_back(')');
        copied = idiom->end;
        // The lexemes replaced hold as many left brackets as right ones.
        at = idiom->lastLexeme;
    }
    if (copied == 0)
        return std::string(text);
    rewritten.append(text.substr(copied));
    return rewritten;
}

// Attributes of XSLT instructions that hold an expression or a pattern.
std::optional<ExpressionKind> kindOfAttribute(const xmlAttr *attribute)
{
    if (attribute->ns)
        return std::nullopt;
    const std::string_view name = reinterpret_cast<const char *>(attribute->name);
    if (name == "select" || name == "test" || name == "use" || name == "value")
        return ExpressionKind::Expression;
    if (name == "match" || name == "count" || name == "from")
        return ExpressionKind::Pattern;
    return std::nullopt;
}

// --- The lookups -------------------------------------------------------------------------------

thread_local KeyLookups *currentLookups = nullptr;

enum class Use { First, Least, Count };

xmlNode *leastInDocumentOrder(const xmlNodeSet *group)
{
    xmlNode *least = group->nodeTab[0];
    for (int i = 1; i < group->nodeNr; ++i)
        if (xmlXPathCmpNodes(least, group->nodeTab[i]) == -1)
            least = group->nodeTab[i];
    return least;
}

// Pushes what the idiom makes of the group; the lookups remember each group's least node.
void pushResult(xmlXPathParserContextPtr parser, Use use, const xmlNodeSet *group, KeyLookups *lookups)
{
    const int size = group ? group->nodeNr : 0;
    switch (use) {
    case Use::Count:
        valuePush(parser, xmlXPathNewFloat(size));
        return;
    case Use::First:
        valuePush(parser, xmlXPathNewNodeSet(size > 0 ? group->nodeTab[0] : nullptr));
        return;
    case Use::Least:
        valuePush(parser, xmlXPathNewNodeSet(size == 0 ? nullptr
                                             : lookups ? lookups->leastOf(group)
                                                       : leastInDocumentOrder(group)));
        return;
    }
}

// What key() gives when it is called as written: used wherever the lookup in place would have
// to know more of the processor than its public functions tell (a value that is a node-set of
// several nodes, a result tree fragment, a namespace node as context, a prefix not bound).
void evaluateAsKey(xmlXPathParserContextPtr parser, int argumentCount, Use use)
{
    xsltKeyFunction(parser, argumentCount);
    if (parser->error != XPATH_EXPRESSION_OK)
        return;
    XPathObject result(valuePop(parser));
    pushResult(parser, use, result ? result->nodesetval : nullptr, nullptr);
}

// The value's text when it names one group, as key() reads it; nullopt when it is a node-set of
// several nodes or anything else that key() treats its own way.
std::optional<std::string> singleKeyValue(const xmlXPathObject *value)
{
    XmlText text;
    switch (value->type) {
    case XPATH_STRING:
    case XPATH_NUMBER:
    case XPATH_BOOLEAN:
        text.reset(xmlXPathCastToString(const_cast<xmlXPathObject *>(value)));
        break;
    case XPATH_NODESET:
        if (!value->nodesetval || value->nodesetval->nodeNr != 1)
            return std::nullopt;
        text.reset(xmlXPathCastNodeToString(value->nodesetval->nodeTab[0]));
        break;
    default:
        return std::nullopt;
    }
    if (!text)
        return std::nullopt;
    return std::string(reinterpret_cast<const char *>(text.get()));
}

// The group in the key's table, read in place; false when only key() itself can tell.
bool groupInPlace(xmlXPathParserContextPtr parser, const xmlNodeSet *&group)
{
    const xmlXPathObject *name = parser->valueTab[parser->valueNr - 2];
    const xmlXPathObject *value = parser->valueTab[parser->valueNr - 1];
    xmlXPathContextPtr xpath = parser->context;
    const xmlNode *node = xpath->node;
    if (name->type != XPATH_STRING || !name->stringval || !node || node->type == XML_NAMESPACE_DECL ||
        !node->doc || (node->doc->name && node->doc->name[0] == ' '))
        return false;
    const std::optional<std::string> text = singleKeyValue(value);
    if (!text)
        return false;
    xmlChar *prefix = nullptr;
    XmlText localName(xmlSplitQName2(name->stringval, &prefix));
    XmlText boundPrefix(prefix);
    const xmlChar *uri = nullptr;
    if (localName && boundPrefix) {
        uri = xmlXPathNsLookup(xpath, boundPrefix.get());
        if (!uri)
            return false;
    }
    xsltTransformContextPtr transformation = xsltXPathGetTransformContext(parser);
    if (!transformation)
        return false;
    xsltDocumentPtr document = transformation->document && transformation->document->doc == node->doc
                                   ? transformation->document
                                   : xsltFindDocument(transformation, node->doc);
    if (!document)
        return false;
    xsltDocumentPtr previous = transformation->document;
    transformation->document = document;
    group = xsltGetKey(transformation, localName ? localName.get() : name->stringval, uri,
                       reinterpret_cast<const xmlChar *>(text->c_str()));
    transformation->document = previous;
    return true;
}

void lookUp(xmlXPathParserContextPtr parser, int argumentCount, Use use)
{
    const xmlNodeSet *group = nullptr;
    if (argumentCount != 2 || parser->valueNr < 2 || !currentLookups || !groupInPlace(parser, group)) {
        evaluateAsKey(parser, argumentCount, use);
        return;
    }
    XPathObject value(valuePop(parser));
    XPathObject name(valuePop(parser));
    pushResult(parser, use, group, currentLookups);
}

void keyFirst(xmlXPathParserContextPtr parser, int argumentCount)
{
    lookUp(parser, argumentCount, Use::First);
}

void keyLeast(xmlXPathParserContextPtr parser, int argumentCount)
{
    lookUp(parser, argumentCount, Use::Least);
}

void keyCount(xmlXPathParserContextPtr parser, int argumentCount)
{
    lookUp(parser, argumentCount, Use::Count);
}

const xmlChar *functionName(std::string_view name)
{
    return reinterpret_cast<const xmlChar *>(name.data());
}

} // namespace

std::string rewriteKeyIdioms(std::string_view expression, ExpressionKind kind)
{
    if (expression.find("key") == std::string_view::npos)
        return std::string(expression);
    std::string rewritten = rewriteLexemes(expression, kind);
    if (rewritten == expression)
        return rewritten;
    // Text that is no expression keeps its own words, so that the processor's message quotes
    // what the user wrote.
    const NoSurroundings surroundings;
    if (!analyseExpression(expression, AnyNodes, AnyNodes, surroundings).understood)
        return std::string(expression);
    return rewritten;
}

void rewriteKeyIdioms(xmlDoc *styleSheet)
{
    if (!styleSheet)
        return;
    walkTree(styleSheet->children, [](xmlNode *node) {
        if (node->type != XML_ELEMENT_NODE || !node->ns || !xmlStrEqual(node->ns->href, XSLT_NAMESPACE))
            return node;
        for (xmlAttr *attribute = node->properties; attribute; attribute = attribute->next) {
            const std::optional<ExpressionKind> kind = kindOfAttribute(attribute);
            if (!kind)
                continue;
            XmlText value(xmlNodeGetContent(reinterpret_cast<xmlNode *>(attribute)));
            if (!value)
                continue;
            const std::string_view text = reinterpret_cast<const char *>(value.get());
            const std::string rewritten = rewriteKeyIdioms(text, *kind);
            if (rewritten != text)
                xmlSetProp(node, attribute->name, reinterpret_cast<const xmlChar *>(rewritten.c_str()));
        }
        return node;
    });
}

KeyLookups::KeyLookups(xsltTransformContext *context) : m_previous(currentLookups)
{
    xmlXPathRegisterFunc(context->xpathCtxt, functionName(key_lookup::first), keyFirst);
    xmlXPathRegisterFunc(context->xpathCtxt, functionName(key_lookup::least), keyLeast);
    xmlXPathRegisterFunc(context->xpathCtxt, functionName(key_lookup::count), keyCount);
    currentLookups = this;
}

KeyLookups::~KeyLookups()
{
    currentLookups = m_previous;
}

xmlNode *KeyLookups::leastOf(const xmlNodeSet *group)
{
    // A table grows only while the keys are being worked out, so its size tells a stale entry.
    auto &[size, least] = m_least[group];
    if (size != group->nodeNr || !least) {
        least = leastInDocumentOrder(group);
        size = group->nodeNr;
    }
    return least;
}

} // namespace zandrel::processor
