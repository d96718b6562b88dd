#include "ResultTextAppends.h"

#include <libxml/parserInternals.h>
#include <libxslt/xsltutils.h>

namespace zandrel::processor {

namespace {

thread_local ResultTextAppends *current = nullptr;

constexpr int longText = 4096;

#ifdef WITH_DEBUGGER
void beforeInstruction(xmlNodePtr, xmlNodePtr, xsltTemplatePtr, xsltTransformContextPtr)
{
    if (current)
        current->beforeInstruction();
}

// The processor's hook before each instruction is its debugger's; the call stack callbacks
// stay unset, which the processor takes as "nothing to record".
struct DebuggerCallbacks {
    xsltHandleDebuggerCallback handler;
    xsltAddCallCallback add;
    xsltDropCallCallback drop;
};

bool installHook()
{
    static const bool installed = [] {
        DebuggerCallbacks callbacks{&zandrel::processor::beforeInstruction, nullptr, nullptr};
        return xsltSetDebuggerCallbacks(3, &callbacks) == 0;
    }();
    return installed;
}
#else
// A processor built without its debugger (Debian's libxslt 1.1.45) has no hook before each
// instruction: there the texts are appended as the processor appends them.
bool installHook()
{
    return false;
}
#endif

// The processor names the documents of result tree fragments with a leading space.
bool isFragment(const xmlDoc *document)
{
    return document->name && document->name[0] == ' ';
}

bool isResultText(const xmlNode *node)
{
    return node && node->type == XML_TEXT_NODE && node->name == xmlStringText;
}

} // namespace

ResultTextAppends::ResultTextAppends(xsltTransformContext *context)
    : m_context(context), m_previous(current), m_previousDebugStatus(context->debugStatus)
{
    // Any status but none, quit and restart runs the transformation as usual and calls the hook.
    if (installHook() && m_context->debugStatus == XSLT_DEBUG_NONE)
        m_context->debugStatus = XSLT_DEBUG_CONT;
    current = this;
}

ResultTextAppends::~ResultTextAppends()
{
    m_context->debugStatus = m_previousDebugStatus;
    current = m_previous;
}

void ResultTextAppends::beforeInstruction()
{
    xmlNode *insert = m_context->insert;
    if (insert == m_insert)
        return;
    // The result document: the first document written to that is no fragment. The processor
    // points its output at a fragment while it builds one.
    if (!m_result && insert && insert->doc && !isFragment(insert->doc))
        m_result = insert->doc;
    xmlDoc *result = m_result;
    // Leaving a place: what the processor knows of the text it appended there last.
    if (m_insert && result && m_insert->doc == result) {
        xmlNode *text = m_insert->last;
        // A short text costs little to measure again; only long ones are remembered, which
        // keeps the memory small when the result has an element for each point.
        if (isResultText(text) && text->content && text->content == m_context->lasttext &&
            m_context->lasttuse >= longText)
            m_states[m_insert] = {text, text->content, m_context->lasttsize, m_context->lasttuse};
        else if (!m_states.empty())
            m_states.erase(m_insert);
    }
    m_insert = insert;
    if (!insert || !result || insert->doc != result || m_context->lasttext == nullptr)
        return;
    // Coming back: the same text, unchanged since, is appended to in place again.
    const auto state = m_states.find(insert);
    if (state == m_states.end())
        return;
    const AppendState &known = state->second;
    if (insert->last == known.text && known.text->content == known.content &&
        m_context->lasttext != known.content && known.used < known.size && known.content[known.used] == 0) {
        m_context->lasttext = known.content;
        m_context->lasttsize = known.size;
        m_context->lasttuse = known.used;
    }
}

} // namespace zandrel::processor
