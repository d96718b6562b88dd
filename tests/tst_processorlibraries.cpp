// What the processor relies on in libxml2 and libxslt beyond their documented interfaces: the
// message texts that decide whether a style sheet is faulty and how a failed run is reported
// (the library gives them as texts only, so one that words them differently must fail here, not
// change a decision quietly), and libraries at run time of the family whose structure layouts
// the build checked.
#include "processor/ProcessorMessages.h"
#include "processor/msxml/LibxsltMessages.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <libxml/parserInternals.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltconfig.h>

#include <cstdlib>
#include <memory>

using namespace zandrel::processor;

namespace {

QString describe(const LibxsltMessage &message)
{
    switch (message.kind) {
    case LibxsltMessage::Kind::Other:
        break;
    case LibxsltMessage::Kind::CompilationError:
        return QStringLiteral("compilation error %1 line %2").arg(message.element).arg(message.line);
    case LibxsltMessage::Kind::OnlyXslt11Supported:
        return QStringLiteral("only 1.1");
    case LibxsltMessage::Kind::UnknownInstruction:
        return QStringLiteral("unknown %1").arg(message.element);
    case LibxsltMessage::Kind::InstructionNotCompiled:
        return QStringLiteral("not compiled %1").arg(message.element);
    case LibxsltMessage::Kind::PlacedRuntimeError:
        return QStringLiteral("runtime error %1 line %2").arg(message.element).arg(message.line);
    case LibxsltMessage::Kind::DecimalFormatExists:
        return QStringLiteral("decimal-format %1 exists").arg(message.name);
    case LibxsltMessage::Kind::Xslt10Error:
        return QStringLiteral("XSLT 1.0 error");
    }
    return {};
}

struct DocDeleter {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
struct StylesheetDeleter {
    void operator()(xsltStylesheet *style) const { xsltFreeStylesheet(style); }
};

} // namespace

class ProcessorLibrariesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void librariesAreOfTheCheckedFamily()
    {
        // Major and minor version: a structure may change between minor versions.
        QCOMPARE(std::atoi(xmlParserVersion) / 100, LIBXML_VERSION / 100);
        QCOMPARE(xsltLibxsltVersion / 100, LIBXSLT_VERSION / 100);
        QCOMPARE(xsltLibxmlVersion / 100, LIBXML_VERSION / 100);
    }

    void messagesAreRecognised_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QStringList>("expected");

        const QByteArray unknown = "<xsl:template match=\"/\">\n<xsl:frobnicate/>\n</xsl:template>";
        QTest::newRow("unknown instruction in XSLT 1.0")
            << unknown << QByteArray("1.0")
            << QStringList{"compilation error frobnicate line 3", "unknown frobnicate",
                           "not compiled frobnicate"};
        QTest::newRow("unknown instruction in a later version")
            << unknown << QByteArray("2.0")
            << QStringList{"compilation error stylesheet line 1", "only 1.1", "not compiled frobnicate"};
        QTest::newRow("run-time error with its place")
            << QByteArray("<xsl:template match=\"/\">\n<xsl:apply-templates select=\"1\"/>\n</xsl:template>")
            << QByteArray("1.0") << QStringList{"runtime error apply-templates line 3"};
        QTest::newRow("decimal-format declared twice")
            << QByteArray("<xsl:decimal-format name='f'/>\n<xsl:decimal-format name='f'/>")
            << QByteArray("1.0")
            << QStringList{"compilation error decimal-format line 3", "decimal-format f exists"};
        // One row for each way the uncounted reports that XSLT 1.0 makes errors are worded.
        const QStringList xslt10Errors[] = {
            {"<xsl:template match='/'><xsl:number letter-value='greek'/></xsl:template>", "number"},
            {"<xsl:template match='/'><xsl:number level='all'/></xsl:template>", "number"},
            {"<xsl:template match='/'><xsl:for-each select='*'><xsl:sort order='up'/></xsl:for-each>"
             "</xsl:template>",
             "sort"},
            {"<xsl:template match='/'><xsl:for-each select='*'><xsl:sort data-type='date'/></xsl:for-each>"
             "</xsl:template>",
             "sort"},
            {"<xsl:template match='/'><xsl:text disable-output-escaping='maybe'/></xsl:template>", "text"},
            {"<xsl:template match='/'><xsl:value-of select='1' disable-output-escaping='maybe'/>"
             "</xsl:template>",
             "value-of"},
            {"<xsl:output method='pdf'/>", "output"},
            {"<xsl:decimal-format name='0f'/>", "decimal-format"},
            {"<xsl:strip-space/>", "strip-space"},
            {"<xsl:preserve-space/>", "preserve-space"},
            {"<xsl:template match='/'><xsl:call-template name='t'><xsl:with-param name='p' select='1'>x"
             "</xsl:with-param></xsl:call-template></xsl:template><xsl:template name='t'/>",
             "with-param"},
            {"<xsl:param name='p' select='1'>x</xsl:param>", "param"},
            {"<xsl:template match='none'><r a='}'/></xsl:template>", "r"},
        };
        for (const QStringList &error : xslt10Errors)
            QTest::newRow(qPrintable(u"XSLT 1.0 error: "_qs + error[0]))
                << error[0].toUtf8() << QByteArray("1.0")
                << QStringList{"compilation error " + error[1] + " line 2", "XSLT 1.0 error"};
    }

    void messagesAreRecognised()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, version);
        QFETCH(QStringList, expected);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("sheet.xsl"));
        QVERIFY(writeFile(path, "<xsl:stylesheet version=\"" + version +
                                    "\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n" + body +
                                    "\n</xsl:stylesheet>\n"));

        ProcessorMessages messages;
        std::unique_ptr<xmlDoc, DocDeleter> source(xmlReadMemory("<a/>", 4, "a.xml", nullptr, 0));
        xmlDoc *styleDocument = xmlReadFile(QFile::encodeName(path).constData(), nullptr, 0);
        QVERIFY(source && styleDocument);
        std::unique_ptr<xsltStylesheet, StylesheetDeleter> style(xsltParseStylesheetDoc(styleDocument));
        QVERIFY(style);
        std::unique_ptr<xmlDoc, DocDeleter> result(xsltApplyStylesheet(style.get(), source.get(), nullptr));

        QStringList recognised;
        for (const QString &line : messages.lines()) {
            const LibxsltMessage message = readLibxsltMessage(line);
            if (message.kind == LibxsltMessage::Kind::Other)
                continue;
            // The file is the style sheet's wherever a message names one.
            if (!message.file.isEmpty())
                QCOMPARE(message.file, path);
            recognised.append(describe(message));
        }
        QCOMPARE(recognised, expected);
    }
};

QTEST_GUILESS_MAIN(ProcessorLibrariesTest)
#include "tst_processorlibraries.moc"
