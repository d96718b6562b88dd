#pragma once

#include <libxslt/xsltInternals.h>

#include <vector>

namespace zandrel::processor {

// Every document of a compiled style sheet: its own, those it includes and, recursively, those
// it imports.
inline void collectStyleSheetDocuments(const xsltStylesheet *style, std::vector<const xmlDoc *> &documents)
{
    for (; style; style = style->next) {
        if (style->doc)
            documents.push_back(style->doc);
        for (xsltDocumentPtr included = style->docList; included; included = included->next)
            if (included->doc)
                documents.push_back(included->doc);
        collectStyleSheetDocuments(style->imports, documents);
    }
}

} // namespace zandrel::processor
