// The style sheet rewriting: an answer written into a style sheet leaves it well-formed, with the
// answer as the variable's value.
#include "FuzzSupport.h"
#include "generate/StyleSheetLines.h"
#include "generate/StyleSheetVariables.h"
#include "processor/XmlDocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

using namespace zandrel;

namespace {

QString scratchFile()
{
    static const QString path =
        QDir::temp().filePath(QStringLiteral("zandrel-fuzz-%1.xsl").arg(QCoreApplication::applicationPid()));
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    // The input, whatever it holds, as the answer to a text question.
    const QString answer = QString::fromUtf8(bytes);
    if (answer.toUtf8() != bytes)
        return 0;
    StyleSheetLines lines(
        "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\r\n"
        "<xsl:variable name=\"title\" select=\"'Survey'\"/>\n"
        "</xsl:stylesheet>");
    const QString select = QuoteSelect(answer);
    UpdateVariableLine(lines, QStringLiteral("title"), select);
    QFile file(scratchFile());
    if (!file.open(QIODevice::WriteOnly) || file.write(lines.bytes()) < 0)
        return 0;
    file.close();
    processor::XmlDocument document;
    const bool loaded = document.load(file.fileName());
    // The file stays well-formed whatever the answer, and holds it exactly when XML can.
    FUZZ_EXPECT(loaded);
    const auto variables = document.getElementsByTagName(QStringLiteral("xsl:variable"));
    FUZZ_EXPECT(variables.size() == 1);
    const QString stored = variables.front().getAttribute(QStringLiteral("select")).value_or(QString());
    FUZZ_EXPECT(stored == (isXmlText(select) ? select : QStringLiteral("'Survey'")));
    FUZZ_EXPECT(UnquoteSelect(stored) == (isXmlText(select) ? answer : QStringLiteral("Survey")));
    return 0;
}
