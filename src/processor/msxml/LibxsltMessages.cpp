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
    }
    return message;
}

} // namespace zandrel::processor
