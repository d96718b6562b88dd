#pragma once

#include <QString>

namespace zandrel::processor {

// What one line of libxslt's messages says, where the program acts on it. libxslt gives these
// as texts only, without error codes; readLibxsltMessage is the one place that reads them, and a
// test pins every text to the library the program is built with, so that a library that words
// one differently fails that test instead of quietly changing what the program decides.
struct LibxsltMessage {
    enum class Kind {
        Other,
        // "compilation error: file F line N element E": a compilation error's first line.
        CompilationError,
        // "xsl:version: only 1.1 features are supported": a style sheet of another version.
        OnlyXslt11Supported,
        // "xsltStylePreCompute: unknown xsl:NAME": an instruction the processor does not know.
        UnknownInstruction,
        // "xsltApplySequenceConstructor: NAME was not compiled": a run reached such an instruction.
        InstructionNotCompiled,
        // "runtime error: file F line N element E": a run-time error that names its place.
        PlacedRuntimeError,
        // "xsltParseStylestyleDecimalFormat: NAME already exists": a second xsl:decimal-format
        // of one name, which the processor ignores.
        DecimalFormatExists,
        // A compilation report that the processor does not count as an error but XSLT 1.0
        // does (listed in StyleSheetFaults.h).
        Xslt10Error,
    };
    Kind kind = Kind::Other;
    QString file;    // CompilationError, PlacedRuntimeError
    int line = 0;    // CompilationError, PlacedRuntimeError
    QString element; // CompilationError, PlacedRuntimeError; the instruction's local name otherwise
    QString name;    // DecimalFormatExists: the format's name as written
};

LibxsltMessage readLibxsltMessage(const QString &line);

} // namespace zandrel::processor
