#pragma once

struct _xsltTransformContext;

namespace zandrel::processor {

// Makes xsl:sort of this transformation order as the original platform does: text by the
// language's collation (lang, else the user's locale), upper case first unless case-order says
// otherwise, hyphens and apostrophes not counted ("word sort"); and, where no data-type is
// given, numbers as numbers when the sort key is a number.
void useMsxmlSort(_xsltTransformContext *context);

} // namespace zandrel::processor
