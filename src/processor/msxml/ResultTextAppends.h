#pragma once

#include <libxslt/xsltInternals.h>

#include <unordered_map>

namespace zandrel::processor {

// The processor appends text to the result in constant time only while the text it appended
// last is the one it appends to again. A variable whose content a template builds (a call into
// a variable, once per point of a job) appends to a fragment of its own in between, after which
// the next text appended to the result measures and copies the whole result text so far: a text
// export's time grows with the square of the job. Called before each instruction, this keeps
// what the processor knew of each text of the result and gives it back when the processor
// returns to writing there.
class ResultTextAppends {
public:
    explicit ResultTextAppends(xsltTransformContext *context);
    ~ResultTextAppends();
    ResultTextAppends(const ResultTextAppends &) = delete;
    ResultTextAppends &operator=(const ResultTextAppends &) = delete;

    // Before each instruction: the processor may have left one place of the result for another.
    void beforeInstruction();

private:
    struct AppendState {
        xmlNode *text = nullptr;
        xmlChar *content = nullptr;
        int size = 0;
        int used = 0;
    };

    xsltTransformContext *m_context;
    ResultTextAppends *m_previous;
    int m_previousDebugStatus;
    xmlNode *m_insert = nullptr;
    xmlDoc *m_result = nullptr;
    // Places in the result document only: its nodes live as long as the transformation, so a
    // remembered place is never one freed and made anew at the same address.
    std::unordered_map<xmlNode *, AppendState> m_states;
};

} // namespace zandrel::processor
