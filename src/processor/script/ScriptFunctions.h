#pragma once

#include <QString>

#include <chrono>
#include <memory>
#include <vector>

struct _xsltStylesheet;
struct _xsltTransformContext;

namespace zandrel::processor {

class ScriptEngine;

// The msxsl:script elements of a compiled style sheet (its imports and inclusions too), run in
// an embedded JavaScript engine (Duktape), one engine per implements-prefix namespace. Each
// function that a script declares becomes an XPath function of that namespace.
//
// The engine is plain ECMAScript: it has no objects for files, the network or processes, and
// this program adds none; scripts see only their arguments. Strings, numbers and booleans are
// passed as themselves, node-sets as node lists (length, item(i), nextNode(), reset()) whose
// nodes offer text, nodeName, nodeValue, nodeType, getAttribute(), childNodes, attributes,
// parentNode, firstChild and nextSibling. Nodes are valid during the call that received them.
class ScriptHost {
public:
    // Throws XsltProcessorError when a script is in a language other than JScript/JavaScript
    // or does not compile; the message names the language or the error, the file and the line.
    // trimText: a node's text property drops leading and trailing white space, as the original
    // platform's does for documents loaded without their white space.
    ScriptHost(_xsltStylesheet *style, bool trimText);
    ~ScriptHost();
    ScriptHost(const ScriptHost &) = delete;
    ScriptHost &operator=(const ScriptHost &) = delete;

    bool isEmpty() const { return m_engines.empty(); }

    // How long one script call (or a script's own top-level code) may run before it is
    // stopped with an error. A report's scripts take microseconds; this only ends runaways.
    static constexpr std::chrono::milliseconds defaultTimeLimit{30000};
    static void setTimeLimit(std::chrono::milliseconds limit);
    // Binds the scripts' functions into the transformation.
    void registerFunctions(_xsltTransformContext *context);

private:
    std::vector<std::unique_ptr<ScriptEngine>> m_engines;
};

} // namespace zandrel::processor
