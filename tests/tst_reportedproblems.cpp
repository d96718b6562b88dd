// What the processor reports without counting it as an error: the result is written and the
// report comes back as a warning, unless XSLT 1.0 makes an error of it. The expected results
// are xsltproc's bytes for the same files, with white space kept as xsltproc keeps it.
#include "processor/XmlDocument.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace zandrel::processor;

namespace {

const QByteArray stylesheetStart =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'";
const QByteArray items = "<r><i n='b'/><i n='a'/><i/><i/><i/></r>";

QByteArray decimalFormats(const QByteArray &first, const QByteArray &second, const QByteArray &picture)
{
    return stylesheetStart + " xmlns:a='urn:f' xmlns:b='urn:f'><xsl:output method='text'/>" +
           "<xsl:decimal-format name='a:f' " + first + "/>\n<xsl:decimal-format name='b:f' " + second +
           "/>\n<xsl:template match='/'><xsl:value-of select=\"format-number(1234.5, '" + picture +
           "', 'b:f')\"/></xsl:template></xsl:stylesheet>";
}

QByteArray templateBody(const QByteArray &namespaces, const QByteArray &body)
{
    return stylesheetStart + namespaces + "><xsl:output method='text'/>\n<xsl:template match='/'>" + body +
           "</xsl:template></xsl:stylesheet>";
}

// A job that carries its own style sheet, named by an xml-stylesheet instruction.
QByteArray embedded(const QByteArray &outerNamespaces, const QByteArray &styleSheetNamespaces)
{
    return "<?xml-stylesheet type='text/xsl' href='#s'?>\n"
           "<!DOCTYPE job [<!ATTLIST xsl:stylesheet id ID #IMPLIED>]>\n"
           "<job xmlns:xsl='http://www.w3.org/1999/XSL/Transform'" +
           outerNamespaces + ">\n<xsl:stylesheet id='s' version='1.0'" + styleSheetNamespaces +
           ">\n<xsl:output method='text'/>\n<xsl:template match='xsl:stylesheet'/>\n"
           "<xsl:template match='p:point'>[<xsl:value-of select='.'/>]</xsl:template>\n"
           "</xsl:stylesheet>\n<p:point>P1</p:point>\n</job>\n";
}

} // namespace

class ReportedProblemsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void reportedProblems_data()
    {
        QTest::addColumn<QByteArray>("styleSheet");
        QTest::addColumn<QByteArray>("source");   // empty: the style sheet's own document
        QTest::addColumn<QByteArray>("expected"); // empty: refused
        QTest::addColumn<QString>("report");      // in the warnings, or in the refusal

        QTest::newRow("decimal-format twice, one namespace, same attributes")
            << decimalFormats("decimal-separator=',' grouping-separator='.'",
                              "decimal-separator=',' grouping-separator='.'", "#.##0,0")
            << items << QByteArray("1.234,5") << "already exists";
        QTest::newRow("decimal-format twice, same values by default")
            << decimalFormats("", "decimal-separator='.' grouping-separator=','", "#,##0.0") << items
            << QByteArray("1,234.5") << "already exists";
        QTest::newRow("decimal-format twice, different attributes")
            << decimalFormats("decimal-separator=','", "decimal-separator='.'", "#,##0.0") << items
            << QByteArray() << "already exists";

        // A numbering sequence the processor does not know starts with 1 (XSLT 1.0, 7.7.1).
        QTest::newRow("number, alphabetic Greek")
            << templateBody("", "<xsl:for-each select='*/*'><xsl:number format='&#x03b1;' "
                                "letter-value='alphabetic'/>;</xsl:for-each>")
            << items << QByteArray("1;2;3;4;5;") << "letter-value 'alphabetic'";
        QTest::newRow("number, letter-value neither alphabetic nor traditional")
            << templateBody("",
                            "<xsl:for-each select='*/*'><xsl:number letter-value='greek'/></xsl:for-each>")
            << items << QByteArray() << "letter-value";

        QTest::newRow("sort, prefixed data type")
            << templateBody(" xmlns:x='urn:x'", "<xsl:for-each select='*/*[@n]'><xsl:sort select='@n' "
                                                "data-type='x:natural'/><xsl:value-of select='@n'/>"
                                                "</xsl:for-each>")
            << items << QByteArray("ab") << "data-type = x:natural";
        QTest::newRow("sort, unknown order")
            << templateBody("", "<xsl:for-each select='*/*'><xsl:sort select='@n' order='upwards'/>"
                                "</xsl:for-each>")
            << items << QByteArray() << "upwards";

        QTest::newRow("embedded style sheet") << embedded(" xmlns:p='urn:p'", " xmlns:p='urn:p'")
                                              << QByteArray() << QByteArray("\n\n[P1]\n") << QString();
        // xsltproc does not see namespaces declared around the embedded style sheet; they are in
        // scope there all the same.
        QTest::newRow("embedded style sheet, prefix declared around it")
            << embedded(" xmlns:p='urn:p'", "") << QByteArray() << QByteArray("\n\n[P1]\n") << QString();

        QTest::newRow("document() of a missing file")
            << templateBody("", "a<xsl:copy-of select=\"document('missing.xml')\"/>b") << items
            << QByteArray("ab") << "missing.xml";
        QTest::newRow("message") << templateBody("", "a<xsl:message>Check the codes</xsl:message>") << items
                                 << QByteArray("a") << "Check the codes";
    }
    void reportedProblems()
    {
        QFETCH(QByteArray, styleSheet);
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, expected);
        QFETCH(QString, report);
        const QString styleSheetPath = m_dir.filePath(QStringLiteral("sheet.xsl"));
        const QString sourcePath = m_dir.filePath(QStringLiteral("job.xml"));
        QVERIFY(writeFile(styleSheetPath, styleSheet));
        QVERIFY(writeFile(sourcePath, source.isEmpty() ? styleSheet : source));
        XmlDocument sourceDocument;
        XmlDocument styleDocument;
        sourceDocument.setPreserveWhiteSpace(true);
        styleDocument.setPreserveWhiteSpace(true);
        QVERIFY(sourceDocument.load(sourcePath));
        QVERIFY(styleDocument.load(styleSheetPath));

        const QString outputPath = m_dir.filePath(QStringLiteral("output"));
        const int output =
            ::open(QFile::encodeName(outputPath).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(output >= 0);
        QStringList warnings;
        QStringList errors;
        try {
            sourceDocument.transformNodeToFile(styleDocument, output, &warnings);
        } catch (const XsltProcessorError &error) {
            errors = error.messages();
        }
        ::close(output);

        if (expected.isEmpty()) {
            QVERIFY2(!errors.isEmpty(), "refused");
            QVERIFY2(errors.join(u'\n').contains(report), qPrintable(errors.join(u'\n')));
            return;
        }
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(u'\n')));
        QCOMPARE(readAll(outputPath), expected);
        if (report.isEmpty())
            QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(u'\n')));
        else
            QVERIFY2(warnings.join(u'\n').contains(report), qPrintable(warnings.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(ReportedProblemsTest)
#include "tst_reportedproblems.moc"
