#include "ScriptFunctions.h"
#include "processor/msxml/StyleSheetDocuments.h"
#include "processor/msxml/XmlSupport.h"

#include "ScriptEngine.h"
#include "processor/msxml/MemoryCeiling.h"
#include "processor/msxml/MsxslExtensions.h"

#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <libxslt/extensions.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <duktape.h>

#include <QByteArray>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace zandrel::processor {

namespace {

bool isScriptElement(const xmlNode *node)
{
    return node->type == XML_ELEMENT_NODE && node->ns && xmlStrEqual(node->ns->href, xml(msxslNamespace)) &&
           xmlStrEqual(node->name, xml("script"));
}

// Every style sheet document of a compiled style sheet: its own, its inclusions', its imports'.
// The Duktape heap's fatal errors come only from outside a protected call, which this file
// never makes; should one come, ending the process is the only safe way out.
void fatalError(void *, const char *message)
{
    std::fprintf(stderr, "JavaScript engine: fatal error: %s\n", message ? message : "");
    std::abort();
}

// Whether XML 1.0 has the character.
bool isXmlCharacter(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// One character of the engine's extended UTF-8 at the position: its value and its length in bytes,
// or a length of 0 for bytes that are no character. Surrogates are characters here.
std::pair<char32_t, std::size_t> characterAt(const unsigned char *bytes, std::size_t length, std::size_t at)
{
    const unsigned char lead = bytes[at];
    if (lead < 0x80)
        return {lead, 1};
    const std::size_t size = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
    if (size == 0 || at + size > length)
        return {0, 0};
    char32_t value = lead & (0x7F >> size);
    for (std::size_t i = 1; i < size; ++i) {
        if ((bytes[at + i] & 0xC0) != 0x80)
            return {0, 0};
        value = (value << 6) | (bytes[at + i] & 0x3F);
    }
    // Overlong forms and values past Unicode are no characters.
    if ((size == 3 && value < 0x800) || (size == 4 && (value < 0x10000 || value > 0x10FFFF)))
        return {0, 0};
    return {value, size};
}

void appendUtf8(QByteArray &text, char32_t c)
{
    if (c < 0x80) {
        text += char(c);
    } else if (c < 0x800) {
        text += char(0xC0 | (c >> 6));
        text += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += char(0xE0 | (c >> 12));
        text += char(0x80 | ((c >> 6) & 0x3F));
        text += char(0x80 | (c & 0x3F));
    } else {
        text += char(0xF0 | (c >> 18));
        text += char(0x80 | ((c >> 12) & 0x3F));
        text += char(0x80 | ((c >> 6) & 0x3F));
        text += char(0x80 | (c & 0x3F));
    }
}

// A text of the engine as UTF-8 that XML can hold. The engine keeps a character beyond U+FFFF
// that a script built from its two surrogates as two three-byte sequences: they are joined into
// the character. nullopt, with what stands where, for a character XML cannot hold (a control
// character, an unpaired surrogate) or bytes that are no UTF-8.
std::optional<QByteArray> xmlTextOfScriptString(const char *text, std::size_t length, QString *problem)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(text ? text : "");
    QByteArray result;
    result.reserve(qsizetype(length));
    int position = 0;
    for (std::size_t at = 0; at < length;) {
        ++position;
        auto [character, size] = characterAt(bytes, length, at);
        if (size == 0) {
            *problem = QStringLiteral("the byte 0x%1 at character %2, which is no UTF-8")
                           .arg(QString::number(bytes[at], 16).toUpper().rightJustified(2, u'0'))
                           .arg(position);
            return std::nullopt;
        }
        if (character >= 0xD800 && character <= 0xDBFF && at + size < length) {
            const auto [low, lowSize] = characterAt(bytes, length, at + size);
            if (lowSize != 0 && low >= 0xDC00 && low <= 0xDFFF) {
                character = 0x10000 + ((character - 0xD800) << 10) + (low - 0xDC00);
                size += lowSize;
            }
        }
        if (!isXmlCharacter(character)) {
            *problem = QStringLiteral("U+%1 at character %2")
                           .arg(QString::number(uint(character), 16).toUpper().rightJustified(4, u'0'))
                           .arg(position);
            return std::nullopt;
        }
        appendUtf8(result, character);
        at += size;
    }
    return result;
}

std::size_t blockSize(void *block)
{
    return block ? ::malloc_usable_size(block) : 0;
}

// The engine's blocks are counted as they come and go. Past the call's time limit, or past the
// transformation's memory ceiling, a block that grows its memory is refused, which the engine
// turns into a script error: the time check between instructions does not run inside the
// engine's own work (a join, a sort, a garbage collection), which can take far longer.
bool refusesGrowth(ScriptEngine *engine, std::size_t growth)
{
    if (engine->refusesBlock(growth)) {
        engine->blockRefused(false);
        return true;
    }
    if (MemoryInUse::refusesScriptGrowth(growth)) {
        engine->blockRefused(true);
        return true;
    }
    return false;
}

void *scriptAllocate(void *engine, duk_size_t size)
{
    if (refusesGrowth(static_cast<ScriptEngine *>(engine), size))
        return nullptr;
    void *block = std::malloc(size);
    MemoryInUse::scriptBytesChanged(static_cast<long long>(blockSize(block)));
    return block;
}

void *scriptReallocate(void *engine, void *block, duk_size_t size)
{
    const std::size_t oldSize = blockSize(block);
    if (size > oldSize && refusesGrowth(static_cast<ScriptEngine *>(engine), size - oldSize))
        return nullptr;
    void *moved = std::realloc(block, size);
    // A size of 0 frees the block; a failed move leaves it as it was.
    if (moved || size == 0)
        MemoryInUse::scriptBytesChanged(static_cast<long long>(blockSize(moved)) -
                                        static_cast<long long>(oldSize));
    return moved;
}

void scriptFree(void *, void *block)
{
    MemoryInUse::scriptBytesChanged(-static_cast<long long>(blockSize(block)));
    std::free(block);
}

} // namespace

std::atomic<long long> timeLimitMilliseconds{ScriptHost::defaultTimeLimit.count()};

ScriptEngine::ScriptEngine(const xmlChar *uri, bool trimText)
    : m_uri(reinterpret_cast<const char *>(uri)), m_trimText(trimText)
{
    m_context = duk_create_heap(scriptAllocate, scriptReallocate, scriptFree, this, fatalError);
    if (!m_context)
        throw XsltProcessorError({QStringLiteral("The JavaScript engine could not be started.")});
    definePrototypes();
    duk_push_global_object(m_context);
    duk_enum(m_context, -1, DUK_ENUM_OWN_PROPERTIES_ONLY | DUK_ENUM_INCLUDE_NONENUMERABLE);
    while (duk_next(m_context, -1, 0)) {
        m_builtIns.insert(duk_get_string(m_context, -1));
        duk_pop(m_context);
    }
    duk_pop_2(m_context);
}

ScriptEngine::~ScriptEngine()
{
    releaseCollection();
    duk_destroy_heap(m_context);
}

void ScriptEngine::evaluate(const xmlNode *script)
{
    XmlText source(xmlNodeGetContent(script));
    const QByteArray place = placeOf(script).toUtf8();
    const char *text = source ? reinterpret_cast<const char *>(source.get()) : "";
    startClock();
    duk_push_string(m_context, place.constData());
    if (duk_pcompile_lstring_filename(m_context, 0, text, std::strlen(text)) != 0 ||
        duk_pcall(m_context, 0) != 0) {
        const QString message = errorText(-1);
        stopClock();
        duk_pop(m_context);
        throw XsltProcessorError({QStringLiteral("msxsl:script (%1): the script does not run: %2")
                                      .arg(QString::fromUtf8(place), message)});
    }
    stopClock();
    duk_pop(m_context);
}

std::vector<std::string> ScriptEngine::functionNames()
{
    std::vector<std::string> names;
    duk_push_global_object(m_context);
    duk_enum(m_context, -1, DUK_ENUM_OWN_PROPERTIES_ONLY);
    while (duk_next(m_context, -1, 1)) {
        const char *name = duk_get_string(m_context, -2);
        if (name && duk_is_function(m_context, -1) && !m_builtIns.count(name))
            names.emplace_back(name);
        duk_pop_2(m_context);
    }
    duk_pop_2(m_context);
    return names;
}

QString ScriptEngine::errorText(duk_idx_t index)
{
    if (WorkStop::requested())
        return QStringLiteral("it was stopped");
    if (timedOut())
        return QStringLiteral("it ran longer than %1 s and was stopped")
            .arg(double(timeLimitMilliseconds.load()) / 1000);
    // The engine's own error for a refused block may be lost in its error handling.
    if (m_refusedPastCeiling)
        return QStringLiteral("it needed more memory than the transformation may take and was stopped");
    QString message = QString::fromUtf8(duk_safe_to_string(m_context, index));
    if (duk_is_error(m_context, index) || duk_is_object(m_context, index)) {
        duk_get_prop_string(m_context, index, "lineNumber");
        if (duk_is_number(m_context, -1))
            message += QStringLiteral(" (line %1 of the script)").arg(duk_get_int(m_context, -1));
        duk_pop(m_context);
    }
    return message;
}

void ScriptEngine::pushValue(xmlXPathObjectPtr value)
{
    switch (value->type) {
    case XPATH_NUMBER:
        duk_push_number(m_context, value->floatval);
        break;
    case XPATH_BOOLEAN:
        duk_push_boolean(m_context, value->boolval);
        break;
    case XPATH_NODESET:
    case XPATH_XSLT_TREE: {
        std::vector<xmlNodePtr> nodes;
        if (value->nodesetval) {
            xmlXPathNodeSetSort(value->nodesetval);
            nodes.assign(value->nodesetval->nodeTab, value->nodesetval->nodeTab + value->nodesetval->nodeNr);
        }
        pushList(std::move(nodes));
        break;
    }
    default: {
        XmlText text(xmlXPathCastToString(value));
        duk_push_string(m_context, text ? reinterpret_cast<const char *>(text.get()) : "");
        break;
    }
    }
}

xmlXPathObjectPtr ScriptEngine::resultValue(duk_idx_t index, QString *problem)
{
    if (duk_is_boolean(m_context, index))
        return xmlXPathNewBoolean(duk_get_boolean(m_context, index));
    if (duk_is_number(m_context, index))
        return xmlXPathNewFloat(duk_get_number(m_context, index));
    if (duk_is_undefined(m_context, index) || duk_is_null(m_context, index))
        return xmlXPathNewCString("");
    if (const std::vector<xmlNodePtr> *list = listOf(index)) {
        xmlXPathObjectPtr set = xmlXPathNewNodeSet(nullptr);
        for (xmlNodePtr node : *list)
            if (node->type != XML_NAMESPACE_DECL)
                xmlXPathNodeSetAdd(set->nodesetval, node);
        return set;
    }
    if (xmlNodePtr node = nodeOf(index))
        return xmlXPathNewNodeSet(node->type == XML_NAMESPACE_DECL ? nullptr : node);
    duk_size_t length = 0;
    const char *text = duk_safe_to_lstring(m_context, index, &length);
    const std::optional<QByteArray> xmlText = xmlTextOfScriptString(text, length, problem);
    return xmlText ? xmlXPathNewCString(xmlText->constData()) : nullptr;
}

void ScriptEngine::callFromXPath(xmlXPathParserContextPtr parser, int count)
{
    xsltTransformContextPtr transform = xsltXPathGetTransformContext(parser);
    auto *host =
        transform ? static_cast<std::vector<std::unique_ptr<ScriptEngine>> *>(transform->_private) : nullptr;
    const xmlChar *uri = parser->context->functionURI;
    if (host && uri) {
        for (const std::unique_ptr<ScriptEngine> &engine : *host) {
            if (engine->m_uri == reinterpret_cast<const char *>(uri)) {
                engine->call(parser, count);
                return;
            }
        }
    }
    xmlXPathErr(parser, XPATH_UNKNOWN_FUNC_ERROR);
}

void ScriptEngine::call(xmlXPathParserContextPtr parser, int count)
{
    const char *name = reinterpret_cast<const char *>(parser->context->function);
    std::vector<xmlXPathObjectPtr> arguments(static_cast<std::size_t>(count));
    for (int i = count - 1; i >= 0; --i)
        arguments[std::size_t(i)] = valuePop(parser);

    // Nodes of earlier calls may be gone (result tree fragments are freed): start afresh.
    ++m_generation;
    m_lists.clear();
    // The clock runs from here: the arguments are the call's first blocks.
    startClock();
    duk_get_global_string(m_context, name);
    for (xmlXPathObjectPtr argument : arguments)
        pushValue(argument);
    const bool failed = duk_pcall(m_context, count) != 0;
    if (failed) {
        reportCallError(parser, name, errorText(-1));
    } else {
        QString problem;
        if (xmlXPathObjectPtr result = resultValue(-1, &problem))
            valuePush(parser, result);
        else
            reportCallError(parser, name,
                            QStringLiteral("its result cannot be written as XML: it holds %1.").arg(problem));
    }
    stopClock();
    duk_pop(m_context);
    m_lists.clear();
    ++m_generation;
    for (xmlXPathObjectPtr argument : arguments)
        xmlXPathFreeObject(argument);
}

void ScriptEngine::reportCallError(xmlXPathParserContextPtr parser, const char *name, const QString &message)
{
    xsltTransformContextPtr transform = xsltXPathGetTransformContext(parser);
    xsltTransformError(transform, nullptr, transform ? transform->inst : nullptr,
                       "msxsl:script function %s(): %s\n", name, message.toUtf8().constData());
    if (transform)
        transform->state = XSLT_STATE_STOPPED;
    parser->error = XPATH_EXPR_ERROR;
}

ScriptHost::ScriptHost(xsltStylesheet *style, bool trimText)
{
    std::vector<const xmlDoc *> documents;
    collectStyleSheetDocuments(style, documents);
    for (const xmlDoc *document : documents) {
        const xmlNode *root = xmlDocGetRootElement(document);
        for (const xmlNode *node = root ? root->children : nullptr; node; node = node->next) {
            if (!isScriptElement(node))
                continue;
            XmlText language(xmlGetProp(node, xml("language")));
            const QString languageName =
                language ? fromXml(language.get()).trimmed() : QStringLiteral("JScript");
            const QString lower = languageName.toLower();
            if (lower != QLatin1String("jscript") && lower != QLatin1String("javascript"))
                throw XsltProcessorError(
                    {QStringLiteral(
                         "msxsl:script (%1): scripts in %2 cannot run here; only JScript and JavaScript "
                         "scripts can.")
                         .arg(placeOf(node), languageName.isEmpty() ? QStringLiteral("an unnamed language")
                                                                    : languageName)});
            XmlText prefix(xmlGetProp(node, xml("implements-prefix")));
            const xmlNs *ns =
                prefix ? xmlSearchNs(node->doc, const_cast<xmlNode *>(node), prefix.get()) : nullptr;
            if (!ns)
                throw XsltProcessorError(
                    {QStringLiteral("msxsl:script (%1): implements-prefix \"%2\" names no "
                                    "namespace declared here.")
                         .arg(placeOf(node), fromXml(prefix.get()))});
            ScriptEngine *engine = nullptr;
            for (const std::unique_ptr<ScriptEngine> &existing : m_engines)
                if (existing->uri() == reinterpret_cast<const char *>(ns->href))
                    engine = existing.get();
            if (!engine) {
                m_engines.push_back(std::make_unique<ScriptEngine>(ns->href, trimText));
                engine = m_engines.back().get();
            }
            engine->evaluate(node);
        }
    }
}

ScriptHost::~ScriptHost() = default;

void ScriptHost::setTimeLimit(std::chrono::milliseconds limit)
{
    timeLimitMilliseconds = limit.count();
}

void ScriptHost::registerFunctions(xsltTransformContext *context)
{
    if (m_engines.empty())
        return;
    context->_private = &m_engines;
    for (const std::unique_ptr<ScriptEngine> &engine : m_engines)
        for (const std::string &name : engine->functionNames())
            xsltRegisterExtFunction(context, xml(name.c_str()), xml(engine->uri().c_str()),
                                    &ScriptEngine::callFromXPath);
}

} // namespace zandrel::processor

// Asked by the engine every so many instructions while a script runs.
extern "C" int zandrel_script_timed_out(void *engine)
{
    // A Cancel ends the script as its time limit does.
    return engine && (static_cast<const zandrel::processor::ScriptEngine *>(engine)->timedOut() ||
                      zandrel::processor::WorkStop::requested())
               ? 1
               : 0;
}
