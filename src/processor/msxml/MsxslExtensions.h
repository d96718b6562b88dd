#pragma once

struct _xsltTransformContext;

namespace zandrel::processor {

// The original platform's extension namespace, bound to msxsl: and ms: in its users' sheets.
inline constexpr char msxslNamespace[] = "urn:schemas-microsoft-com:xslt";

// Registers msxsl:node-set and the ms: functions for every transformation, once per process.
void registerMsxslFunctions();

// What one transformation needs besides: system-property('msxsl:version').
void registerMsxslContextFunctions(_xsltTransformContext *context);

} // namespace zandrel::processor
