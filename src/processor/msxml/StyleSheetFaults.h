#pragma once

#include <QString>
#include <QStringList>

#include <optional>

struct _xmlDoc;
struct _xsltStylesheet;

namespace zandrel::processor {

// XSLT 1.0 runs a style sheet in forwards-compatible mode wherever the version in force (the
// version attribute of the style sheet element, or xsl:version on a literal result element) is
// not 1.0: there an unknown instruction is no fault until it runs without an xsl:fallback, and
// an unknown top-level element is ignored.

// Whether a compiled style sheet is too faulty to run, from the processor's error count and the
// messages it gave while compiling. The processor reports an unknown instruction as a
// compilation error without counting it; that report is forgiven in forwards-compatible parts,
// and so is its note that it only knows XSLT 1.1 features. Every other compilation error, and
// every counted error, makes the style sheet faulty.
bool isFaultyStyleSheet(const _xsltStylesheet *style, const QStringList &compileMessages);

// Takes the unknown top-level elements out of a style sheet document in forwards-compatible
// mode, before it is compiled: the processor would count each as an error.
void dropUnknownTopLevelElements(_xmlDoc *styleSheet);

// The message for a transformation that reached an instruction the processor does not know and
// that has no xsl:fallback; nullopt when the run's messages report none. The processor only
// notes that and goes on, which would write an incomplete result.
std::optional<QString> unknownInstructionReached(const QStringList &runMessages);

} // namespace zandrel::processor
