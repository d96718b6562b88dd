#pragma once

// The JavaScript engine behind ScriptHost: one Duktape heap per script namespace, and the
// objects by which scripts see nodes. Internal to ScriptFunctions.cpp and ScriptNodes.cpp.

#include "processor/msxml/ProcessorErrors.h"
#include "processor/msxml/WorkStop.h"

#include <libxml/tree.h>
#include <libxml/xpathInternals.h>

#include <duktape.h>

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <vector>

// Holding off and releasing the engine's garbage collection; see Duktape.c.
extern "C" int zandrel_script_hold_collection(duk_context *context);
extern "C" void zandrel_script_release_collection(duk_context *context);

namespace zandrel::processor {

// Milliseconds one script call may run; see ScriptHost::setTimeLimit.
extern std::atomic<long long> timeLimitMilliseconds;

// One Duktape heap with the scripts of one namespace.
class ScriptEngine {
public:
    bool timedOut() const { return std::chrono::steady_clock::now() > m_deadline; }

    // Whether the engine's allocator is to refuse a block that grows its memory by this much:
    // the running call's time is up. The clock is read at every few blocks and every large one.
    bool refusesBlock(std::size_t growth)
    {
        if (m_pastDeadline)
            return true;
        if (++m_blocksSinceClock < clockInterval && growth < largeGrowth)
            return false;
        m_blocksSinceClock = 0;
        m_pastDeadline = timedOut() || WorkStop::requested();
        return m_pastDeadline;
    }

    // The allocator refused a block, so the running script is being stopped: collecting its
    // garbage again and again before it gives up is no use.
    void blockRefused(bool pastCeiling)
    {
        m_refusedPastCeiling = m_refusedPastCeiling || pastCeiling;
        if (!m_collectionHeld && m_context)
            m_collectionHeld = zandrel_script_hold_collection(m_context) != 0;
    }

    ScriptEngine(const xmlChar *uri, bool trimText);
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine &) = delete;
    ScriptEngine &operator=(const ScriptEngine &) = delete;

    const std::string &uri() const { return m_uri; }

    void evaluate(const xmlNode *script);

    // The functions that the scripts added to the global object.
    std::vector<std::string> functionNames();

    static void callFromXPath(xmlXPathParserContextPtr parser, int count);

private:
    void startClock()
    {
        m_deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeLimitMilliseconds.load());
        m_pastDeadline = false;
        m_refusedPastCeiling = false;
    }
    // Between calls the engine runs no script: nothing is timed.
    void stopClock()
    {
        m_deadline = std::chrono::steady_clock::time_point::max();
        m_pastDeadline = false;
        releaseCollection();
    }
    void releaseCollection()
    {
        if (m_collectionHeld)
            zandrel_script_release_collection(m_context);
        m_collectionHeld = false;
    }

    static ScriptEngine *of(duk_context *context)
    {
        duk_memory_functions functions;
        duk_get_memory_functions(context, &functions);
        return static_cast<ScriptEngine *>(functions.udata);
    }

    QString errorText(duk_idx_t index);
    void reportCallError(xmlXPathParserContextPtr parser, const char *name, const QString &message);

    void call(xmlXPathParserContextPtr parser, int count);
    void pushValue(xmlXPathObjectPtr value);
    // nullptr with the reason when the value cannot be a text of the result.
    xmlXPathObjectPtr resultValue(duk_idx_t index, QString *problem);
    void pushNode(xmlNodePtr node);
    void pushList(std::vector<xmlNodePtr> nodes);

    // The node or list of a JavaScript object made by this engine, if it is still valid.
    xmlNodePtr nodeOf(duk_idx_t index);
    const std::vector<xmlNodePtr> *listOf(duk_idx_t index);

    void definePrototypes();
    static void defineGetter(duk_context *context, const char *name, duk_c_function getter);
    static void defineMethod(duk_context *context, const char *name, duk_c_function method, duk_idx_t count);

    // JavaScript-side functions; each ends with a value on the stack or a JavaScript error.
    static duk_ret_t listLength(duk_context *context);
    static duk_ret_t listItem(duk_context *context);
    static duk_ret_t listNextNode(duk_context *context);
    static duk_ret_t listReset(duk_context *context);
    static duk_ret_t nodeText(duk_context *context);
    static duk_ret_t nodeName(duk_context *context);
    static duk_ret_t nodeValue(duk_context *context);
    static duk_ret_t nodeType(duk_context *context);
    static duk_ret_t nodeGetAttribute(duk_context *context);
    static duk_ret_t nodeChildNodes(duk_context *context);
    static duk_ret_t nodeAttributes(duk_context *context);
    static duk_ret_t nodeParent(duk_context *context);
    static duk_ret_t nodeFirstChild(duk_context *context);
    static duk_ret_t nodeNextSibling(duk_context *context);
    static xmlNodePtr thisNode(duk_context *context);
    static const std::vector<xmlNodePtr> *thisList(duk_context *context);

    QByteArray textOf(xmlNodePtr node) const;

    duk_context *m_context = nullptr;
    std::string m_uri;
    bool m_trimText;
    std::set<std::string> m_builtIns;
    std::chrono::steady_clock::time_point m_deadline = std::chrono::steady_clock::time_point::max();
    static constexpr unsigned clockInterval = 64;
    static constexpr std::size_t largeGrowth = 64 * 1024;
    unsigned m_blocksSinceClock = 0;
    bool m_pastDeadline = false;
    bool m_collectionHeld = false;
    bool m_refusedPastCeiling = false;
    // Nodes handed to the scripts in the current call; objects from earlier calls are stale.
    unsigned m_generation = 0;
    std::vector<std::vector<xmlNodePtr>> m_lists;
};

} // namespace zandrel::processor
