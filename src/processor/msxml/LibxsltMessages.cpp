#include "LibxsltMessages.h"

#include <QRegularExpression>

namespace zandrel::processor {

LibxsltMessage readLibxsltMessage(const QString &line)
{
    using Kind = LibxsltMessage::Kind;
    static const QRegularExpression compilation(
        QStringLiteral("^compilation error: file (.*) line (\\d+) element (\\S+)$"));
    // A run-time error's element is left out where the processor has no instruction at hand.
    static const QRegularExpression runtime(
        QStringLiteral("^runtime error: file (.*) line (\\d+)(?: element (\\S+))?$"));
    static const QRegularExpression unknown(QStringLiteral("^xsltStylePreCompute: unknown xsl:(\\S+)$"));
    static const QRegularExpression notCompiled(
        QStringLiteral("^xsltApplySequenceConstructor: (\\S+) was not compiled$"));

    static const QRegularExpression decimalFormatExists(
        QStringLiteral("^xsltParseStylestyleDecimalFormat: (\\S+) already exists$"));
    // The second lines of compilation errors; each names what XSLT 1.0 makes an error.
    static const QRegularExpression xslt10Error(
        QStringLiteral("^(?:xsl:version is missing"
                       "|No namespace binding in scope for prefix "
                       "|xsl:(?:exclude-result-prefixes|extension-element-prefix) : undefined namespace "
                       "|namespace-alias: "
                       "|The attribute '(?:stylesheet|result)-prefix' is missing"
                       "|Attribute '(?:stylesheet|result)-prefix': There's no namespace declaration"
                       "|xsl:(?:import|include) : "
                       "|xsltParseStylesheet(?:Preserve|Strip)Space: missing elements attribute"
                       "|The XSLT-element '[^']*' is not allowed at this position"
                       "|xsltParseTemplateContent: ignoring misplaced param element"
                       "|The XSLT 'text' element must have only character data"
                       "|xsl:attribute-set : (?:unexpected child|child of unexpected type)"
                       "|Attribute '[^']*': The AVT has an unmatched '}'"
                       "|xsl:(?:variable|param) : missing name attribute"
                       "|XSLT-(?:with-)?param: The content should be empty"
                       "|xsl:number : invalid value .* for (?:level|letter-value)$"
                       "|xsltSortComp: invalid value "
                       // A prefixed data type is the processor's to define.
                       "|xsltSortComp: no support for data-type = [^:]*$"
                       "|xsl:(?:text|value-of) ?: disable-output-escaping allows only yes or no"
                       "|invalid value for method: "
                       "|xsl:decimal-format: Invalid QName "
                       "|.*(?:malloc|memory allocation|allocation of|realloc) failed"
                       "|.*: failed creating new)"));

    LibxsltMessage message;
    QRegularExpressionMatch match = compilation.match(line);
    if (match.hasMatch() || (match = runtime.match(line)).hasMatch()) {
        message.kind = line.startsWith(u'c') ? Kind::CompilationError : Kind::PlacedRuntimeError;
        message.file = match.captured(1);
        message.line = match.captured(2).toInt();
        message.element = match.captured(3);
    } else if (line.startsWith(QLatin1String("xsl:version: only 1.1 features are supported"))) {
        message.kind = Kind::OnlyXslt11Supported;
    } else if ((match = unknown.match(line)).hasMatch()) {
        message.kind = Kind::UnknownInstruction;
        message.element = match.captured(1);
    } else if ((match = notCompiled.match(line)).hasMatch()) {
        message.kind = Kind::InstructionNotCompiled;
        message.element = match.captured(1);
    } else if ((match = decimalFormatExists.match(line)).hasMatch()) {
        message.kind = Kind::DecimalFormatExists;
        message.name = match.captured(1);
    } else if (xslt10Error.match(line).hasMatch()) {
        message.kind = Kind::Xslt10Error;
    }
    return message;
}

} // namespace zandrel::processor
