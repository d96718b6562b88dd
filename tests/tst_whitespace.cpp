// White space as the original platform's documents load it, and as standard processors keep it.
#include "processor/XmlDocument.h"
#include "processor/msxml/MemoryCeiling.h"
#include "support/TestFiles.h"
#include "support/TransformToFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace zandrel::processor;

namespace {

const QString dataFolder = QStringLiteral(ZANDREL_SOURCE_DIR "/tests/data/msxml/whitespace/");

} // namespace

class WhitespaceTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QByteArray transform(const QString &sourcePath, const QString &sheetPath, bool preserve)
    {
        XmlDocument source;
        XmlDocument styleSheet;
        source.setPreserveWhiteSpace(preserve);
        styleSheet.setPreserveWhiteSpace(preserve);
        if (!source.load(sourcePath) || !styleSheet.load(sheetPath))
            return "load failed: " + source.parseError().reason.toUtf8() +
                   styleSheet.parseError().reason.toUtf8();
        try {
            return transformToFile(source, styleSheet, m_dir.filePath(QStringLiteral("output")));
        } catch (const XsltProcessorError &error) {
            return "processor error: " + error.messages().join(u'\n').toUtf8();
        }
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void bothModes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("preserve");
        for (const char *name :
             {"indented", "xmlspace", "stylesheet", "entities", "placement", "virtualnewline"}) {
            QTest::addRow("%s, white space dropped", name) << QString::fromLatin1(name) << false;
            QTest::addRow("%s, white space preserved", name) << QString::fromLatin1(name) << true;
        }
    }
    // Each case's .out is the original platform's result, .preserve.out a standard processor's.
    void bothModes()
    {
        QFETCH(QString, name);
        QFETCH(bool, preserve);
        const QByteArray expected = readAll(dataFolder + name + (preserve ? ".preserve.out" : ".out"));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(transform(dataFolder + name + ".xml", dataFolder + name + ".xsl", preserve), expected);
    }

    void styleSheetVariablesAreReadTheSameWay_data()
    {
        QTest::addColumn<bool>("preserve");
        QTest::newRow("white space dropped") << false;
        QTest::newRow("white space preserved") << true;
    }
    // The user variables are read and written through the style sheet document's elements.
    void styleSheetVariablesAreReadTheSameWay()
    {
        QFETCH(bool, preserve);
        XmlDocument styleSheet;
        styleSheet.setPreserveWhiteSpace(preserve);
        QVERIFY(styleSheet.load(QStringLiteral(ZANDREL_SOURCE_DIR "/samples/stylesheets/Points CSV.xsl")));
        const std::vector<XmlElement> variables =
            styleSheet.getElementsByTagName(QStringLiteral("xsl:variable"));
        QCOMPARE(int(variables.size()), 14);
        QCOMPARE(variables.front().getAttribute(QStringLiteral("name")), QStringLiteral("fileExt"));
        QCOMPARE(variables.front().getAttribute(QStringLiteral("select")), QStringLiteral("'csv'"));
    }

    void largeDocuments_data()
    {
        QTest::addColumn<int>("records");
        QTest::newRow("one buffer") << 10;
        QTest::newRow("many buffers") << 40000;
    }
    // The parser reads a large document in pieces; character references and white space runs
    // are told apart wherever a piece ends.
    void largeDocuments()
    {
        QFETCH(int, records);
        QByteArray content = "<?xml version=\"1.0\"?>\n<job>\n";
        for (int i = 0; i < records; ++i)
            content += "  <r n=\"" + QByteArray::number(i) +
                       "\">\n    <a>&#10;</a>\n    <b>   </b>\n"
                       "    <c> x </c><d>&#x20;&#9;</d>\n  </r>\n";
        content += "</job>\n";
        const QString source = m_dir.filePath(QStringLiteral("large.xml"));
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        const QString sheet = m_dir.filePath(QStringLiteral("large.xsl"));
        QFile style(sheet);
        QVERIFY(style.open(QIODevice::WriteOnly));
        style.write("<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                    "<xsl:output method='text'/><xsl:template match='/'>"
                    "<xsl:value-of select=\"concat(count(//text()), ' ', count(//a[. = '&#10;']), ' ',"
                    " count(//b/text()), ' ', count(//c[. = ' x ']), ' ', count(//d[. = '&#32;&#9;']))\"/>"
                    "</xsl:template></xsl:stylesheet>");
        style.close();
        const QByteArray n = QByteArray::number(records);
        QCOMPARE(transform(source, sheet, false),
                 QByteArray::number(3 * records) + ' ' + n + " 0 " + n + ' ' + n);
    }

    // Each way of reading the text value of an element that holds others, on its own: the
    // first such read finds the newlines where the job's white space was dropped.
    void virtualNewlinesOnFirstRead_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray point = "job/point[1]";
        QTest::newRow("value-of") << "<xsl:value-of select=\"" + point + "\"/>"
                                  << QByteArray("\n1000.0\n2000.5\n");
        QTest::newRow("value-of of the job")
            << QByteArray("<xsl:value-of select=\"string-length(/)\"/>") << QByteArray("30");
        QTest::newRow("normalize-space")
            << "<xsl:value-of select=\"normalize-space(" + point + ")\"/>" << QByteArray("1000.0 2000.5");
        QTest::newRow("normalize-space of the context node")
            << "<xsl:for-each select=\"" + point +
                   "\"><xsl:value-of select=\"normalize-space()\"/></xsl:for-each>"
            << QByteArray("1000.0 2000.5");
        QTest::newRow("substring-before")
            << "<xsl:value-of select=\"substring-before(" + point + ", '2000')\"/>"
            << QByteArray("\n1000.0\n");
        QTest::newRow("translate") << "<xsl:value-of select=\"translate(" + point + ", '&#10;', '|')\"/>"
                                   << QByteArray("|1000.0|2000.5|");
        QTest::newRow("contains") << "<xsl:value-of select=\"contains(" + point + ", '0&#10;2')\"/>"
                                  << QByteArray("true");
        QTest::newRow("sort key") << QByteArray("<xsl:for-each select=\"job/point\"><xsl:sort select=\".\"/>"
                                                "<xsl:value-of select=\"@id\"/></xsl:for-each>")
                                  << QByteArray("12");
        QTest::newRow("copy-of") << "<xsl:copy-of select=\"" + point + "\"/>"
                                 << QByteArray("\n1000.0\n2000.5\n");
        QTest::newRow("copy-of into a variable")
            << "<xsl:variable name=\"copy\"><xsl:copy-of select=\"" + point +
                   "\"/></xsl:variable>"
                   "<xsl:copy-of select=\"$copy\"/>"
            << QByteArray("\n1000.0\n2000.5\n");
        QTest::newRow("script") << "<xsl:value-of select=\"js:text(" + point + ")\"/>"
                                << QByteArray("1000.0\n2000.5");
        QTest::newRow("leaves only")
            << QByteArray("<xsl:value-of select=\"concat(job/point[1]/n, job/point[1]/e)\"/>")
            << QByteArray("1000.02000.5");
    }
    void virtualNewlinesOnFirstRead()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, expected);
        const QString sheet = m_dir.filePath(QStringLiteral("first-read.xsl"));
        QVERIFY(writeFile(sheet,
                          "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\""
                          " xmlns:msxsl=\"urn:schemas-microsoft-com:xslt\" xmlns:js=\"urn:js\">"
                          "<msxsl:script language=\"JScript\" implements-prefix=\"js\">"
                          "function text(list) { return list.nextNode().text; }</msxsl:script>"
                          "<xsl:output method=\"text\"/><xsl:template match=\"/\">" +
                              body + "</xsl:template></xsl:stylesheet>"));
        QCOMPARE(transform(dataFolder + QStringLiteral("virtualnewline.xml"), sheet, false), expected);
    }

    // Every reader of an element's text value reads the same newlines, from the first read on,
    // whichever reader comes first: each case is the only reader in its style sheet.
    void textValueIsTheSameForEveryReader_data()
    {
        QTest::addColumn<QByteArray>("topLevel");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("comparison before and after string-length")
            << QByteArray()
            << QByteArray("<xsl:value-of select=\"concat(Point = '12', ' ', string-length(Point), ' ', Point "
                          "= '12')\"/>")
            << QByteArray("false 5 false");
        QTest::newRow("comparison")
            << QByteArray()
            << QByteArray("<xsl:value-of select=\"concat(Point = '12', ' ', Point &lt; 13)\"/>")
            << QByteArray("false false");
        QTest::newRow("predicate") << QByteArray()
                                   << QByteArray("<xsl:value-of select=\"Point[not(. = '12')][1]/@id\"/>")
                                   << QByteArray("a");
        QTest::newRow("attribute value template")
            << QByteArray()
            << QByteArray("<xsl:variable name=\"v\"><p v=\"{Point}\"/></xsl:variable>"
                          "<xsl:value-of select=\"translate(msxsl:node-set($v)/p/@v, '&#10;', '|')\"/>")
            << QByteArray("|1|2|");
        QTest::newRow("key use") << QByteArray("<xsl:key name=\"byText\" match=\"Point\" use=\".\"/>")
                                 << QByteArray(
                                        "<xsl:value-of select=\"key('byText', '&#10;3&#10;4&#10;')/@id\"/>")
                                 << QByteArray("b");
        // Text that is no number sorts first, in document order.
        QTest::newRow("sort key") << QByteArray()
                                  << QByteArray("<xsl:for-each select=\"Point\"><xsl:sort select=\".\" "
                                                "data-type=\"number\" order=\"descending\"/>"
                                                "<xsl:value-of select=\"@id\"/></xsl:for-each>")
                                  << QByteArray("ab");
        QTest::newRow("number") << QByteArray() << QByteArray("<xsl:value-of select=\"number(Point)\"/>")
                                << QByteArray("NaN");
        QTest::newRow("sum") << QByteArray() << QByteArray("<xsl:value-of select=\"sum(Point)\"/>")
                             << QByteArray("NaN");
        QTest::newRow("arithmetic") << QByteArray() << QByteArray("<xsl:value-of select=\"Point + 0\"/>")
                                    << QByteArray("NaN");
        QTest::newRow("string()") << QByteArray()
                                  << QByteArray(
                                         "<xsl:value-of select=\"translate(string(Point), '&#10;', '|')\"/>")
                                  << QByteArray("|1|2|");
        QTest::newRow("normalize-space()")
            << QByteArray() << QByteArray("<xsl:value-of select=\"normalize-space(Point)\"/>")
            << QByteArray("1 2");
        QTest::newRow("script text")
            << QByteArray()
            << QByteArray("<xsl:value-of select=\"translate(js:text(Point), '&#10;', '|')\"/>")
            << QByteArray("1|2");
        QTest::newRow("variable") << QByteArray()
                                  << QByteArray("<xsl:variable name=\"p\" select=\"Point\"/>"
                                                "<xsl:value-of select=\"$p = '12'\"/>")
                                  << QByteArray("false");
        QTest::newRow("template parameter")
            << QByteArray("<xsl:template name=\"same\"><xsl:param name=\"p\"/>"
                          "<xsl:value-of select=\"$p = '12'\"/></xsl:template>")
            << QByteArray("<xsl:call-template name=\"same\"><xsl:with-param name=\"p\" select=\"Point\"/>"
                          "</xsl:call-template>")
            << QByteArray("false");
        QTest::newRow("context node of a template")
            << QByteArray("<xsl:template match=\"Point\"><xsl:value-of select=\". = '12'\"/></xsl:template>")
            << QByteArray("<xsl:apply-templates select=\"Point\"/>") << QByteArray("falsefalse");
    }
    void textValueIsTheSameForEveryReader()
    {
        QFETCH(QByteArray, topLevel);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, expected);
        const QString source = m_dir.filePath(QStringLiteral("readers.xml"));
        QVERIFY(writeFile(source, "<?xml version=\"1.0\"?>\n<Job>\n"
                                  "  <Point id=\"a\">\n    <N>1</N>\n    <E>2</E>\n  </Point>\n"
                                  "  <Point id=\"b\">\n    <N>3</N>\n    <E>4</E>\n  </Point>\n</Job>\n"));
        const QString sheet = m_dir.filePath(QStringLiteral("readers.xsl"));
        QVERIFY(writeFile(sheet,
                          "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\""
                          " xmlns:msxsl=\"urn:schemas-microsoft-com:xslt\" xmlns:js=\"urn:js\">"
                          "<msxsl:script language=\"JScript\" implements-prefix=\"js\">"
                          "function text(list) { return list.nextNode().text; }</msxsl:script>"
                          "<xsl:output method=\"text\"/>" +
                              topLevel + "<xsl:template match=\"/\"><xsl:for-each select=\"Job\">" + body +
                              "</xsl:for-each></xsl:template></xsl:stylesheet>"));
        QCOMPARE(transform(source, sheet, false), expected);
    }

    // A job's newlines are made, before the transformation starts, only for a style sheet that
    // may read the text value of an element that holds them; exports that read leaves and
    // attributes do not pay for them.
    void virtualNewlinesMadeOnlyWhenRead_data()
    {
        QTest::addColumn<QByteArray>("sheet");
        QTest::addColumn<bool>("made");
        QTest::addColumn<QByteArray>("expected");
        auto sheet = [](const QByteArray &select) {
            return "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                   "<xsl:output method=\"text\"/><xsl:template match=\"/\"><xsl:value-of select=\"" +
                   select + "\"/></xsl:template></xsl:stylesheet>";
        };
        const QByteArray points = "DexmorJob/Points/Point";
        QTest::newRow("Points CSV")
            << readAll(QStringLiteral(ZANDREL_SOURCE_DIR "/samples/stylesheets/Points CSV.xsl")) << false
            << QByteArray("Name,Easting,Northing,Elevation,Code,Description\r\nP0,0.000,");
        QTest::newRow("count") << sheet("count(//Grid)") << false << QByteArray("5000");
        QTest::newRow("leaves and attributes")
            << sheet("concat(" + points + "[Description = 'd7']/@name, " + points +
                     "[@name = 'P8']/Description, sum(//Grid/@e))")
            << false << QByteArray("P7d812497500");
        QTest::newRow("children of a point")
            << sheet("count(" + points + "/*[. = 'd7'])") << false << QByteArray("1");
        QTest::newRow("text value of a point")
            << sheet(points + "[last()]") << true << QByteArray("\n\nd4999\n");
        QTest::newRow("comparison with a point")
            << sheet("count(" + points + "[. = 'd7'])") << true << QByteArray("0");
    }
    void virtualNewlinesMadeOnlyWhenRead()
    {
        QFETCH(QByteArray, sheet);
        QFETCH(bool, made);
        QFETCH(QByteArray, expected);
        QByteArray content = "<?xml version=\"1.0\"?>\n<DexmorJob>\n  <Points>\n";
        for (int i = 0; i < 5000; ++i) {
            const QByteArray n = QByteArray::number(i);
            content += "    <Point name=\"P" + n + "\">\n      <Grid e=\"" + n +
                       "\" n=\"0\" z=\"0\"/>\n"
                       "      <Description>d" +
                       n + "</Description>\n    </Point>\n";
        }
        content += "  </Points>\n</DexmorJob>\n";
        // Dropped: 3 in each point, one before each point and one more in Points, 2 in the job.
        constexpr long long runs = 5000 * 4 + 1 + 2;
        const QString sourcePath = m_dir.filePath(QStringLiteral("points.xml"));
        QVERIFY(writeFile(sourcePath, content));
        const QString sheetPath = m_dir.filePath(QStringLiteral("read.xsl"));
        QVERIFY(writeFile(sheetPath, sheet));
        XmlDocument source;
        XmlDocument styleSheet;
        QVERIFY(source.load(sourcePath));
        QVERIFY(styleSheet.load(sheetPath));
        const long long loaded = MemoryInUse::bytes();
        const QByteArray output = transformToFile(source, styleSheet, m_dir.filePath(QStringLiteral("out")));
        QVERIFY2(output.startsWith(expected), output.left(200).constData());
        // A reference is a node of its own, and stays with the job.
        const long long grown = MemoryInUse::bytes() - loaded;
        if (made) {
            QVERIFY2(grown >= runs * 60 && grown < runs * 200, qPrintable(QString::number(grown)));
        } else {
            QVERIFY2(grown < runs * 20, qPrintable(QString::number(grown)));
        }
    }

    void preserveIsKeptAcrossMoves()
    {
        XmlDocument document;
        document.setPreserveWhiteSpace(true);
        XmlDocument moved(std::move(document));
        QVERIFY(moved.preserveWhiteSpace());
        XmlDocument assigned;
        assigned = std::move(moved);
        QVERIFY(assigned.preserveWhiteSpace());
        QVERIFY(!XmlDocument().preserveWhiteSpace());
    }
};

QTEST_GUILESS_MAIN(WhitespaceTest)
#include "tst_whitespace.moc"
